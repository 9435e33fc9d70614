// The registry functions over a prefix's text hives, driven through the same calls the program
// makes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/Platform.h"
#include "platform/posix/registry/Hive.h"
#include "posix/WinePrefix.h"

namespace {

using namespace platform;
using namespace std::string_literals;
using platform::posix::hive::kMaxLine;
using testing_support::hive;
using testing_support::utf16Hex;
using testing_support::WinePrefix;

constexpr RegKey kHkcr = 0x80000000, kHkcu = 0x80000001, kHklm = 0x80000002, kHku = 0x80000003,
                 kHkPerf = 0x80000004, kHkcc = 0x80000005;
const char* const kGameKey = "Software\\Hasbro Interactive\\Gunship!";

// Opens, queries with a size of `capacity` into a buffer pre-filled with '#' that has room for
// that much program text, closes.
struct Read {
  std::int32_t open = -1, query = -1;
  std::uint32_t type = 0xDEAD, size = 0;
  std::string buffer;
  std::string data() const { return buffer.substr(0, std::min<std::size_t>(size, buffer.size())); }
  // What the query wrote: the bytes before the first '#' (no data below holds one).
  std::string written() const { return buffer.substr(0, buffer.find('#')); }
};

// The excerpt of a real system.reg that Wine 8 wrote on a win64 prefix.
std::string excerpt() {
  return testing_support::readFile(std::filesystem::path(__FILE__).parent_path().parent_path() /
                                   "fixtures/wine8-win64-system-excerpt.reg");
}

Read read(RegKey root, const char* subKey, const char* value, std::uint32_t capacity = 255) {
  Read r;
  RegKey key = 0;
  r.open = regOpenKeyEx(root, subKey, 0, kKeyRead, &key);
  if (r.open != kErrorSuccess) return r;
  r.buffer.assign(capacity * kTextBytesPerAnsiByte, '#');
  r.size = capacity;
  r.query = regQueryValueEx(key, value, nullptr, &r.type,
                            reinterpret_cast<std::uint8_t*>(r.buffer.data()), &r.size);
  EXPECT_EQ(regCloseKey(key), kErrorSuccess);
  return r;
}

TEST(Registry, ReadsAWine8HiveInThe32BitView) {
  WinePrefix prefix;
  prefix.writeHive("system.reg", excerpt());
  auto path = read(kHklm, "Software\\Hasbro Interactive\\Gunship!", "Path");
  EXPECT_EQ(path.query, kErrorSuccess);
  EXPECT_EQ(path.type, 1u);
  EXPECT_EQ(path.data(), "C:\\Gunship!\0"s);
  EXPECT_EQ(read(kHklm, "SOFTWARE\\hasbro interactive\\GUNSHIP!", "pATH").data(), path.data());
  EXPECT_EQ(read(kHklm, "Software\\Wow6432Node\\Hasbro Interactive\\Gunship!", "Path").data(),
            path.data());
  // The 64-bit key exists, but a 32-bit reader of a win64 prefix never falls back to it.
  EXPECT_EQ(read(kHklm, "Software\\Borland\\Database Engine\\Settings\\SYSTEM\\INIT", "").open,
            kErrorFileNotFound);
  const char* instance =
      "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\"
      "{1B544C20-FD0B-11CE-8C63-00AA0044B51E}";
  EXPECT_EQ(read(kHkcr, instance, "FriendlyName").data(), "AVI Splitter\0"s);
  auto filter = read(kHkcr, instance, "FilterData", 1024);
  EXPECT_EQ(filter.type, 3u);
  ASSERT_EQ(filter.size, 160u);
  EXPECT_EQ(filter.data().substr(0, 4), "\x02\0\0\0"s);
  EXPECT_EQ(filter.data().substr(filter.size - 3), std::string(3, '\0'));
  EXPECT_EQ(filter.buffer[filter.size], '#');  // binary data gets no NUL after it
}

// Sizes count the ANSI code page's bytes (cp1252: one a UTF-16 unit); the text comes as UTF-8.
TEST(Registry, FollowsTheWindowsSizeContract) {
  const std::string s254(254, 'a'), s255(255, 'b'), a253(253, 'a'), eAcute = "\xc3\xa9";
  const struct {
    const char* value;
    std::string stored;  // its text in the hive; empty: none
    std::int32_t status;
    std::uint32_t size;
    std::string buffer;  // the buffer's start afterwards; '#' fills the rest
  } cases[] = {
      {"s254", '"' + s254 + '"', 0, 255, s254 + '\0'},
      {"s255", '"' + s255 + '"', kErrorMoreData, 256, ""},
      {"raw255", "hex(1):" + utf16Hex(s255), 0, 255, s255},
      {"raw256", "hex(1):" + utf16Hex(s255 + 'c'), kErrorMoreData, 256, ""},
      {"rawShort", "hex(1):" + utf16Hex("C:"), 0, 2, "C:\0"s},
      {"odd", "hex(1):43,00,3a", 0, 1, "C\0"s},
      {"empty", "\"\"", 0, 1, "\0"s},
      {"missing", "", kErrorFileNotFound, 255, ""},
      {"e253", '"' + a253 + "\\xe9\"", 0, 255, a253 + eAcute + '\0'},  // 256 bytes of UTF-8
      {"e254", '"' + s254 + "\\xe9\"", kErrorMoreData, 256, ""},
      {"rawE255", "hex(1):" + utf16Hex(s254) + ",e9,00", 0, 255, s254 + eAcute},  // no NUL
      {"grin", '"' + a253 + "\\xd83d\\xde00\"", kErrorMoreData, 256, ""},         // "??" in cp1252
  };
  std::string key = "[K] 0\n";
  for (const auto& c : cases)
    if (!c.stored.empty()) key += '"' + std::string(c.value) + "\"=" + c.stored + "\n";
  WinePrefix prefix;
  prefix.writeHive("system.reg", hive(key));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    auto r = read(kHklm, "K", c.value);
    EXPECT_EQ(r.query, c.status);
    EXPECT_EQ(r.size, c.size);
    EXPECT_EQ(r.buffer.substr(0, c.buffer.size()), c.buffer);
    EXPECT_EQ(r.buffer.find_first_not_of('#', c.buffer.size()), std::string::npos);
  }
}

TEST(Registry, DecodesEscapesAndTypes) {
  WinePrefix prefix;
  prefix.writeHive("system.reg", hive("[K] 0\n@=\"default\"\n"
                                      "\"esc\"=\"a\\\\b\\\"c\\q\\[\\e\\t\\101\\0z\"\n"
                                      "\"latin\"=\"Caf\\xe9 \\x20ac\\xg\"\n"
                                      "\"astral\"=\"\\xd83d\\xde00\"\n\"lone\"=\"\\xd83d!\"\n"
                                      "\"dword\"=dword:0000002a\n"
                                      "\"qword\"=hex(b):01,02,03,04,05,06,07,08\n"
                                      "\"device\"=hex(ffff0007):aa\n"
                                      "\"expand\"=str(2):\"%PATH%\"\n"
                                      "\"multi\"=str(7):\"a\\0b\\0\"\n"
                                      "\"long\"=hex:01,02,\\\r\n  03,\\\n  04\n\"blank\"=hex:\n"
                                      "\"Quote\\\"Name\"=\"q\"\n"
                                      "\"dup\"=\"first\"\n\"DUP\"=\"second\"\n"));
  const struct {
    const char* value;
    std::uint32_t type;
    std::string data;
  } cases[] = {
      {"", 1, "default\0"s},
      {nullptr, 1, "default\0"s},
      {"esc", 1, "a\\b\"cq[\x1b\tA\0z\0"s},
      {"latin", 1, "Caf\xc3\xa9 \xe2\x82\xacxg\0"s},
      {"astral", 1, "\xf0\x9f\x98\x80\0"s},
      {"lone", 1, "\xef\xbf\xbd!\0"s},
      {"dword", 4, "\x2a\0\0\0"s},
      {"qword", 0xb, "\x01\x02\x03\x04\x05\x06\x07\x08"},
      {"device", 0xffff0007, "\xaa"},
      {"expand", 2, "%PATH%\0"s},
      {"multi", 7, "a\0b\0\0"s},
      {"long", 3, "\x01\x02\x03\x04"},
      {"blank", 3, ""},
      {"quote\"name", 1, "q\0"s},
      {"dup", 1, "second\0"s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(null)");
    auto r = read(kHklm, "k", c.value);
    EXPECT_EQ(r.query, kErrorSuccess);
    EXPECT_EQ(r.type, c.type);
    EXPECT_EQ(r.written(), c.data);
  }
}

TEST(Registry, RootsPathsAndCaseFolding) {
  WinePrefix prefix;
  prefix.writeHive(
      "system.reg",
      hive("[A\\\\B\\\\C] 0\n\"v\"=\"abc\"\n[Caf\\xe9\\\\\\x0436] 0\n\"v\"=\"folded\"\n"
           "[Odd\\[1\\]] 0\n\"v\"=\"brackets\"\n"
           "[Software\\\\Classes\\\\.txt] 0\n@=\"txtfile\"\n"
           "[System\\\\CurrentControlSet] 0\n#link\n\"SymbolicLinkValue\"=hex(6):" +
           utf16Hex("\\Registry\\Machine\\System\\ControlSet001") +
           "\n[System\\\\ControlSet001\\\\Hardware Profiles\\\\Current] 0\n"
           "\"v\"=\"config\"\n"
           // Sorted key lines where one ends in an escape that another goes on with.
           "[\\x5] 0\n[\\x53oftware\\\\Esc] 0\n\"v\"=\"hex escape\"\n"
           "[\\12] 0\n[\\123ystem\\\\Esc] 0\n\"v\"=\"octal escape\"\n"));
  prefix.writeHive("user.reg", hive("[Console] 0\n\"v\"=\"user\"\n"));
  prefix.writeHive("userdef.reg", hive("[Console] 0\n\"v\"=\"default user\"\n"));
  const struct {
    RegKey root;
    const char* subKey;
    std::int32_t open;
    const char* text;  // the value v, or nullptr when there is none to read
  } cases[] = {
      {kHklm, "A\\B\\C", 0, "abc"},
      {kHklm, "A\\\\B\\C\\", 0, "abc"},  // doubled and trailing separators
      {kHklm, "A\\B", 0, nullptr},       // implied by a longer path
      {kHklm, "", 0, nullptr},
      {kHklm, "\\A\\B\\C", kErrorBadPathname, nullptr},
      {kHkcu, "\\console", kErrorBadPathname, nullptr},
      {kHklm, "A\\X", kErrorFileNotFound, nullptr},
      {kHklm, "CAF\xc3\x89\\\xd0\x96", 0, "folded"},  // Latin-1 and Cyrillic letters
      {kHklm, "odd[1]", 0, "brackets"},
      {kHkcr, ".TXT", 0, nullptr},
      {kHkcr, "\\.txt", 0, nullptr},  // one leading backslash skipped under this root alone
      {kHkcr, "\\\\.txt", kErrorBadPathname, nullptr},
      {kHkcu, "console", 0, "user"},
      {kHku, ".default\\Console", 0, "default user"},
      {kHku, "s-1-5-21-0-0-0-1000\\Console", 0, "user"},  // the prefix's user is user.reg
      {kHku, "S-1-5-21-0-0-0-1001\\Console", kErrorFileNotFound, nullptr},
      {kHku, "\\.default\\Console", kErrorBadPathname, nullptr},
      {kHkcc, "", 0, "config"},
      {kHklm, "Software\\Esc", 0, "hex escape"},  // \x53 after \x5
      {kHklm, "System\\Esc", 0, "octal escape"},  // \123 after \12
      {kHkPerf, "x", kErrorFileNotFound, nullptr},
      {0x12345, "", kErrorInvalidHandle, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.subKey);
    auto r = read(c.root, c.subKey, "v");
    EXPECT_EQ(r.open, c.open);
    if (c.open == kErrorSuccess) {
      EXPECT_EQ(r.query, c.text ? kErrorSuccess : kErrorFileNotFound);
    }
    if (c.text) {
      EXPECT_EQ(r.data(), c.text + "\0"s);
    }
  }
  EXPECT_EQ(read(kHkcr, ".TXT", "").data(), "txtfile\0"s);
}

// A 32-bit program on a win64 prefix sees Wow6432Node, follows links, and shares the keys of
// Classes that Classes\Wow6432Node lacks.
TEST(Registry, Win64PrefixShowsThe32BitViewFollowsLinksAndSharesClasses) {
  const auto link = [](const char* target) {
    return "#link\n\"SymbolicLinkValue\"=hex(6):" + utf16Hex(target) + "\n";
  };
  const std::string body =
      "[Software\\\\Game] 0\n\"v\"=\"64\"\n[Software\\\\Only64] 0\n\"v\"=\"64\"\n"
      "[Software\\\\Wow6432Node\\\\Game] 0\n\"v\"=\"32\"\n[Software] 0\n\"w\"=\"64\"\n"
      "[Software\\\\Wow6432Node] 0\n\"w\"=\"32\"\n[Software\\\\Policies\\\\P] 0\n"
      "\"v\"=\"policy\"\n[Software\\\\Wow6432Node\\\\Policies] 0\n" +
      link("\\REGISTRY\\machine\\SOFTWARE\\policies") + "[Software\\\\Wow6432Node\\\\Loop1] 0\n" +
      link("\\Registry\\Machine\\Software\\Loop2") + "[Software\\\\Loop2] 0\n" +
      link("\\Registry\\Machine\\Software\\Wow6432Node\\Loop1") +
      "[Software\\\\Wow6432Node\\\\Dangling] 0\n" + link("\\Registry\\Machine\\Nowhere") +
      "[Software\\\\Wow6432Node\\\\NoTarget] 0\n#link\n"
      "[Software\\\\Classes\\\\CLSID\\\\{64}] 0\n@=\"64\"\n"
      "[Software\\\\Classes\\\\GunshipFile] 0\n@=\"shared\"\n"
      "[Software\\\\Classes\\\\Wow6432Node\\\\CLSID\\\\{32}] 0\n@=\"32\"\n"
      "[Software\\\\Classes\\\\Wow6432Node\\\\Both] 0\n@=\"32\"\n"
      "[Software\\\\Classes\\\\Both] 0\n@=\"64\"\n[Software\\\\Other] 0\n@=\"64\"\n"
      "[Software\\\\Wow6432Node\\\\Classes] 0\n" +
      link("\\Registry\\Machine\\Software\\Classes\\Wow6432Node");
  WinePrefix prefix;
  prefix.writeHive("system.reg", hive(body, "win64"));
  const struct {
    RegKey root;
    const char *subKey, *value;
    const char* text;  // nullptr when the key cannot be opened
  } cases[] = {
      {kHklm, "Software\\Game", "v", "32"},
      {kHklm, "Software\\Wow6432Node\\Game", "v", "32"},
      {kHklm, "Software", "w", "32"},
      {kHklm, "Software\\Policies\\P", "v", "policy"},
      {kHklm, "Software\\Only64", "v", nullptr},
      {kHklm, "Software\\Loop1", "v", nullptr},
      {kHklm, "Software\\Dangling", "v", nullptr},
      {kHklm, "Software\\NoTarget", "v", nullptr},
      {kHkcr, "GunshipFile", "", "shared"},
      {kHklm, "Software\\Classes\\GunshipFile", "", "shared"},  // through the link
      {kHkcr, "\\GunshipFile", "", "shared"},
      {kHkcr, "Both", "", "32"},
      {kHklm, "Software\\Classes\\Both", "", "32"},
      {kHkcr, "CLSID\\{32}", "", "32"},
      {kHkcr, "CLSID\\{64}", "", nullptr},  // CLSID has its 32-bit counterpart: no sharing below
      {kHklm, "Software\\Classes\\CLSID\\{64}", "", nullptr},
      {kHklm, "Software\\Other", "", nullptr},  // outside Classes, no fallback
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.subKey);
    auto r = read(c.root, c.subKey, c.value);
    EXPECT_EQ(r.open, c.text ? kErrorSuccess : kErrorFileNotFound);
    if (c.text) {
      EXPECT_EQ(r.data(), c.text + "\0"s);
    }
  }
  // The same keys in a win32 prefix: no redirection, the plain path is the one.
  WinePrefix win32;
  win32.writeHive("system.reg", hive(body, "win32"));
  EXPECT_EQ(read(kHklm, "Software\\Game", "v").data(), "64\0"s);
}

// The prefix's user is the SID that user.reg's header names.
TEST(Registry, UsersHoldsTheSidOfUserReg) {
  WinePrefix prefix;
  prefix.writeHive(
      "user.reg",
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-7\n"
      "\n#arch=win64\n\n[Console] 0\n\"v\"=\"user\"\n");
  EXPECT_EQ(read(kHku, "S-1-5-21-7\\Console", "v").data(), "user\0"s);
  EXPECT_EQ(read(kHku, "S-1-5-21-0-0-0-1000\\Console", "v").open, kErrorFileNotFound);
}

TEST(Registry, HandlesAreTrackedAndNeverRoots) {
  WinePrefix prefix;
  prefix.writeHive("system.reg", hive("[K] 0\n\"v\"=\"x\"\n"));
  RegKey first = 0, second = 0;
  ASSERT_EQ(regOpenKeyEx(kHklm, "K", 0, kKeyRead, &first), kErrorSuccess);
  ASSERT_EQ(regOpenKeyEx(first, "", 0, kKeyRead, &second), kErrorSuccess);
  EXPECT_NE(first, second);
  EXPECT_LT(std::max(first, second), 0x80000000u);
  EXPECT_EQ(regCloseKey(first), kErrorSuccess);
  EXPECT_EQ(regCloseKey(first), kErrorInvalidHandle);
  std::uint32_t size = 8;
  std::uint8_t data[8];
  EXPECT_EQ(regQueryValueEx(first, "v", nullptr, nullptr, data, &size), kErrorInvalidHandle);
  EXPECT_EQ(regQueryValueEx(second, "v", nullptr, nullptr, data, &size), kErrorSuccess);
  EXPECT_EQ(regCloseKey(second), kErrorSuccess);
  EXPECT_EQ(regCloseKey(0x7777), kErrorInvalidHandle);
}

TEST(Registry, MissingAndChangedHives) {
  {
    WinePrefix prefix;
    EXPECT_EQ(read(kHklm, "", "v").open, kErrorFileNotFound);  // no system.reg yet
    prefix.writeHive("system.reg", hive("[K] 0\n\"v\"=\"old\"\n"));
    EXPECT_EQ(read(kHklm, "K", "v").data(), "old\0"s);
    prefix.writeHive("system.reg", hive("[K] 0\n\"v\"=\"newer\"\n"));
    EXPECT_EQ(read(kHklm, "K", "v").data(), "newer\0"s);
  }
  testing_support::TempDir dir;
  testing_support::writeFile(dir.path() / "file", "not a folder");
  for (const char* prefix : {"gone", "file"}) {
    testing_support::ScopedEnv env("WINEPREFIX", (dir.path() / prefix).string());
    EXPECT_EQ(read(kHklm, "", "v").open, kErrorFileNotFound) << prefix;
  }
}

// A key opened before its hive changed reads the hive as it is at the query.
TEST(Registry, AKeyOpenedBeforeItsHiveChangedReadsTheNewHive) {
  const struct {
    const char* what;
    std::string after;  // system.reg at the query; empty: none
    const char* text;   // K's value v then, or nullptr when there is none
  } cases[] = {
      {"moved behind another key", hive("[A] 0\n\"v\"=\"a\"\n[K] 0\n\"v\"=\"moved\"\n"), "moved"},
      {"rewritten to the same size", hive("[K] 0\n\"v\"=\"neW\"\n"), "neW"},
      {"a second section", hive("[K] 0\n\"v\"=\"old\"\n[L] 0\n[K] 0\n\"v\"=\"2nd\"\n"), "2nd"},
      {"gone", hive("[L] 0\n\"v\"=\"old\"\n"), nullptr},
      {"only implied", hive("[K\\\\Sub] 0\n\"v\"=\"old\"\n"), nullptr},
      {"no hive", "", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WinePrefix prefix;
    prefix.writeHive("system.reg", hive("[K] 0\n\"v\"=\"old\"\n"));
    RegKey key = 0;
    ASSERT_EQ(regOpenKeyEx(kHklm, "K", 0, kKeyRead, &key), kErrorSuccess);
    if (c.after.empty())
      std::filesystem::remove(prefix.root() / "system.reg");
    else
      prefix.writeHive("system.reg", c.after);
    char data[16] = {};
    std::uint32_t size = sizeof data;
    const auto status =
        regQueryValueEx(key, "v", nullptr, nullptr, reinterpret_cast<std::uint8_t*>(data), &size);
    EXPECT_EQ(status, c.text ? kErrorSuccess : kErrorFileNotFound);
    if (c.text) {
      EXPECT_STREQ(data, c.text);
    }
    EXPECT_EQ(regCloseKey(key), kErrorSuccess);
  }
}

// Damage costs the key or value it hits, never the rest of the hive, and never a crash.
TEST(Registry, DamagedHives) {
  const std::string big(10 << 20, 'x');
  // hex: data of `bytes` bytes over lines of 25, as Wine wraps long lists.
  const auto hexLines = [](std::size_t bytes) {
    std::string text = "hex:";
    for (std::size_t i = 0; i < bytes; ++i) text += i % 25 == 24 ? "01,\\\n  " : "01,";
    text.pop_back();
    return text;
  };
  const std::string atBound(kMaxLine - 6, 'x');  // "v"="..." of kMaxLine bytes
  const std::string pastBound = atBound + 'x';
  const struct {
    const char* what;
    std::string text;
    std::int32_t open, query;  // of K's value v
    bool restRead = true;      // whether the key Good behind it is still read
  } cases[] = {
      {"no header", "[K] 0\n\"v\"=\"x\"\n", kErrorFileNotFound, 0},
      {"header with a blank", "WINE REGISTRY Version 2 \n[K] 0\n", kErrorFileNotFound, 0},
      {"binary junk", "\x00\xff\x1b[\\\"\n\x80"s, kErrorFileNotFound, 0},
      {"CRLF", "WINE REGISTRY Version 2\r\n[K] 0\r\n\"v\"=\"x\"\r\n", 0, 0},
      {"truncated string", hive("[K] 0\n\"v\"=\"C:\\\\Gun"), 0, kErrorFileNotFound},
      {"truncated escape", hive("[K] 0\n\"v\"=\"C:\\"), 0, kErrorFileNotFound},
      {"truncated continuation", hive("[K] 0\n\"v\"=hex:01,\\"), 0, kErrorFileNotFound},
      {"unterminated key", hive("[K] 0\n[K\\\\Sub\n\"v\"=\"x\""), 0, kErrorFileNotFound},
      {"bad hex", hive("[K] 0\n\"v\"=hex:01,zz\n"), 0, kErrorFileNotFound},
      {"unknown form", hive("[K] 0\n\"v\"=foo:12\n"), 0, kErrorFileNotFound},
      {"dword too long", hive("[K] 0\n\"v\"=dword:123456789\n"), 0, kErrorFileNotFound},
      {"no equals", hive("[K] 0\n\"v\" \"x\"\n"), 0, kErrorFileNotFound},
      {"a line of the bound", hive("[K] 0\n\"v\"=\"" + atBound + "\"\n"), 0, kErrorMoreData},
      {"a line one past the bound ends the hive", hive("[K] 0\n\"v\"=\"" + pastBound + "\"\n"), 0,
       kErrorFileNotFound, false},
      {"a longer line ends the hive", hive("[K] 0\n\"v\"=\"" + big + "\"\n"), 0, kErrorFileNotFound,
       false},
      {"hex data past the bound", hive("[K] 0\n\"v\"=" + hexLines(kMaxLine + 1) + "\n"), 0,
       kErrorFileNotFound},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WinePrefix prefix;
    prefix.writeHive("system.reg", c.text + "\n[Good] 0\n\"v\"=\"ok\"\n");
    auto r = read(kHklm, "K", "v");
    EXPECT_EQ(r.open, c.open);
    if (c.open != kErrorSuccess) continue;
    EXPECT_EQ(r.query, c.query);
    EXPECT_EQ(read(kHklm, "Good", "v").open, c.restRead ? kErrorSuccess : kErrorFileNotFound);
  }
  WinePrefix prefix;
  prefix.writeHive("system.reg", hive("[K] 0\n\"w\"=" + hexLines(kMaxLine) + "\n"));
  std::uint32_t size = 0;
  RegKey key = 0;
  ASSERT_EQ(regOpenKeyEx(kHklm, "K", 0, kKeyRead, &key), kErrorSuccess);
  EXPECT_EQ(regQueryValueEx(key, "w", nullptr, nullptr, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, kMaxLine);
  regCloseKey(key);
}

// A hive over the bound is read as empty without reading it: no key, no memory, and standard
// error says so once. The file is sparse: 3 GB of zeros behind the game's key.
TEST(Registry, HivesOverTheBoundReadAsEmpty) {
  WinePrefix prefix;
  const auto system = prefix.root() / "system.reg";
  prefix.writeHive("system.reg", hive("[Software\\\\Hasbro Interactive\\\\Gunship!] 0\n"
                                      "\"Path\"=\"C:\\\\Gunship!\"\n"));
  ASSERT_EQ(::truncate(system.c_str(), 3LL << 30), 0);
  const auto said = prefix.root() / "stderr";
  // The reader is a child of its own, so its peak memory and its standard error are its own.
  const pid_t child = fork();
  if (child == 0) {
    ::dup2(::open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const bool empty = read(kHklm, kGameKey, "Path").open == kErrorFileNotFound &&
                       read(kHklm, "", "").open == kErrorFileNotFound;
    getrusage(RUSAGE_SELF, &after);
    _exit(empty && after.ru_maxrss - before.ru_maxrss < 16 * 1024 ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  const std::string told =
      "kestrun: " + system.string() + ": registry file larger than 256 MiB, read as empty\n";
  const std::string stderrText = testing_support::readFile(said);
  EXPECT_NE(stderrText.find(told), std::string::npos) << stderrText;
  EXPECT_EQ(stderrText.find("larger than"), stderrText.rfind("larger than")) << stderrText;
}

// The excerpt's keys behind `filler`: what the start-up reads must still come out of it.
std::string excerptAfter(const std::string& filler) {
  const std::string text = excerpt();
  const auto firstKey = text.find("\n[");
  return text.substr(0, firstKey + 1) + filler + text.substr(firstKey + 1);
}

// Keys nested deeper than Windows allows cannot be opened; the keys above them can.
TEST(Registry, DeepKeysStopAtWindowsDepth) {
  std::string deep = "[";
  for (int i = 0; i < 250000; ++i) deep += "D\\\\";
  deep += "End] 1796656859\n\"v\"=\"deep\"\n\n";
  WinePrefix prefix;
  prefix.writeHive("system.reg", excerptAfter(deep));
  std::string path = "D";
  for (int i = 1; i < 512; ++i) path += "\\D";
  EXPECT_EQ(read(kHklm, path.c_str(), "v").open, kErrorSuccess);  // 512 levels, implied
  EXPECT_EQ(read(kHklm, (path + "\\D").c_str(), "v").open, kErrorFileNotFound);
  EXPECT_EQ(read(kHklm, kGameKey, "Path").data(), "C:\\Gunship!\0"s);
}

// A hive of 38 MB of empty keys costs its bytes, read once, and no more: no tree of its keys.
TEST(Registry, HugeHivesCostTheirBytesAlone) {
  WinePrefix prefix;
  // The reader is forked before the hive is built: its peak memory is the parent's peak at the
  // fork and what the reading adds.
  rusage atFork{};
  getrusage(RUSAGE_SELF, &atFork);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    ::close(ready[1]);  // so that a parent that ends early ends the wait too
    char go = 0;
    const bool ok = ::read(ready[0], &go, 1) == 1 &&
                    read(kHklm, kGameKey, "Path").data() == "C:\\Gunship!\0"s &&
                    read(kHkcr, "CLSID\\{77-70DE-11D0-BD40-00A0C911CE86}", "").open == 0 &&
                    read(kHkcr, "CLSID\\{77}", "").open == kErrorFileNotFound;
    _exit(ok ? 0 : 1);
  }
  std::string filler;
  for (int i = 0; filler.size() < (38u << 20); ++i)
    filler += "[Software\\\\Classes\\\\CLSID\\\\{" + std::to_string(i) +
              "-70DE-11D0-BD40-00A0C911CE86}\\\\Instance] 1796656859\n#time=1dd865e905ab5b4\n\n";
  prefix.writeHive("system.reg", excerptAfter(filler));
  const auto hiveKiB =
      static_cast<long>(std::filesystem::file_size(prefix.root() / "system.reg") >> 10);
  EXPECT_EQ(::write(ready[1], "!", 1), 1);
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  rusage children{};
  getrusage(RUSAGE_CHILDREN, &children);
  EXPECT_LT(children.ru_maxrss - atFork.ru_maxrss, hiveKiB + 8 * 1024)
      << "KiB above the peak at the fork";
}

// Hives that are no regular file, or change while they are read: never a hang or a crash.
TEST(Registry, HivesThatAreNoFilesOrChangeWhileRead) {
  WinePrefix prefix;
  const auto system = prefix.root() / "system.reg";
  ASSERT_EQ(mkfifo(system.c_str(), 0600), 0);
  EXPECT_EQ(read(kHklm, kGameKey, "Path").open, kErrorFileNotFound);
  std::filesystem::remove(system);
  std::filesystem::create_symlink("/dev/zero", system);
  EXPECT_EQ(read(kHklm, kGameKey, "Path").open, kErrorFileNotFound);
  std::filesystem::remove(system);

  // Rewritten in place, to another size, over and over while the reader reads.
  const std::string big = excerptAfter(std::string(1 << 20, '\n')), small = excerpt();
  prefix.writeHive("system.reg", big);
  std::atomic<bool> done = false;
  std::thread writer([&] {
    for (int i = 0; !done; ++i) {
      const std::string& text = i % 2 ? small : big;
      const int fd = ::open(system.c_str(), O_WRONLY | O_TRUNC);
      if (fd < 0) continue;
      EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
      ::close(fd);
    }
  });
  for (int i = 0; i < 200; ++i) {
    const auto r = read(kHklm, kGameKey, "Path");
    if (r.open == kErrorSuccess && r.query == kErrorSuccess) {
      EXPECT_EQ(r.data(), "C:\\Gunship!\0"s);
    }
  }
  done = true;
  writer.join();
}

}  // namespace
