// The Windows platform functions against the real system: the 32-bit registry view, the text
// conversion at the A calls, the entry probe, the current drive and folder, and the program
// start with a path that holds blanks.
#include "platform/Platform.h"

#include <direct.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "platform/Error.h"

namespace {

using namespace platform;
using namespace std::string_literals;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
namespace fs = testing_support::fs;

constexpr char kTestKey[] = "Software\\Kestrun Tests\\Gunship!";

// True when the ANSI code page holds 'é' as one byte, as Western code pages do.
bool ansiHasEAcute() {
  BOOL lossy = FALSE;
  char byte[4] = {};
  return WideCharToMultiByte(CP_ACP, 0, L"\u00e9", 1, byte, 4, nullptr, &lossy) == 1 && !lossy;
}

// True where the registry has a 64-bit view beside the 32-bit one; a 32-bit Windows has one view,
// which both view flags name.
bool twoRegistryViews() {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  return sizeof(void*) == 8 || wow64 != FALSE;
}

// The 32-bit view holds the game's entry; the 64-bit view, where there is one, a decoy of the
// same name.
class RegistryView : public ::testing::Test {
 protected:
  void SetUp() override {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      if (view == KEY_WOW64_64KEY && !twoRegistryViews()) continue;
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0, KEY_WRITE | view,
                                nullptr, &key, nullptr),
                ERROR_SUCCESS);
      const std::string path = view == KEY_WOW64_32KEY ? "C:\\Games\\Gunship!" : "C:\\64-bit";
      RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                     static_cast<DWORD>(path.size() + 1));
      // Written without its terminating NUL, as some installers do.
      RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("  C:\\Bare  "), 11);
      RegSetValueExW(key, L"Accented", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(L"C:\\Jeux\\\u00e9t\u00e9"), 12 * 2);
      RegCloseKey(key);
    }
  }
  void TearDown() override {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kTestKey, view, 0);
      RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kestrun Tests", view, 0);
    }
  }
};

TEST_F(RegistryView, ReadsThe32BitViewAsTheSystemStoresItAndCopiesOnlyWhatFits) {
  HKEY raw = nullptr;  // the system's own answer for data stored without its NUL
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ | KEY_WOW64_32KEY, &raw);
  char direct[255];
  DWORD directSize = sizeof direct;
  RegQueryValueExA(raw, "Bare", nullptr, nullptr, reinterpret_cast<BYTE*>(direct), &directSize);
  RegCloseKey(raw);
  const struct {
    const char* name;
    std::uint32_t size;
    std::int32_t status;
    std::uint32_t sizeAfter;  // counted in the ANSI code page
    std::string data;         // the buffer's start afterwards; '#' fills the rest
  } cases[] = {{"Path", 255, kErrorSuccess, 18, "C:\\Games\\Gunship!\0"s},
               {"Path", 17, kErrorMoreData, 18, ""},
               {"Missing", 255, kErrorFileNotFound, 255, ""},
               // Stored without its NUL: the system's own answer (Wine counts the NUL it adds).
               {"Bare", 255, kErrorSuccess, static_cast<std::uint32_t>(directSize),
                std::string(direct, directSize)},
               {"Accented", 255, kErrorSuccess, 12, "C:\\Jeux\\\xC3\xA9t\xC3\xA9\0"s}};
  for (const auto& c : cases) {
    if (c.name == "Accented"s && !ansiHasEAcute()) continue;
    RegKey key = 0;
    ASSERT_EQ(regOpenKeyEx(0x80000002u, kTestKey, 0, kKeyRead, &key), kErrorSuccess);
    std::string data(c.size * kTextBytesPerAnsiByte, '#');
    std::uint32_t size = c.size;
    auto* bytes = reinterpret_cast<std::uint8_t*>(data.data());
    EXPECT_EQ(regQueryValueEx(key, c.name, nullptr, nullptr, bytes, &size), c.status) << c.name;
    EXPECT_EQ(size, c.sizeAfter) << c.name;
    EXPECT_EQ(data.substr(0, c.data.size()), c.data) << c.name;
    EXPECT_EQ(data.find_first_not_of('#', c.data.size()), std::string::npos) << c.name;
    EXPECT_EQ(regCloseKey(key), kErrorSuccess);
    EXPECT_EQ(regCloseKey(key), kErrorInvalidHandle) << "closed twice";
  }
  RegKey key = 0;
  EXPECT_EQ(regOpenKeyEx(0x12345u, "Software", 0, kKeyRead, &key), kErrorInvalidHandle);
}

TEST(ProfileText, ProgramTextReachesTheFileInTheAnsiCodePageAndComesBack) {
  if (!ansiHasEAcute()) GTEST_SKIP() << "the ANSI code page has no single-byte \u00e9";
  TempDir dir;
  const std::string file = dir.programPath("custom.ini");
  ASSERT_NE(writePrivateProfileString("custom", "Helo", "Caf\xC3\xA9", file.c_str()), 0);
  EXPECT_NE(readFile(dir.path() / "custom.ini").find("Helo=Caf\xE9"), std::string::npos);
  char buffer[1024];
  EXPECT_EQ(getPrivateProfileString("custom", "Helo", "", buffer, 1024, file.c_str()), 5u);
  EXPECT_STREQ(buffer, "Caf\xC3\xA9");

  // 1023 ANSI bytes grow to 2046 in UTF-8: the cut keeps whole characters within the buffer.
  writeFile(dir.path() / "custom.ini", "[custom]\r\nHelo=" + std::string(1100, '\xE9') + "\r\n");
  EXPECT_EQ(getPrivateProfileString("custom", "Helo", "", buffer, 1024, file.c_str()), 1022u);
  std::string expected;
  for (int i = 0; i < 511; ++i) expected += "\xC3\xA9";
  EXPECT_EQ(std::string(buffer), expected);
}

TEST(EntryProbe, FindsOneVisibleEntryByNameAndNeverSearches) {
  TempDir dir;
  for (const auto& [name, attributes] : {std::pair{"GunShip.EXE", FILE_ATTRIBUTE_NORMAL},
                                         {"hidden.exe", FILE_ATTRIBUTE_HIDDEN},
                                         {"system.exe", FILE_ATTRIBUTE_SYSTEM},
                                         {"readonly.exe", FILE_ATTRIBUTE_READONLY}}) {
    writeFile(dir.path() / name, "MZ");
    SetFileAttributesA(dir.programPath(name).c_str(), attributes);
  }
  fs::create_directory(dir.path() / "Gunship!");
  // Each name with the mask it is probed with, and what the probe finds ("" for nothing).
  for (const auto& [name, mask, found] : {std::tuple{"gunship.exe", kAttrNormal, "GunShip.EXE"},
                                          {"readonly.exe", kAttrNormal, "readonly.exe"},
                                          {"hidden.exe", kAttrDirectory, ""},
                                          {"system.exe", kAttrDirectory, ""},
                                          {"Gunship!", kAttrNormal, ""},
                                          {"gunship!", kAttrDirectory, "Gunship!"},
                                          {"g*.exe", kAttrNormal, ""},
                                          {"gunship.ex?", kAttrNormal, ""},
                                          {"gunship<exe", kAttrNormal, ""}})
    EXPECT_EQ(probeEntry(dir.programPath(name), mask), found) << name;
  EXPECT_EQ(probeEntry("", kAttrDirectory), "");
  SetFileAttributesA(dir.programPath("readonly.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Puts back the current folder and the probe's log setting.
class Launch : public ::testing::Test {
 protected:
  Launch() { GetCurrentDirectoryA(MAX_PATH, previous); }
  ~Launch() override {
    SetCurrentDirectoryA(previous);
    SetEnvironmentVariableA("KESTRUN_PROBE_LOG", nullptr);
  }
  char previous[MAX_PATH] = {};
  TempDir dir;
};

// The probe logs its own path and its current folder: the game, and nothing else, must start in
// the current folder, whether named in full or relative to that folder.
TEST_F(Launch, AProgramInAFolderWithABlankStartsItselfNotTheDecoyOfItsFirstWord) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const fs::path probe = fs::path(self).parent_path() / "kestrun_probe.exe";
  fs::create_directory(dir.path() / "with blank");
  fs::copy_file(probe, dir.path() / "with blank" / "gunship.exe");
  fs::copy_file(probe, dir.path() / "with.exe");  // what an unquoted "with blank\..." runs
  const fs::path log = dir.path() / "started.log";
  SetEnvironmentVariableA("KESTRUN_PROBE_LOG", log.string().c_str());
  auto logOnceItHolds = [&log](long lines) {
    std::string text;
    for (int tries = 0; tries < 200 && std::count(text.begin(), text.end(), '\n') < lines;
         ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (std::error_code ec; fs::exists(log, ec)) text = readFile(log);
    }
    return text;
  };

  const std::string folder = dir.programPath("with blank"), game = folder + "\\gunship.exe";
  changeDrive(folder);
  changeDirectory(folder);
  EXPECT_NE(startProgram(game, kNormalFocus), 0);
  EXPECT_EQ(logOnceItHolds(2), game + "\n" + folder + "\n");
  changeDirectory(dir.programPath());
  EXPECT_NE(startProgram("with blank\\gunship.exe", kNormalFocus), 0);
  EXPECT_EQ(logOnceItHolds(4),
            game + "\n" + folder + "\n" + game + "\n" + dir.programPath() + "\n");
}

TEST_F(Launch, FailuresRaiseOrYieldNoTaskAndLeaveTheDriveAlone) {
  EXPECT_THROW(startProgram(dir.programPath("gone.exe"), kNormalFocus), Error);
  writeFile(dir.path() / "notes.exe", "this is no program");
  EXPECT_EQ(startProgram(dir.programPath("notes.exe"), kNormalFocus), 0);
  EXPECT_THROW(changeDirectory(dir.programPath("No Such Folder")), Error);

  // The first free letter from the end of the alphabet is a drive that does not exist.
  const DWORD drives = GetLogicalDrives();
  char missing = 'Y';
  while (missing > 'D' && (drives & (1u << (missing - 'A'))) != 0) --missing;
  const int before = _getdrive();
  try {
    changeDrive(std::string(1, static_cast<char>(missing + 'a' - 'A')) + ":\\Gunship!");
    ADD_FAILURE() << "changed to a drive that does not exist";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(std::string(1, missing) + ":"), std::string::npos);
  }
  EXPECT_EQ(_getdrive(), before);
  EXPECT_THROW(changeDrive("\\Gunship!"), Error);
  EXPECT_NO_THROW(changeDrive(""));
  changeDrive("c:\\Gunship!");
  EXPECT_EQ(_getdrive(), 3);
}

}  // namespace
