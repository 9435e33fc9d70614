// "Launch" and "Copy && Launch" start the game through a stand-in wine that records its start.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "FormFixture.h"
#include "WinePrefix.h"
#include "platform/posix/HostPath.h"

namespace {

using testing_support::FormTest;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::threeModelProfile;
using testing_support::WinePrefix;
namespace fs = std::filesystem;

// One start the stand-in recorded.
struct Start {
  std::string cwd;
  std::string prefix;
  std::vector<std::string> args;
};

class LaunchTest : public FormTest {
 protected:
  LaunchTest()
      : savedDirectory_(fs::current_path()),
        savedDrive_(platform::posix::currentDrive()),
        path_("PATH", bin_.path().string() + ":/usr/bin:/bin") {
    record_ = bin_.path() / "starts.txt";
    testing_support::writeFile(
        bin_.path() / "wine",
        "#!/bin/sh\n"
        "{ echo start; echo \"cwd=$(pwd -P)\"; echo \"prefix=$WINEPREFIX\";\n"
        "  for a in \"$@\"; do echo \"arg=$a\"; done; } >> '" +
            record_.string() + "'\n");
    fs::permissions(bin_.path() / "wine", fs::perms::owner_all);
  }
  ~LaunchTest() override {
    fs::current_path(savedDirectory_);
    platform::posix::setCurrentDrive(savedDrive_);
  }

  // The game installed at c:\<folder> of the prefix, with its profile and executable.
  fs::path install(const std::string& folder = "Gunship!", const std::string& exe = "gunship.exe") {
    prefix_.file(folder + "/data/custom.ini", threeModelProfile("AH-64 Apache"));
    return prefix_.file(folder + "/" + exe, "MZ").parent_path();
  }

  // The starts recorded so far; waits briefly for the stand-in to finish writing.
  std::vector<Start> starts(std::size_t expected) {
    std::vector<Start> result;
    for (int attempt = 0; attempt < 200; ++attempt) {
      result.clear();
      std::istringstream in(fs::exists(record_) ? testing_support::readFile(record_) : "");
      for (std::string line; std::getline(in, line);) {
        if (line == "start")
          result.emplace_back();
        else if (result.empty())
          continue;
        else if (line.rfind("cwd=", 0) == 0)
          result.back().cwd = line.substr(4);
        else if (line.rfind("prefix=", 0) == 0)
          result.back().prefix = line.substr(7);
        else if (line.rfind("arg=", 0) == 0)
          result.back().args.push_back(line.substr(4));
      }
      if (result.size() >= expected && (result.empty() || !result.back().args.empty())) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return result;
  }

  WinePrefix prefix_;
  TempDir bin_;
  fs::path record_;

 private:
  fs::path savedDirectory_;
  char savedDrive_;
  ScopedEnv path_;
};

TEST_F(LaunchTest, LaunchStartsTheGameFromItsFolderAndEndsKestrun) {
  const fs::path folder = install();
  chooseFolder("c:\\Gunship!");
  form.Command3->click();

  const auto recorded = starts(1);
  ASSERT_EQ(recorded.size(), 1u);
  ASSERT_EQ(recorded[0].args.size(), 1u);
  EXPECT_EQ(fs::canonical(recorded[0].args[0]), fs::canonical(folder / "gunship.exe"));
  EXPECT_EQ(recorded[0].cwd, fs::canonical(folder).string());
  EXPECT_EQ(recorded[0].prefix, prefix_.root().string());
  EXPECT_EQ(host.ends(), 1);
  EXPECT_TRUE(host.messages().empty());
}

TEST_F(LaunchTest, StayResidentKeepsKestrunForAnotherStart) {
  install();
  chooseFolder("c:\\Gunship!");
  form.chkSr->click();
  ASSERT_EQ(form.chkSr->value(), 1);
  form.Command3->click();
  form.Command3->click();
  EXPECT_EQ(starts(2).size(), 2u);
  EXPECT_EQ(host.ends(), 0);
}

TEST_F(LaunchTest, CopyAndLaunchWithNothingPickedStartsWithTheProfileUnchanged) {
  install();
  const std::string before =
      testing_support::readFile(prefix_.driveC() / "Gunship!/data/custom.ini");
  chooseFolder("c:\\Gunship!");
  form.Command1->click();
  EXPECT_EQ(starts(1).size(), 1u);
  EXPECT_EQ(testing_support::readFile(prefix_.driveC() / "Gunship!/data/custom.ini"), before);
  EXPECT_EQ(host.ends(), 1);
}

TEST_F(LaunchTest, CopyAndLaunchCopiesFirstWithoutARescan) {
  install();
  chooseFolder("c:\\Gunship!");
  form.optFM[1]->click();
  form.chkSr->click();
  form.Command1->click();
  ASSERT_EQ(starts(1).size(), 1u);
  const std::string after =
      testing_support::readFile(prefix_.driveC() / "Gunship!/data/custom.ini");
  EXPECT_NE(after.find("[custom]\r\nRudderSensitivity=300\r\n"), std::string::npos);
  EXPECT_TRUE(markerShown(0)) << "the markers show the state before the copy";
  EXPECT_FALSE(markerShown(1));
}

TEST_F(LaunchTest, ExecutableNameAndFolderAreStartedAsStored) {
  const fs::path folder = install("Program Files/Gunship!", "GUNSHIP.EXE");
  chooseFolder("c:\\program files\\gunship!");
  ASSERT_EQ(form.GameExe, "GUNSHIP.EXE");
  form.Command3->click();
  const auto recorded = starts(1);
  ASSERT_EQ(recorded.size(), 1u);
  // The folder with a blank is one argument, never split into a command line.
  ASSERT_EQ(recorded[0].args.size(), 1u);
  EXPECT_EQ(fs::canonical(recorded[0].args[0]), fs::canonical(folder / "GUNSHIP.EXE"));
}

TEST_F(LaunchTest, NoWineIsReportedAndKestrunStays) {
  install();
  chooseFolder("c:\\Gunship!");
  fs::remove(bin_.path() / "wine");
  ScopedEnv noWine("PATH", bin_.path().string());
  form.Command3->click();
  ASSERT_EQ(host.messages().size(), 1u);
  EXPECT_EQ(host.messages()[0].prompt, "Unable to start gunship.exe");
  EXPECT_EQ(host.messages()[0].style, 16);
  EXPECT_EQ(host.messages()[0].title, "Kestrun");
  EXPECT_EQ(host.ends(), 0);
}

TEST_F(LaunchTest, GameRemovedAfterTheScanEndsKestrunWithTheErrorReport) {
  struct Case {
    const char* name;
    const char* removed;  // below drive_c
  };
  const Case cases[] = {{"folder removed", "Gunship!"},
                        {"executable removed", "Gunship!/gunship.exe"}};
  for (const Case& c : cases) {
    host.clear();
    install();
    chooseFolder("c:\\Gunship!");
    fs::remove_all(prefix_.driveC() / c.removed);
    form.Command1->click();
    ASSERT_EQ(host.messages().size(), 1u) << c.name;
    EXPECT_EQ(host.messages()[0].style, 16) << c.name;
    EXPECT_EQ(host.messages()[0].title, "Kestrun") << c.name;
    EXPECT_NE(host.messages()[0].prompt.find("Gunship!"), std::string::npos)
        << c.name << ": " << host.messages()[0].prompt;
    EXPECT_EQ(host.ends(), 1) << c.name;
    EXPECT_TRUE(starts(0).empty()) << c.name;
  }
}

TEST_F(LaunchTest, RelativeFolderIsEnteredFromItsFirstLetterAsDrive) {
  // "Games\Gunship!" names drive G:, which this prefix lacks: the error report says so.
  install("Games/Gunship!");
  fs::current_path(prefix_.driveC());
  chooseFolder("Games\\Gunship!");
  ASSERT_EQ(form.GameExe, "gunship.exe");
  form.Command3->click();
  ASSERT_EQ(host.messages().size(), 1u);
  EXPECT_EQ(host.messages()[0].style, 16);
  EXPECT_NE(host.messages()[0].prompt.find("G:"), std::string::npos) << host.messages()[0].prompt;
  EXPECT_EQ(host.ends(), 1);
  EXPECT_TRUE(starts(0).empty());
}

}  // namespace
