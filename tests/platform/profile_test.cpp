// Profile reads and writes through the platform functions: only behaviour that Windows' own
// functions show as well, so this suite also runs against them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/Platform.h"

namespace {

using namespace std::string_literals;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
namespace fs = testing_support::fs;

// Reads key (nullptr: the key list) of section from a file holding content, into a buffer of
// size bytes filled with '#' beforehand; gives the count and the buffer's first count+2 bytes.
std::pair<std::uint32_t, std::string> get(const std::string& content, const char* section,
                                          const char* key, const char* fallback = "d",
                                          std::uint32_t size = 1024) {
  TempDir dir;
  writeFile(dir.path() / "p.ini", content);
  std::vector<char> buffer(size, '#');
  const auto n = platform::getPrivateProfileString(section, key, fallback, buffer.data(), size,
                                                   dir.programPath("p.ini").c_str());
  return {n, std::string(buffer.data(), std::min<std::size_t>(n + 2, size))};
}

TEST(Profile, ReadsValuesAndKeyListsByWindowsRules) {
  const struct {
    const char* name;
    std::string content;
    const char *section, *key, *fallback;  // key nullptr: the key list
    std::string expected;                  // the count placed
  } cases[] = {
      {"plain", "[s]\r\nk=v\r\n", "s", "k", "d", "v"},
      {"case and argument blanks", "[Main]\nKey=v\n", "  mAIN ", " kEY\t", "d", "v"},
      {"line trimmed, inner blanks kept", "[s]\n \t a b = x  y \x1A\n", "s", "a b", "", "x  y"},
      {"first equals", "[s]\nk=a=b\n", "s", "k", "", "a=b"},
      {"no inline comment", "[s]\nk=1 ; note\n", "s", "k", "", "1 ; note"},
      {"hash is a key", "[s]\n#k=1\n", "s", "#k", "", "1"},
      {"double quotes", "[s]\nk=\"a b\"\n", "s", "k", "", "a b"},
      {"single quotes", "[s]\nk='x'\n", "s", "k", "", "x"},
      {"unmatched quote", "[s]\nk=\"x'\n", "s", "k", "", "\"x'"},
      {"empty quotes", "[s]\nk=\"\"\n", "s", "k", "d", ""},
      {"blank value is not the default", "[s]\nk=   \n", "s", "k", "d", ""},
      {"no equals: default, and hides", "[s]\nk\nk=v\n", "s", "k", "d", "d"},
      {"default's trailing blanks cut", "[s]\n", "s", "k", "d e  ", "d e"},
      {"missing section", "[s]\nk=v\n", "t", "k", "d", "d"},
      {"empty file", "", "s", "k", "d", "d"},
      {"first duplicate section", "[s]\na=1\n[S]\na=2\nb=3\n", "s", "b", "d", "d"},
      {"first duplicate key", "[s]\nk=1\nK=2\n", "s", "k", "", "1"},
      {"header to the last bracket", "[a]b] tail\nk=v\n", "a]b", "k", "", "v"},
      {"header name trimmed", "[  Main  ]\nk=v\n", "Main", "k", "", "v"},
      {"open bracket is an entry", "[s]\n[x\nk=v\n", "s", "k", "", "v"},
      {"empty header ends the section", "[s]\n[]\nk=v\n", "s", "k", "d", "d"},
      {"lines before a header", "k=v\n[s]\n", "s", "k", "d", "d"},
      {"blank lines keep the section", "[s]\n\n\n\nk=v", "s", "k", "", "v"},
      {"lone carriage returns", "[s]\rj=1\r\rk=v\r", "s", "k", "", "v"},
      {"byte-order mark", "\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", "k", "", "v"},
      {"key list skips comments and bare names", "[s]\n b = 1\n;c=2\nd\n\na=3\n[t]\nz=1\n", "S",
       nullptr, "d", "b\0a\0"s},
      {"key list keeps duplicates", "[s]\nk=1\nK=2\n", "s", nullptr, "d", "k\0K\0"s},
      {"empty section's key list: default", "[s]\n;only\n[t]\nk=1\n", "s", nullptr, "d", "d"},
      {"missing section's key list: default", "[t]\nk=1\n", "s", nullptr, "d", "d"},
      {"key list: argument blanks count", "[s]\nk=1\n", " s", nullptr, "d", "d"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [n, bytes] = get(c.content, c.section, c.key, c.fallback);
    EXPECT_EQ(bytes.substr(0, n + 1), c.expected + '\0');
  }
}

TEST(Profile, BuffersAreCutWithRoomForTheirNuls) {
  const std::string names = "[s]\nab=1\n" + std::string(2000, 'k') + "=1\n";
  const struct {
    const char* name;
    std::string content;
    const char* key;
    std::uint32_t size, count;
    std::string bytes;
  } cases[] = {
      {"value", "[s]\nk=" + std::string(2000, 'x'), "k", 1024, 1023, std::string(1023, 'x') + '\0'},
      {"short value", "[s]\nk=xxxxx", "k", 4, 3, "xxx\0"s},
      {"key list", names, nullptr, 1024, 1022, "ab\0"s + std::string(1019, 'k') + "\0\0"s},
      {"key list, exact fit", "[s]\nab=1\n", nullptr, 4, 2, "ab\0\0"s},
      {"key list, last name", "[s]\nabc=1\ndef=2\n", nullptr, 6, 4, "abc\0\0\0"s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(get(c.content, "s", c.key, "", c.size), std::pair(c.count, c.bytes));
  }
}

std::string read(const std::string& file, const char* section, const char* key) {
  char buffer[1024];
  const auto n =
      platform::getPrivateProfileString(section, key, "<none>", buffer, 1024, file.c_str());
  return std::string(buffer, n);
}

TEST(Profile, WritesAreReadBackAndAMissingFileIsNotCreatedByReads) {
  TempDir dir;
  const std::string file = dir.programPath("p.ini");
  EXPECT_EQ(read(file, "s", "k"), "<none>");
  EXPECT_EQ(read(file, "s", nullptr), "<none>");
  EXPECT_FALSE(fs::exists(dir.path() / "p.ini"));
  ASSERT_NE(platform::writePrivateProfileString("custom", "Helo", "Apache", file.c_str()), 0);
  EXPECT_EQ(readFile(dir.path() / "p.ini"), "[custom]\r\nHelo=Apache\r\n");
  ASSERT_NE(platform::writePrivateProfileString("CUSTOM", " helo ", "Tiger", file.c_str()), 0);
  ASSERT_NE(platform::writePrivateProfileString("custom", "Rudder", "  1.5", file.c_str()), 0);
  ASSERT_NE(platform::writePrivateProfileString("other", "k", "", file.c_str()), 0);
  EXPECT_EQ(read(file, "custom", "Helo"), "Tiger");
  EXPECT_EQ(read(file, "custom", "rudder"), "1.5");
  EXPECT_EQ(read(file, "other", "k"), "");
  EXPECT_EQ(read(file, "custom", nullptr), "Helo\0Rudder\0"s);
}

TEST(Profile, FailedWritesReturnZeroWithTheirReasonAndChangeNothing) {
  TempDir dir;
  const std::string original = "[s]\r\nk=v\r\n";
  writeFile(dir.path() / "ro.ini", original);
  fs::permissions(dir.path() / "ro.ini",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  fs::create_directory(dir.path() / "folder.ini");
  const std::pair<const char*, std::int32_t> cases[] = {
      {"no-folder/p.ini", platform::kErrorPathNotFound},
      {"folder.ini", platform::kErrorAccessDenied},
      {"ro.ini", platform::kErrorAccessDenied},
  };
  for (const auto& [name, reason] : cases) {
    SCOPED_TRACE(name);
    for (const char* section : {"s", "t"}) {
      EXPECT_EQ(
          platform::writePrivateProfileString(section, "k", "w", dir.programPath(name).c_str()), 0);
      EXPECT_EQ(platform::getLastError(), reason);
    }
  }
  EXPECT_FALSE(fs::exists(dir.path() / "no-folder"));
  EXPECT_EQ(readFile(dir.path() / "ro.ini"), original);
}

}  // namespace
