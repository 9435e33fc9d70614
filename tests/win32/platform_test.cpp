// The Windows platform functions against the real system: the 32-bit registry view, the text
// conversion at the A calls, the entry probe, the current drive and folder, and the program
// start with a path that holds blanks.
#include "platform/Platform.h"

#include <direct.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "platform/Error.h"

namespace {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using testing_support::fs::path;

constexpr platform::RegKey kLocalMachine = 0x80000002u;
constexpr char kTestKey[] = "Software\\Kestrun Tests\\Gunship!";

// True when the ANSI code page holds 'é' as one byte, as Western code pages do.
bool ansiHasEAcute() {
  BOOL lossy = FALSE;
  char byte[4] = {};
  const int count = WideCharToMultiByte(CP_ACP, 0, L"\u00e9", 1, byte, 4, nullptr, &lossy);
  return count == 1 && !lossy;
}

// ---- Registry ----------------------------------------------------------------------------------

class RegistryView : public ::testing::Test {
 protected:
  void SetUp() override {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0, KEY_WRITE | view,
                                nullptr, &key, nullptr),
                ERROR_SUCCESS);
      const std::string path = view == KEY_WOW64_32KEY ? "C:\\Games\\Gunship!" : "C:\\64-bit";
      RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                     static_cast<DWORD>(path.size() + 1));
      if (view == KEY_WOW64_32KEY) {
        // Written without its terminating NUL, as some installers do.
        RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("  C:\\Bare  "), 11);
        RegSetValueExW(key, L"Accented", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(L"C:\\Jeux\\\u00e9t\u00e9"), 12 * 2);
      }
      RegCloseKey(key);
    }
  }
  void TearDown() override {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kTestKey, view, 0);
      RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kestrun Tests", view, 0);
    }
  }

  // The value's data through the platform functions, with the status of each step.
  std::string read(const char* name, std::int32_t* status, std::uint32_t size = 255) {
    platform::RegKey key = 0;
    *status = platform::regOpenKeyEx(kLocalMachine, kTestKey, 0, platform::kKeyRead, &key);
    if (*status != platform::kErrorSuccess) return {};
    std::string data(size, '#');
    std::uint32_t type = 0;
    *status = platform::regQueryValueEx(key, name, nullptr, &type,
                                        reinterpret_cast<std::uint8_t*>(data.data()), &size);
    EXPECT_EQ(platform::regCloseKey(key), platform::kErrorSuccess);
    EXPECT_EQ(platform::regCloseKey(key), platform::kErrorInvalidHandle) << "closed twice";
    if (*status == platform::kErrorMoreData) return data;
    return *status == platform::kErrorSuccess ? data.substr(0, size) : data;
  }
};

TEST_F(RegistryView, ReadsTheViewA32BitInstallerWroteTo) {
  std::int32_t status = -1;
  EXPECT_EQ(read("Path", &status), std::string("C:\\Games\\Gunship!") + '\0');
  EXPECT_EQ(status, platform::kErrorSuccess);
}

TEST_F(RegistryView, DataIsCopiedOnlyWhenItFitsAndAsStored) {
  std::int32_t status = -1;
  EXPECT_EQ(read("Path", &status, 17), std::string(17, '#')) << "18 bytes do not fit in 17";
  EXPECT_EQ(status, platform::kErrorMoreData);
  EXPECT_EQ(read("Missing", &status), std::string(255, '#'));
  EXPECT_EQ(status, platform::kErrorFileNotFound);
  // Data stored without its NUL comes back exactly as the system's own call gives it.
  HKEY raw = nullptr;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ | KEY_WOW64_32KEY, &raw);
  char direct[255];
  DWORD directSize = sizeof direct;
  RegQueryValueExA(raw, "Bare", nullptr, nullptr, reinterpret_cast<BYTE*>(direct), &directSize);
  RegCloseKey(raw);
  EXPECT_EQ(read("Bare", &status), std::string(direct, directSize));
  if (ansiHasEAcute()) {
    EXPECT_EQ(read("Accented", &status), std::string("C:\\Jeux\\\xC3\xA9t\xC3\xA9") + '\0');
    EXPECT_EQ(status, platform::kErrorSuccess);
  }
}

TEST_F(RegistryView, HandlesThatWereNeverOpenedAreRefused) {
  platform::RegKey key = 0;
  EXPECT_EQ(platform::regOpenKeyEx(0x12345u, "Software", 0, platform::kKeyRead, &key),
            platform::kErrorInvalidHandle);
  EXPECT_EQ(platform::regOpenKeyEx(kLocalMachine, "Software\\Kestrun Tests\\None", 0,
                                   platform::kKeyRead, &key),
            platform::kErrorFileNotFound);
  std::uint32_t size = 4;
  char data[4];
  EXPECT_EQ(platform::regQueryValueEx(0x4242u, "Path", nullptr, nullptr,
                                      reinterpret_cast<std::uint8_t*>(data), &size),
            platform::kErrorInvalidHandle);
}

// ---- Profiles: the ANSI code page at the boundary
// ------------------------------------------------

TEST(ProfileText, ProgramTextReachesTheFileInTheAnsiCodePageAndComesBack) {
  if (!ansiHasEAcute()) GTEST_SKIP() << "the ANSI code page has no single-byte \u00e9";
  TempDir dir;
  const std::string file = dir.programPath("custom.ini");
  ASSERT_NE(platform::writePrivateProfileString("custom", "Helo", "Caf\xC3\xA9", file.c_str()), 0);
  EXPECT_NE(readFile(dir.path() / "custom.ini").find("Helo=Caf\xE9"), std::string::npos);

  char buffer[1024];
  EXPECT_EQ(platform::getPrivateProfileString("custom", "Helo", "", buffer, 1024, file.c_str()),
            5u);
  EXPECT_STREQ(buffer, "Caf\xC3\xA9");

  // 1023 ANSI bytes grow to 2046 in UTF-8: the cut keeps whole characters within the buffer.
  writeFile(dir.path() / "custom.ini", "[custom]\r\nHelo=" + std::string(1100, '\xE9') + "\r\n");
  const auto count =
      platform::getPrivateProfileString("custom", "Helo", "", buffer, 1024, file.c_str());
  EXPECT_EQ(count, 1022u);
  std::string expected;
  for (int i = 0; i < 511; ++i) expected += "\xC3\xA9";
  EXPECT_EQ(std::string(buffer), expected);
}

// ---- Entry probe -------------------------------------------------------------------------------

TEST(EntryProbe, FindsOneVisibleEntryByNameAndNeverSearches) {
  TempDir dir;
  writeFile(dir.path() / "GunShip.EXE", "MZ");
  writeFile(dir.path() / "hidden.exe", "MZ");
  writeFile(dir.path() / "system.exe", "MZ");
  testing_support::fs::create_directory(dir.path() / "Gunship!");
  SetFileAttributesA(dir.programPath("hidden.exe").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA(dir.programPath("system.exe").c_str(), FILE_ATTRIBUTE_SYSTEM);
  writeFile(dir.path() / "readonly.exe", "MZ");
  SetFileAttributesA(dir.programPath("readonly.exe").c_str(), FILE_ATTRIBUTE_READONLY);

  using platform::kAttrDirectory;
  using platform::kAttrNormal;
  EXPECT_EQ(platform::probeEntry(dir.programPath("gunship.exe"), kAttrNormal), "GunShip.EXE");
  EXPECT_EQ(platform::probeEntry(dir.programPath("readonly.exe"), kAttrNormal), "readonly.exe");
  EXPECT_EQ(platform::probeEntry(dir.programPath("hidden.exe"), kAttrDirectory), "");
  EXPECT_EQ(platform::probeEntry(dir.programPath("system.exe"), kAttrDirectory), "");
  EXPECT_EQ(platform::probeEntry(dir.programPath("Gunship!"), kAttrNormal), "");
  EXPECT_EQ(platform::probeEntry(dir.programPath("gunship!"), kAttrDirectory), "Gunship!");
  EXPECT_EQ(platform::probeEntry(dir.programPath("g*.exe"), kAttrNormal), "");
  EXPECT_EQ(platform::probeEntry(dir.programPath("gunship.ex?"), kAttrNormal), "");
  EXPECT_EQ(platform::probeEntry(dir.programPath("gunship<exe"), kAttrNormal), "");
  EXPECT_EQ(platform::probeEntry("", kAttrDirectory), "");
  SetFileAttributesA(dir.programPath("readonly.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// ---- Drive, folder and the program start
// ---------------------------------------------------------

class Launch : public ::testing::Test {
 protected:
  Launch() {
    char folder[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, folder);
    previous_ = folder;
  }
  ~Launch() override {
    SetCurrentDirectoryA(previous_.c_str());
    SetEnvironmentVariableA("KESTRUN_PROBE_LOG", nullptr);
  }

  // The probe program built beside this test program.
  static path probeProgram() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    return path(self).parent_path() / "kestrun_probe.exe";
  }

  // The log the started probes write, once it holds lines lines (or after ten seconds).
  static std::string waitForLog(const path& log, std::size_t lines) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string text;
    while (std::chrono::steady_clock::now() < deadline) {
      std::error_code ec;
      if (testing_support::fs::exists(log, ec)) {
        text = readFile(log);
        if (static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) >= lines) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return text;
  }

  TempDir dir;

 private:
  std::string previous_;
};

TEST_F(Launch, AProgramInAFolderWithBlanksStartsItselfNotItsFirstWord) {
  // C:\...\with blank\gunship.exe, and a decoy C:\...\with.exe that an unquoted command line runs.
  testing_support::fs::create_directory(dir.path() / "with blank");
  testing_support::fs::copy_file(probeProgram(), dir.path() / "with blank" / "gunship.exe");
  testing_support::fs::copy_file(probeProgram(), dir.path() / "with.exe");
  const path log = dir.path() / "started.log";
  SetEnvironmentVariableA("KESTRUN_PROBE_LOG", log.string().c_str());

  const std::string folder = dir.programPath("with blank");
  platform::changeDrive(folder);
  platform::changeDirectory(folder);
  const std::int32_t id = platform::startProgram(folder + "\\gunship.exe", platform::kNormalFocus);
  EXPECT_NE(id, 0);

  const std::string text = waitForLog(log, 2);
  EXPECT_EQ(text, folder + "\\gunship.exe\n" + folder + "\n")
      << "the game must run from its own folder, and nothing else may run";
}

TEST_F(Launch, ARelativePathIsFoundInTheCurrentFolder) {
  testing_support::fs::create_directory(dir.path() / "Game");
  testing_support::fs::copy_file(probeProgram(), dir.path() / "Game" / "gunship.exe");
  const path log = dir.path() / "started.log";
  SetEnvironmentVariableA("KESTRUN_PROBE_LOG", log.string().c_str());
  platform::changeDirectory(dir.programPath());
  EXPECT_NE(platform::startProgram("Game\\gunship.exe", platform::kNormalFocus), 0);
  EXPECT_EQ(waitForLog(log, 2).substr(0, dir.programPath().size() + 18),
            dir.programPath() + "\\Game\\gunship.exe\n");
}

TEST_F(Launch, FailuresRaiseOrYieldNoTask) {
  EXPECT_THROW(platform::startProgram(dir.programPath("gone.exe"), platform::kNormalFocus),
               platform::Error);
  writeFile(dir.path() / "notes.exe", "this is no program");
  EXPECT_EQ(platform::startProgram(dir.programPath("notes.exe"), platform::kNormalFocus), 0);

  try {
    platform::changeDirectory(dir.programPath("No Such Folder"));
    ADD_FAILURE() << "entered a folder that does not exist";
  } catch (const platform::Error& e) {
    EXPECT_NE(std::string(e.what()).find("No Such Folder"), std::string::npos) << e.what();
  }

  // The first free letter from the end of the alphabet is a drive that does not exist.
  const DWORD drives = GetLogicalDrives();
  char missing = 0;
  for (char letter = 'Y'; letter > 'D' && missing == 0; --letter)
    if ((drives & (1u << (letter - 'A'))) == 0) missing = letter;
  ASSERT_NE(missing, 0);
  const int before = _getdrive();
  try {
    platform::changeDrive(std::string(1, static_cast<char>(missing + 'a' - 'A')) + ":\\Gunship!");
    ADD_FAILURE() << "changed to a drive that does not exist";
  } catch (const platform::Error& e) {
    EXPECT_NE(std::string(e.what()).find(std::string(1, missing) + ":"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(_getdrive(), before);
  EXPECT_THROW(platform::changeDrive("\\Gunship!"), platform::Error);
  EXPECT_NO_THROW(platform::changeDrive(""));
  platform::changeDrive("c:\\Gunship!");
  EXPECT_EQ(_getdrive(), 3);
}

}  // namespace
