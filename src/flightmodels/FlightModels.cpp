// Form1's flight-model procedures: the catalogue scan, the copy and the launch, and the
// click procedures of the three command buttons.
#include <cstddef>
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

bool Form1::FindCopyFM() {
  // Every slot is visited; the group lets at most one be selected.
  bool whole = true;
  for (std::int16_t i = 0; i <= 2; ++i) {
    if (optFM[i]->enabled() && optFM[i]->value()) {
      std::string section = optFM[i]->tag();
      if (!CopyFM(section)) whole = false;
    }
  }
  return whole;
}

namespace {

// What a copy that stopped after its first copied values left in force.
std::string copyLeft(std::size_t copied) {
  if (copied == 0) return "Nothing was copied: the flight model in force is as it was.";
  return "The copy stopped after " + std::to_string(copied) + " of the " +
         std::to_string(game::kCopyList.size()) +
         " values: the flight model in force is now partly the new one.";
}

}  // namespace

bool Form1::CopyFM(std::string& section) {
  std::string custom = game::kCustomSection;
  std::string failure;
  std::size_t copied = 0;
  {
    // The writes share one wait, so a busy profile holds the window for that long at most, and
    // the window shows it is busy meanwhile. Both end before any message shows.
    const ui::WaitCursor busy;
    const platform::ProfileWriteRun run;
    for (; copied < game::kCopyList.size(); ++copied) {
      std::string key = game::kCopyList[copied];
      std::string none;
      std::string value = ReadIniString(section, key, none, IniFile);
      if (TryWriteIniString(custom, key, value, IniFile, failure) == 0) break;
    }
  }
  if (copied == game::kCopyList.size()) return true;
  ui::msgBox(failure + "\n" + copyLeft(copied), ui::kOkOnly);
  return false;
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
  // Never the game with a flight model the player did not pick.
  if (FindCopyFM()) LaunchGS();
}

void Form1::Command2_Click() {
  FindCopyFM();
  CheckFMs();
}

void Form1::Command3_Click() {
  LaunchGS();
}
