// Starting the game through wine, and the current folder and drive it starts in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/Error.h"
#include "platform/Platform.h"
#include "platform/posix/HostPath.h"
#include "posix/WinePrefix.h"

namespace {

using namespace testing_support;
using ::testing::AllOf;
using ::testing::HasSubstr;
namespace posix = platform::posix;
using Start = StandInWine::Start;

std::string quoted(const std::string& text) {
  return '"' + text + '"';
}

// The text of the error that action raises; empty when it raises none.
std::string errorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const platform::Error& e) {
    return e.what();
  }
  return {};
}

// Whether the child is gone within ten seconds, reaped rather than left a zombie.
bool reaped(int pid) {
  const fs::path proc = "/proc/" + std::to_string(pid);
  for (int i = 0; i < 1000 && fs::exists(proc); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return !fs::exists(proc);
}

class Process : public ::testing::Test {
 protected:
  CurrentFolderGuard guard;
  WinePrefix prefix;
  StandInWine wine;
};

TEST_F(Process, StartRunsWineWithTheHostPathAsItsOneArgumentInTheCurrentFolder) {
  const fs::path exe = prefix.file("Gunship Game!/GUNSHIP.EXE", "MZ");
  platform::changeDrive("c:\\Gunship Game!");
  platform::changeDirectory("c:\\Gunship Game!");
  int pid = platform::startProgram("c:\\Gunship Game!\\gunship.exe", platform::kNormalFocus);
  ASSERT_GT(pid, 0);
  const fs::path started = prefix.root() / "dosdevices/c:/Gunship Game!/GUNSHIP.EXE";
  auto starts = wine.starts(1);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].cwd, exe.parent_path().string());
  EXPECT_EQ(starts[0].prefix, prefix.root().string());
  EXPECT_EQ(starts[0].args, std::vector<std::string>{started.string()});
  EXPECT_TRUE(reaped(pid));

  // A relative name is made absolute, so wine cannot take it for an option; the prefix is
  // named to wine even when WINEPREFIX is unset.
  const fs::path dashed = prefix.file("Gunship!/-gunship.exe", "MZ");
  platform::changeDirectory("c:\\Gunship!");
  TempDir home;
  ScopedEnv noPrefix("WINEPREFIX", std::nullopt);
  ScopedEnv homeEnv("HOME", home.path().string());
  pid = platform::startProgram("-gunship.exe", platform::kNormalFocus);
  ASSERT_GT(pid, 0);
  starts = wine.starts(2);
  ASSERT_EQ(starts.size(), 2u);
  const Start& second = starts[0].args[0] == started.string() ? starts[1] : starts[0];
  EXPECT_EQ(second.prefix, (home.path() / ".wine").string());
  EXPECT_EQ(second.args, std::vector<std::string>{dashed.string()});
  EXPECT_TRUE(reaped(pid));
}

TEST_F(Process, StartYieldsZeroWhenWineCannotBeRunAndRaisesForAMissingProgram) {
  prefix.file("Gunship!/gunship.exe", "MZ");
  prefix.folder("Gunship!/folder.exe");
  for (const char* path : {"c:\\Gunship!\\gunship2.exe", "c:\\Nowhere\\gunship.exe", ""})
    EXPECT_THAT(errorOf([&] { platform::startProgram(path, 1); }), HasSubstr(quoted(path)));
  EXPECT_EQ(platform::startProgram("c:\\Gunship!\\folder.exe", 1), 0);
  fs::permissions(wine.program(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(platform::startProgram("c:\\Gunship!\\gunship.exe", 1), 0);  // exec refused
  ScopedEnv noWine("PATH", prefix.root().string());
  EXPECT_EQ(platform::startProgram("c:\\Gunship!\\gunship.exe", 1), 0);
  EXPECT_TRUE(wine.starts(0).empty());
}

TEST_F(Process, WineAndPrefixAreTakenAsTheyWereWhereTheProgramStarted) {
  prefix.file("Gunship!/gunship.exe", "MZ");
  const fs::path game = prefix.driveC() / "Gunship!";
  // A wine of the game's own, where empty and relative PATH entries would find it.
  const fs::path ran = prefix.root() / "game's wine ran";
  for (const char* name : {"wine", "bin/wine"}) {
    fs::create_directories((game / name).parent_path());
    writeFile(game / name, "#!/bin/sh\ntouch '" + ran.string() + "'\n");
    fs::permissions(game / name, fs::perms::owner_all);
  }
  const auto start = [] {
    platform::changeDrive("c:\\Gunship!");
    platform::changeDirectory("c:\\Gunship!");
    return platform::startProgram("c:\\Gunship!\\gunship.exe", 1);
  };
  {
    fs::current_path(prefix.root().parent_path());
    ScopedEnv relative("WINEPREFIX", prefix.root().filename().string());
    ScopedEnv path("PATH", ":.:bin:" + wine.program().parent_path().string());
    EXPECT_GT(start(), 0);
    const auto starts = wine.starts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].prefix, prefix.root().string());
    EXPECT_EQ(starts[0].program, wine.program().string());
    EXPECT_EQ(starts[0].cwd, game.string());
  }
  fs::current_path("/");
  ScopedEnv path("PATH", ":.:bin");
  EXPECT_EQ(start(), 0);
  EXPECT_EQ(wine.starts(1).size(), 1u);
  EXPECT_FALSE(fs::exists(ran));
}

TEST_F(Process, ChangeDirectoryAndDriveEnterWhatExistsOrRaiseNamingIt) {
  const fs::path game = prefix.folder("GUNSHIP!");
  prefix.file("Gunship!.txt", "");
  fs::current_path(prefix.driveC());
  platform::changeDirectory("gunship!");
  EXPECT_EQ(fs::current_path(), game);
  platform::changeDirectory("\\");
  EXPECT_EQ(fs::current_path(), prefix.driveC());
  for (const auto& [path, reason] : {std::pair{"c:\\Nowhere", "No such file or directory"},
                                     {"c:\\Gunship!.txt", "Not a directory"},
                                     {"", "no folder"}}) {
    EXPECT_THAT(errorOf([p = path] { platform::changeDirectory(p); }),
                AllOf(HasSubstr(quoted(path)), HasSubstr(reason)));
    EXPECT_EQ(fs::current_path(), prefix.driveC());
  }
  // The drive is the path's first letter, when that drive exists.
  TempDir d;
  fs::create_directory_symlink(d.path(), prefix.root() / "dosdevices" / "d:");
  platform::changeDrive("D:\\Games");
  EXPECT_EQ(posix::currentDrive(), 'd');
  platform::changeDrive("");
  platform::changeDrive("/home/player/Gunship!");
  EXPECT_EQ(posix::currentDrive(), 'd');
  platform::changeDrive("c");
  EXPECT_EQ(posix::currentDrive(), 'c');
  platform::changeDirectory("d:\\");
  EXPECT_EQ(posix::currentDrive(), 'd');
  EXPECT_THAT(errorOf([] { platform::changeDrive("e:\\Games"); }),
              AllOf(HasSubstr("E:"), HasSubstr(quoted("e:\\Games"))));
  for (const char* path : {"Error", "\\Gunship!", "1:\\"})
    EXPECT_THAT(errorOf([&] { platform::changeDrive(path); }), HasSubstr(quoted(path)));
  EXPECT_EQ(posix::currentDrive(), 'd');
}

}  // namespace
