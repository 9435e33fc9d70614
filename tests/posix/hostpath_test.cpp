// Program paths reach the right host files through the prefix, whatever their letter case.
#include "platform/posix/HostPath.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "WinePrefix.h"

namespace {

using platform::posix::hostPath;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WinePrefix;
namespace fs = std::filesystem;

// Restores the process's current directory and drive after a test that changes them.
class CurrentDirectoryGuard {
 public:
  CurrentDirectoryGuard() : saved_(fs::current_path()), drive_(platform::posix::currentDrive()) {}
  ~CurrentDirectoryGuard() {
    fs::current_path(saved_);
    platform::posix::setCurrentDrive(drive_);
  }

 private:
  fs::path saved_;
  char drive_;
};

TEST(HostPath, DriveLettersMapThroughTheStoredSpellingOfEachComponent) {
  WinePrefix prefix;
  prefix.file("GUNSHIP!/Data/Custom.INI", "x");
  prefix.folder("Games");

  struct Case {
    const char* program;
    fs::path expected;
  };
  const Case cases[] = {
      {"c:\\Gunship!\\data\\custom.ini", prefix.root() / "dosdevices/c:/GUNSHIP!/Data/Custom.INI"},
      {"C:\\GUNSHIP!\\DATA\\CUSTOM.INI", prefix.root() / "dosdevices/c:/GUNSHIP!/Data/Custom.INI"},
      {"c:/gunship!/data/custom.ini", prefix.root() / "dosdevices/c:/GUNSHIP!/Data/Custom.INI"},
      // Doubled and trailing separators collapse, as Windows folds them.
      {"c:\\Gunship!\\\\data\\custom.ini\\",
       prefix.root() / "dosdevices/c:/GUNSHIP!/Data/Custom.INI"},
      {"c:\\Gunship!\\..\\games", prefix.root() / "dosdevices/c:/Games"},
      // What does not exist keeps the caller's spelling below the last folder that does.
      {"c:\\gunship!\\Missing\\gunship.exe",
       prefix.root() / "dosdevices/c:/GUNSHIP!/Missing/gunship.exe"},
      {"c:", prefix.root() / "dosdevices/c:"},
  };
  for (const Case& c : cases) EXPECT_EQ(hostPath(c.program), c.expected) << c.program;
}

TEST(HostPath, DriveCFallsBackToDriveCFolderWithoutDosdevices) {
  WinePrefix prefix(/*withDosdevices=*/false);
  prefix.file("Gunship!/gunship.exe", "");
  EXPECT_EQ(hostPath("C:\\gunship!\\GUNSHIP.EXE"), prefix.driveC() / "Gunship!/gunship.exe");
  // Other letters have no fallback: the path names a device that is not there.
  EXPECT_FALSE(fs::exists(hostPath("d:\\Gunship!")));
}

TEST(HostPath, OtherDriveLettersFollowTheirDosdevicesLink) {
  WinePrefix prefix;
  TempDir elsewhere;
  fs::create_directory(elsewhere.path() / "Games");
  fs::create_directory_symlink(elsewhere.path(), prefix.root() / "dosdevices" / "d:");
  EXPECT_EQ(fs::canonical(hostPath("D:\\games")), elsewhere.path() / "Games");
}

TEST(HostPath, HostPathsAreTakenAsTheyAreWithBackslashesAsSeparators) {
  TempDir dir;
  fs::create_directories(dir.path() / "Gunship!" / "data");
  const std::string folder = dir.path().string() + "/Gunship!";
  EXPECT_EQ(hostPath(folder + "\\data\\custom.ini"), dir.path() / "Gunship!/data/custom.ini");
  EXPECT_EQ(hostPath(folder + "\\DATA"), dir.path() / "Gunship!/data");
}

TEST(HostPath, RelativeAndRootedPathsFollowTheCurrentDirectoryAndDrive) {
  WinePrefix prefix;
  prefix.file("data/custom.ini", "");
  TempDir work;
  fs::create_directories(work.path() / "Error" / "data");
  CurrentDirectoryGuard guard;
  fs::current_path(work.path());

  EXPECT_EQ(hostPath("error\\data\\custom.ini"), work.path() / "Error/data/custom.ini");
  EXPECT_EQ(hostPath("\\DATA\\custom.ini"), prefix.root() / "dosdevices/c:/data/custom.ini");
  // The empty text names the current directory.
  EXPECT_EQ(hostPath(""), work.path());
}

TEST(HostPath, PrefixIsWinePrefixOrDotWineInHome) {
  {
    ScopedEnv prefix("WINEPREFIX", "/somewhere/prefix");
    EXPECT_EQ(platform::posix::winePrefix(), fs::path("/somewhere/prefix"));
  }
  ScopedEnv unset("WINEPREFIX", std::nullopt);
  ScopedEnv home("HOME", "/home/player");
  EXPECT_EQ(platform::posix::winePrefix(), fs::path("/home/player/.wine"));
}

}  // namespace
