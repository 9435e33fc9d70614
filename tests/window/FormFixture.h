// A Form1 on the host's real window binding, with message boxes and the program's end recorded,
// and a game folder in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "TestSupport.h"
#include "ui/Binding.h"
#include "window/Form1.h"

namespace testing_support {

// A game installation in a temporary folder: its profile and its executable.
class GameFolder {
 public:
  explicit GameFolder(const std::string& name = "Gunship!") : folder_(dir_.path() / name) {
    fs::create_directories(folder_ / "data");
  }
  // The folder as a player types it: the host's own path text.
  std::string path() const { return dir_.programPath(folder_.filename()); }
  const fs::path& hostFolder() const { return folder_; }
  fs::path profilePath() const { return folder_ / "data" / "custom.ini"; }
  void writeProfile(const std::string& bytes) const { writeFile(profilePath(), bytes); }
  std::string profile() const { return readFile(profilePath()); }
  void addExecutable(const std::string& name = "gunship.exe") const {
    writeFile(folder_ / name, "MZ");
  }

 private:
  TempDir dir_;
  fs::path folder_;
};

// A window of its own, for tests that need a fresh one per case.
struct FreshForm {
  static int argc;
  static char* argv[];
  std::unique_ptr<ui::Toolkit> toolkit = ui::makeToolkit(argc, argv);
  RecordingHost host;
  Form1 form{*toolkit};
};

class FormTest : public ::testing::Test {
 protected:
  // Types a folder into a folder option's box and clicks the option, as a player does.
  void chooseFolder(ui::TextBox* box, ui::OptionButton* option, const std::string& folder) {
    box->setText(folder);
    option->click();
  }
  void chooseFolder(const std::string& folder) { chooseFolder(form.Text2, form.Option2, folder); }

  bool markerShown(int slot) const { return form.lblCurrent[slot]->visible(); }

  std::unique_ptr<ui::Toolkit> toolkit = ui::makeToolkit(FreshForm::argc, FreshForm::argv);
  RecordingHost host;  // after the toolkit, which installs the host's own
  Form1 form{*toolkit};
};

// A profile holding the three flight models and a custom section.
std::string threeModelProfile(const std::string& customHelo, const std::string& eol = "\r\n");

}  // namespace testing_support
