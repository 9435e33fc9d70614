// Profile reads and writes through the platform functions: only behaviour that Windows' own
// functions show as well, so this suite also runs against them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/Platform.h"

namespace {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

struct ValueCase {
  const char* name;
  std::string content;
  const char* section;
  const char* key;
  const char* defaultValue;
  std::string expected;
};

void PrintTo(const ValueCase& c, std::ostream* out) {
  *out << c.name;
}

class ProfileRead : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ProfileRead, ReadsValueByWindowsRules) {
  const ValueCase& c = GetParam();
  TempDir dir;
  const std::string file = dir.programPath("p.ini");
  writeFile(dir.path() / "p.ini", c.content);
  char buffer[1024];
  const auto count = platform::getPrivateProfileString(c.section, c.key, c.defaultValue, buffer,
                                                       1024, file.c_str());
  EXPECT_EQ(std::string(buffer, count), c.expected);
  EXPECT_EQ(buffer[count], '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProfileRead,
    ::testing::Values(
        ValueCase{"Plain", "[s]\r\nk=v\r\n", "s", "k", "d", "v"},
        ValueCase{"CaseAndArgumentBlanks", "[Main]\nKey=v\n", "  mAIN ", " kEY\t", "d", "v"},
        ValueCase{"LineTrimmedInnerBlanksKept", "[s]\n \t a b = x  y \x1A\n", "s", "a b", "",
                  "x  y"},
        ValueCase{"FirstEquals", "[s]\nk=a=b\n", "s", "k", "", "a=b"},
        ValueCase{"NoInlineComment", "[s]\nk=1 ; note\n", "s", "k", "", "1 ; note"},
        ValueCase{"HashIsAKey", "[s]\n#k=1\n", "s", "#k", "", "1"},
        ValueCase{"DoubleQuotes", "[s]\nk=\"a b\"\n", "s", "k", "", "a b"},
        ValueCase{"SingleQuotes", "[s]\nk='x'\n", "s", "k", "", "x"},
        ValueCase{"UnmatchedQuote", "[s]\nk=\"x'\n", "s", "k", "", "\"x'"},
        ValueCase{"EmptyQuotes", "[s]\nk=\"\"\n", "s", "k", "d", ""},
        ValueCase{"EmptyValueIsNotDefault", "[s]\nk=   \n", "s", "k", "d", ""},
        ValueCase{"NoEqualsGivesDefaultAndHides", "[s]\nk\nk=v\n", "s", "k", "d", "d"},
        ValueCase{"DefaultTrailingSpacesCut", "[s]\n", "s", "k", "d e  ", "d e"},
        ValueCase{"MissingSection", "[s]\nk=v\n", "t", "k", "d", "d"},
        ValueCase{"EmptyFile", "", "s", "k", "d", "d"},
        ValueCase{"FirstDuplicateSectionWins", "[s]\na=1\n[S]\na=2\nb=3\n", "s", "b", "d", "d"},
        ValueCase{"FirstDuplicateKeyWins", "[s]\nk=1\nK=2\n", "s", "k", "", "1"},
        ValueCase{"HeaderToLastBracket", "[a]b] tail\nk=v\n", "a]b", "k", "", "v"},
        ValueCase{"HeaderNameTrimmed", "[  Main  ]\nk=v\n", "Main", "k", "", "v"},
        ValueCase{"OpenBracketIsAnEntry", "[s]\n[x\nk=v\n", "s", "k", "", "v"},
        ValueCase{"EmptyHeaderEndsSection", "[s]\n[]\nk=v\n", "s", "k", "d", "d"},
        ValueCase{"LinesBeforeHeaderAreNoSection", "k=v\n[s]\n", "s", "k", "d", "d"},
        ValueCase{"BlankLinesDoNotEndSection", "[s]\n\n\n\nk=v", "s", "k", "", "v"},
        ValueCase{"LoneCarriageReturns", "[s]\rj=1\r\rk=v\r", "s", "k", "", "v"},
        ValueCase{"ByteOrderMarkSkipped", "\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", "k", "", "v"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ProfileBuffer, ValueIsCutToSizeLessOne) {
  TempDir dir;
  writeFile(dir.path() / "p.ini", "[s]\nk=" + std::string(2000, 'x') + "\n");
  const std::string file = dir.programPath("p.ini");
  std::vector<char> buffer(1024, '#');
  EXPECT_EQ(platform::getPrivateProfileString("s", "k", "", buffer.data(), 1024, file.c_str()),
            1023u);
  EXPECT_EQ(std::string(buffer.data(), 1023), std::string(1023, 'x'));
  EXPECT_EQ(buffer[1023], '\0');
  EXPECT_EQ(platform::getPrivateProfileString("s", "k", "", buffer.data(), 4, file.c_str()), 3u);
  EXPECT_EQ(std::string(buffer.data(), 4), std::string("xxx\0", 4));
}

struct ListCase {
  const char* name;
  std::string content;
  const char* section;
  std::uint32_t size;
  std::uint32_t count;
  std::string bytes;  // the buffer's first count+1 (or +2 when cut) bytes
};

void PrintTo(const ListCase& c, std::ostream* out) {
  *out << c.name;
}

class ProfileKeyList : public ::testing::TestWithParam<ListCase> {};

TEST_P(ProfileKeyList, ListsKeyNames) {
  const ListCase& c = GetParam();
  TempDir dir;
  writeFile(dir.path() / "p.ini", c.content);
  const std::string file = dir.programPath("p.ini");
  std::vector<char> buffer(c.size, '#');
  EXPECT_EQ(platform::getPrivateProfileString(c.section, nullptr, "dflt", buffer.data(), c.size,
                                              file.c_str()),
            c.count);
  EXPECT_EQ(std::string(buffer.data(), c.bytes.size()), c.bytes);
}

using namespace std::string_literals;
INSTANTIATE_TEST_SUITE_P(
    Rules, ProfileKeyList,
    ::testing::Values(ListCase{"SkipsCommentsAndBareNames",
                               "[s]\n b = 1\n;c=2\nd\n\na=3\n[t]\nz=1\n", "S", 64, 4, "b\0a\0\0"s},
                      ListCase{"DuplicatesListed", "[s]\nk=1\nK=2\n", "s", 64, 4, "k\0K\0\0"s},
                      ListCase{"ExactFitIsCut", "[s]\nab=1\n", "s", 4, 2, "ab\0\0"s},
                      ListCase{"LastNameCut", "[s]\nabc=1\ndef=2\n", "s", 6, 4, "abc\0\0\0"s},
                      ListCase{"EmptySectionGivesDefault", "[s]\n;only\n[t]\nk=1\n", "s", 64, 4,
                               "dflt\0"s},
                      ListCase{"MissingSectionGivesDefault", "[t]\nk=1\n", "s", 64, 4, "dflt\0"s},
                      ListCase{"ArgumentBlanksCount", "[s]\nk=1\n", " s", 64, 4, "dflt\0"s}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ProfileFile, MissingFileGivesDefaultAndIsNotCreated) {
  TempDir dir;
  const std::string file = dir.programPath("none.ini");
  char buffer[64];
  EXPECT_EQ(platform::getPrivateProfileString("s", "k", "d", buffer, 64, file.c_str()), 1u);
  EXPECT_STREQ(buffer, "d");
  EXPECT_EQ(platform::getPrivateProfileString("s", nullptr, "d", buffer, 64, file.c_str()), 1u);
  EXPECT_FALSE(testing_support::fs::exists(dir.path() / "none.ini"));
}

std::string read(const std::string& file, const char* section, const char* key) {
  char buffer[1024];
  const auto n =
      platform::getPrivateProfileString(section, key, "<none>", buffer, 1024, file.c_str());
  return std::string(buffer, n);
}

TEST(ProfileFile, WritesAreReadBack) {
  TempDir dir;
  const std::string file = dir.programPath("p.ini");
  ASSERT_NE(platform::writePrivateProfileString("custom", "Helo", "Apache", file.c_str()), 0);
  EXPECT_EQ(readFile(dir.path() / "p.ini"), "[custom]\r\nHelo=Apache\r\n");
  ASSERT_NE(platform::writePrivateProfileString("CUSTOM", " helo ", "Tiger", file.c_str()), 0);
  ASSERT_NE(platform::writePrivateProfileString("custom", "Rudder", "  1.5", file.c_str()), 0);
  ASSERT_NE(platform::writePrivateProfileString("other", "k", "", file.c_str()), 0);
  EXPECT_EQ(read(file, "custom", "Helo"), "Tiger");
  EXPECT_EQ(read(file, "custom", "rudder"), "1.5");
  EXPECT_EQ(read(file, "other", "k"), "");
  EXPECT_EQ(read(file, "custom", nullptr), std::string("Helo\0Rudder\0", 12));
}

TEST(ProfileFile, FailedWritesReturnZeroAndChangeNothing) {
  TempDir dir;
  namespace fs = testing_support::fs;
  const std::string missing = dir.programPath("no-folder/p.ini");
  EXPECT_EQ(platform::writePrivateProfileString("s", "k", "v", missing.c_str()), 0);
  EXPECT_FALSE(fs::exists(dir.path() / "no-folder"));

  fs::create_directory(dir.path() / "folder.ini");
  const std::string folder = dir.programPath("folder.ini");
  EXPECT_EQ(platform::writePrivateProfileString("s", "k", "v", folder.c_str()), 0);

  const std::string original = "[s]\r\nk=v\r\n";
  writeFile(dir.path() / "ro.ini", original);
  fs::permissions(dir.path() / "ro.ini",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const std::string readOnly = dir.programPath("ro.ini");
  EXPECT_EQ(platform::writePrivateProfileString("s", "k", "w", readOnly.c_str()), 0);
  EXPECT_EQ(platform::writePrivateProfileString("t", "k", "w", readOnly.c_str()), 0);
  EXPECT_EQ(readFile(dir.path() / "ro.ini"), original);
}

}  // namespace
