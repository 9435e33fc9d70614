#include "FormFixture.h"

#include <cstring>

#include "platform/Platform.h"

namespace testing_support {

namespace {
int argc = 1;
char* argv[] = {const_cast<char*>("kestrun-tests"), nullptr};
}  // namespace

FreshForm::FreshForm() : toolkit(ui::makeToolkit(argc, argv)) {}

ClickTrace::ClickTrace(Form1& form, RecordingHost& host) : form_(form), host_(host) {
  form_.Text1->setText(nowhere_.programPath("one"));
  form_.Text2->setText(nowhere_.programPath("two"));
  ran();
}

std::string ClickTrace::ran() {
  std::string ran;
  if (form_.GamePath == form_.Text1->text())
    ran = "Option1";
  else if (form_.GamePath == form_.Text2->text())
    ran = "Option2";
  else if (!form_.IniFile.empty())
    ran = "Copy";
  else if (host_.ends() > 0)
    ran = "Launch";
  form_.GamePath = nowhere_.programPath("game");
  form_.IniFile.clear();
  host_.clear();
  return ran;
}

void chooseFolder(Form1& form, const std::string& folder, bool first) {
  ui::TextBox* box = first ? form.Text1 : form.Text2;
  ui::OptionButton* option = first ? form.Option1 : form.Option2;
  box->setText(folder);
  option->click();
}

std::string slots(const Form1& form) {
  std::string text;
  for (int i = 0; i < 3; ++i)
    text += std::string(i ? " | " : "") + (form.optFM[i]->value() ? ">" : "") +
            form.optFM[i]->caption() + (form.lblCurrent[i]->visible() ? "*" : "") +
            (form.optFM[i]->enabled() ? "" : " (off)");
  return text;
}

std::string threeModelProfile(const std::string& customHelo, const std::string& eol) {
  auto section = [&eol](const std::string& name, const std::string& helo, int n) {
    std::string text = "[" + name + "]" + eol;
    for (const char* key :
         {"RudderSensitivity", "RudderKeyIncrement", "CollectiveSensitivity",
          "CollectiveKeyIncrement", "CyclicLeftRightSensitivity", "CyclicForwardBackSensitivity",
          "GroundEffectFactor", "TransLiftFactor"})
      text += std::string(key) + "=" + std::to_string(n++) + eol;
    return text + "Helo=" + helo + eol + eol;
  };
  return "; Gunship! profile" + eol + section("custom", customHelo, 100) +
         section("ApacheFlightModel", "AH-64 Apache", 200) +
         section("TigerFlightModel", "Tiger", 300) +
         section("HavocFlightModel", "Mi-28 Havoc", 400);
}

std::string readSection(const fs::path& profile, const std::string& section) {
  const std::string file = profile.string();
  char keys[4096];
  const auto length = platform::getPrivateProfileString(section.c_str(), nullptr, "", keys,
                                                        sizeof keys, file.c_str());
  std::string lines;
  for (const char* key = keys; key < keys + length; key += std::strlen(key) + 1) {
    char value[1024];
    platform::getPrivateProfileString(section.c_str(), key, "", value, sizeof value, file.c_str());
    lines += std::string(key) + "=" + value + "\n";
  }
  return lines;
}

}  // namespace testing_support
