// Program paths reach the right host files through the prefix, whatever their letter case.
#include "platform/posix/HostPath.h"

#include <gtest/gtest.h>

#include "WinePrefix.h"

namespace {

using platform::posix::hostPath;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WinePrefix;
namespace fs = std::filesystem;

TEST(HostPath, MapsThroughThePrefixAndTheStoredSpellingOfEachComponent) {
  WinePrefix prefix;
  prefix.file("GUNSHIP!/Data/Custom.INI", "x");
  prefix.file("data/custom.ini", "");
  prefix.folder("Games");
  TempDir elsewhere, work;
  fs::create_directory(elsewhere.path() / "Games");
  fs::create_directory_symlink(elsewhere.path(), prefix.root() / "dosdevices" / "d:");
  fs::create_directories(work.path() / "Error" / "data");
  fs::create_directories(work.path() / "Gunship!" / "data");
  testing_support::CurrentFolderGuard guard;
  fs::current_path(work.path());

  const fs::path c = prefix.root() / "dosdevices/c:", ini = c / "GUNSHIP!/Data/Custom.INI";
  const std::string host = work.path().string() + "/Gunship!";
  const std::pair<std::string, fs::path> cases[] = {
      {"c:\\Gunship!\\data\\custom.ini", ini},
      {"C:\\GUNSHIP!\\DATA\\CUSTOM.INI", ini},
      {"c:/gunship!/data/custom.ini", ini},
      {"c:\\Gunship!\\\\data\\custom.ini\\", ini},  // separators fold as Windows folds them
      {"c:\\Gunship!\\..\\games", c / "Games"},
      // What does not exist keeps the caller's spelling below the last folder that does.
      {"c:\\gunship!\\Missing\\gunship.exe", c / "GUNSHIP!/Missing/gunship.exe"},
      {"c:", c},
      {"D:\\games", prefix.root() / "dosdevices/d:/Games"},
      {"error\\data\\custom.ini", work.path() / "Error/data/custom.ini"},  // current folder
      {"\\DATA\\custom.ini", c / "data/custom.ini"},                       // current drive
      {"", work.path()},
      {host + "\\data\\custom.ini", work.path() / "Gunship!/data/custom.ini"},  // a host path
      {host + "\\DATA", work.path() / "Gunship!/data"},
  };
  for (const auto& [program, expected] : cases) EXPECT_EQ(hostPath(program), expected) << program;
}

TEST(HostPath, DotDotStopsAtTheDriveRootAndNamesMatchOverUnicodeCase) {
  WinePrefix prefix;
  prefix.folder("Übungen/Ärger");
  prefix.folder("Games");
  testing_support::CurrentFolderGuard guard;
  const fs::path c = prefix.root() / "dosdevices/c:", driveC = fs::canonical(prefix.driveC());
  const struct {
    fs::path cwd;
    std::string program;
    fs::path expected;
  } cases[] = {
      {"/", "c:\\..\\..\\games", c / "Games"},
      {"/", "C:\\übungen\\ärger\\..\\..\\..\\ÜBUNGEN", c / "Übungen"},
      {"/", "\\..\\Games", c / "Games"},
      {"/", "/../tmp", "/tmp"},
      // From a folder of the current drive, relative paths stop at its root too.
      {driveC / "Übungen/Ärger", "..\\..\\..\\..\\games", driveC / "Games"},
      {driveC / "Übungen", "ärger\\..\\..\\..\\GAMES", driveC / "Games"},
  };
  for (const auto& [cwd, program, expected] : cases) {
    fs::current_path(cwd);
    EXPECT_EQ(hostPath(program), expected) << program;
  }
}

TEST(HostPath, DriveCFallsBackToDriveCFolderWithoutDosdevices) {
  WinePrefix prefix(/*withDosdevices=*/false);
  prefix.file("Gunship!/gunship.exe", "");
  EXPECT_EQ(hostPath("C:\\gunship!\\GUNSHIP.EXE"), prefix.driveC() / "Gunship!/gunship.exe");
  // Other letters have no fallback: the path names a device that is not there.
  EXPECT_FALSE(fs::exists(hostPath("d:\\Gunship!")));
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
