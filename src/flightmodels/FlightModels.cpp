// Form1's flight-model procedures: the catalogue scan, the copy and the launch, and the
// click procedures of the three command buttons.
#include <cstdint>
#include <string>

#include "platform/Platform.h"
#include "settings/Module1.h"
#include "ui/Host.h"
#include "window/Form1.h"
#include "window/GameLayout.h"

void Form1::CheckFMs() {
  IniFile = GamePath + game::kProfilePath;

  std::string custom = game::kCustomSection;
  std::string helo = game::kHeloKey;
  std::string none;
  const std::string current = ReadIniString(custom, helo, none, IniFile);

  for (std::size_t i = 0; i < game::kSlotSections.size(); ++i) {
    std::string section = game::kSlotSections[i];
    const std::string name = ReadIniString(section, helo, none, IniFile);
    if (!name.empty()) {
      optFM[i]->setEnabled(true);
      optFM[i]->setCaption(name + " Flight Model");
      optFM[i]->setTag(section);
      lblCurrent[i]->setVisible(name == current);
    } else {
      optFM[i]->setEnabled(false);
    }
  }

  GameExe = platform::probeEntry(GamePath + "\\" + game::kExecutableName, platform::kAttrNormal);
  const bool found = !GameExe.empty();
  Command1->setEnabled(found);
  Command2->setEnabled(found);
  Command3->setEnabled(found);
}

void Form1::FindCopyFM() {
  // Every slot is visited; the group lets at most one be selected.
  for (std::int16_t i = 0; i <= 2; ++i) {
    if (optFM[i]->enabled() && optFM[i]->value()) {
      std::string section = optFM[i]->tag();
      CopyFM(section);
    }
  }
}

void Form1::CopyFM(std::string& section) {
  std::string custom = game::kCustomSection;
  for (const char* name : game::kCopyList) {
    std::string key = name;
    std::string none;
    std::string value = ReadIniString(section, key, none, IniFile);
    WriteIniString(custom, key, value, IniFile);
  }
}

void Form1::LaunchGS() {
  platform::changeDrive(GamePath);
  platform::changeDirectory(GamePath);
  const std::int32_t task =
      platform::startProgram(GamePath + "\\" + GameExe, platform::kNormalFocus);
  if (task != 0) {
    if (chkSr->value() != 1) ui::endProgram();
    return;
  }
  ui::msgBox("Unable to start " + GameExe, ui::kCritical);
}

void Form1::Command1_Click() {
  FindCopyFM();
  LaunchGS();
}

void Form1::Command2_Click() {
  FindCopyFM();
  CheckFMs();
}

void Form1::Command3_Click() {
  LaunchGS();
}
