#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/Error.h"
#include "platform/Platform.h"
#include "platform/posix/HostPath.h"
#include "posix/WinePrefix.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;
using ::testing::AllOf;
using ::testing::HasSubstr;
namespace posix = platform::posix;

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

// Every test leaves the process's current directory and drive as it found them.
class ProcessTest : public ::testing::Test {
 protected:
  ~ProcessTest() override {
    fs::current_path(cwd_);
    posix::setCurrentDrive(drive_);
  }
  WinePrefix prefix;

 private:
  fs::path cwd_ = fs::current_path();
  char drive_ = posix::currentDrive();
};

// A stand-in wine first on PATH: records its arguments, working directory and WINEPREFIX.
class StartTest : public ProcessTest {
 protected:
  StartTest() {
    writeFile(bin.path() / "wine",
              "#!/bin/sh\n{ echo $#; for a in \"$@\"; do echo \"$a\"; done; pwd -P;"
              " echo \"$WINEPREFIX\"; } > '" +
                  (bin.path() / "record.tmp").string() + "' && /bin/mv '" +
                  (bin.path() / "record.tmp").string() + "' '" + record().string() + "'\n");
    fs::permissions(bin.path() / "wine", fs::perms::owner_all);
  }
  fs::path record() const { return bin.path() / "record"; }

  // The lines the stand-in wrote; then waits until the child is gone, not left a zombie.
  std::vector<std::string> recorded(int pid) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!fs::exists(record()) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(10ms);
    const fs::path proc = "/proc/" + std::to_string(pid);
    while (fs::exists(proc) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(fs::exists(proc)) << "child " << pid << " was not reaped";
    std::istringstream in(fs::exists(record()) ? readFile(record()) : "");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  TempDir bin;
  ScopedEnv pathEnv{"PATH", bin.path().string()};  // never the real wine
};

TEST_F(StartTest, RunsWineWithTheHostPathAsItsOneArgumentInTheCurrentFolder) {
  const fs::path exe = prefix.file("Gunship Game!/GUNSHIP.EXE", "MZ");
  platform::changeDrive("c:\\Gunship Game!");
  platform::changeDirectory("c:\\Gunship Game!");
  const int pid = platform::startProgram("c:\\Gunship Game!\\gunship.exe", platform::kNormalFocus);
  ASSERT_GT(pid, 0);
  const fs::path started = prefix.root() / "dosdevices/c:/Gunship Game!/GUNSHIP.EXE";
  EXPECT_EQ(recorded(pid),
            (std::vector<std::string>{"1", started.string(), exe.parent_path().string(),
                                      prefix.root().string()}));
}

TEST_F(StartTest, ResolvesARelativePathAndNamesThePrefixEvenWhenUnset) {
  const fs::path exe = prefix.file("Gunship!/-gunship.exe", "MZ");
  platform::changeDirectory("c:\\Gunship!");
  TempDir home;
  ScopedEnv noPrefix("WINEPREFIX", std::nullopt);
  ScopedEnv homeEnv("HOME", home.path().string());
  // Absolute, so wine cannot take the name for an option.
  const int pid = platform::startProgram("-gunship.exe", platform::kNormalFocus);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(recorded(pid), (std::vector<std::string>{"1", exe.string(), exe.parent_path().string(),
                                                     (home.path() / ".wine").string()}));
}

TEST_F(StartTest, YieldsZeroWhenWineCannotBeRun) {
  prefix.file("Gunship!/gunship.exe", "MZ");
  prefix.folder("Gunship!/folder.exe");
  EXPECT_EQ(platform::startProgram("c:\\Gunship!\\folder.exe", 1), 0);
  fs::permissions(bin.path() / "wine", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(platform::startProgram("c:\\Gunship!\\gunship.exe", 1), 0);  // exec refused
  ScopedEnv noWine("PATH", prefix.root().string());
  EXPECT_EQ(platform::startProgram("c:\\Gunship!\\gunship.exe", 1), 0);
}

TEST_F(StartTest, RaisesForAProgramThatIsNotThere) {
  for (const char* path : {"c:\\Gunship!\\gunship.exe", "c:\\Nowhere\\gunship.exe", ""}) {
    EXPECT_THAT(errorOf([&] { platform::startProgram(path, 1); }), HasSubstr(quoted(path)));
  }
  EXPECT_FALSE(fs::exists(record()));
}

TEST_F(ProcessTest, ChangeDirectoryEntersTheFolderOrRaisesNamingIt) {
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
    const std::string error = errorOf([&] { platform::changeDirectory(path); });
    EXPECT_THAT(error, AllOf(HasSubstr(quoted(path)), HasSubstr(reason)));
    EXPECT_EQ(fs::current_path(), prefix.driveC());
  }
}

TEST_F(ProcessTest, ChangeDriveTakesTheFirstLetterWhenThatDriveExists) {
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
