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
  GameFolder() { fs::create_directories(folder_ / "data"); }
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
  fs::path folder_ = dir_.path() / "Gunship!";
};

// A window of its own.
struct FreshForm {
  FreshForm();
  RecordingHost host;  // before the toolkit, which keeps it in force
  std::unique_ptr<ui::Toolkit> toolkit;
  Form1 form{*toolkit};
};

// Form1's click procedures told apart by what they leave behind. Text1, Text2 and GamePath name
// three folders that do not exist, so a folder option takes its box's folder ("Option1",
// "Option2"), Copy scans ("Copy"), and a launch cannot enter GamePath and reports the error
// ("Launch": Copy && Launch and Launch alike while no flight model is picked). A scan of a missing
// folder disables the flight models and the command buttons, as it would for a player.
class ClickTrace {
 public:
  // Made before the clicks it tells apart: it forgets whatever ran before.
  ClickTrace(Form1& form, RecordingHost& host);
  // What ran since the last look, or "" for nothing; one click per look. Puts GamePath back,
  // forgets the scan and clears the recorded messages and the program's end, so the next click
  // can run and is told apart.
  std::string ran();

 private:
  TempDir nowhere_;
  Form1& form_;
  RecordingHost& host_;
};

// Types a folder into a folder option's box (Text2 unless first) and clicks its option.
void chooseFolder(Form1& form, const std::string& folder, bool first = false);

// The three slots as the player sees them, e.g. ">Tiger Flight Model* | ? (off) | ?":
// ">" selected, "*" marked current, "(off)" disabled.
std::string slots(const Form1& form);

class FormTest : public ::testing::Test {
 protected:
  void chooseFolder(const std::string& folder) { testing_support::chooseFolder(form, folder); }

  FreshForm window;
  Form1& form = window.form;
  RecordingHost& host = window.host;
};

// A profile holding the three flight models and a custom section: handling values count up from
// 100 in custom, 200 for Apache, 300 for Tiger and 400 for Havoc.
std::string threeModelProfile(const std::string& customHelo, const std::string& eol = "\r\n");

// A section of a profile as the profile functions read it: "key=value" lines in key-list order.
// What Windows reads, whatever it does to the file's bytes when it writes.
std::string readSection(const fs::path& profile, const std::string& section);

}  // namespace testing_support
