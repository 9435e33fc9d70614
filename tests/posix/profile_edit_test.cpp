// What a profile write does to the bytes of the file: one line changed or lines added, every
// other byte kept, whatever the file's line endings, byte-order mark or odd content.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "TestSupport.h"
#include "platform/Platform.h"

namespace {

using namespace std::string_literals;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

struct EditCase {
  const char* name;
  std::string before;  // nullopt-like: "<none>" means the file does not exist
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

void PrintTo(const EditCase& c, std::ostream* out) {
  *out << c.name;
}

const std::string kNoFile = "<none>";
const std::string kBom = "\xEF\xBB\xBF";

class ProfileEdit : public ::testing::TestWithParam<EditCase> {};

TEST_P(ProfileEdit, ChangesOnlyWhatTheWriteNeeds) {
  const EditCase& c = GetParam();
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  if (c.before != kNoFile) writeFile(path, c.before);
  ASSERT_NE(platform::writePrivateProfileString(c.section, c.key, c.value, path.c_str()), 0);
  EXPECT_EQ(readFile(path), c.after);
}

const std::string kLf = "; head\n[s]\n  a = 1  \n;c\nbare\n\n\n[t]\nx=2\n";
const std::string kCrLf = "; head\r\n[s]\r\n  a = 1  \r\n;c\r\nbare\r\n\r\n\r\n[t]\r\nx=2\r\n";
const std::string kMixed = "[s]\r\na=1\n\n[t]\nx=2";

INSTANTIATE_TEST_SUITE_P(
    Files, ProfileEdit,
    ::testing::Values(
        EditCase{"LfReplace", kLf, "S", "A", "  9 ",
                 "; head\n[s]\n  a = 9 \n;c\nbare\n\n\n[t]\nx=2\n"},
        EditCase{"LfAppendKey", kLf, "s", "b", "9",
                 "; head\n[s]\n  a = 1  \n;c\nbare\nb=9\n\n\n[t]\nx=2\n"},
        EditCase{"LfBareLineGetsValue", kLf, "s", "BARE", "9",
                 "; head\n[s]\n  a = 1  \n;c\nbare=9\n\n\n[t]\nx=2\n"},
        EditCase{"LfAppendSection", kLf, " u ", "b", "9", kLf + "[u]\nb=9\n"},
        EditCase{"CrLfReplace", kCrLf, "t", "x", "3",
                 "; head\r\n[s]\r\n  a = 1  \r\n;c\r\nbare\r\n\r\n\r\n[t]\r\nx=3\r\n"},
        EditCase{"CrLfAppendKey", kCrLf, "t", "y", "3", kCrLf + "y=3\r\n"},
        EditCase{"CrLfAppendSection", kCrLf, "u", "y", "3", kCrLf + "[u]\r\ny=3\r\n"},
        EditCase{"MixedUsesFirstEnding", kMixed, "s", "b", "2", "[s]\r\na=1\nb=2\r\n\n[t]\nx=2"},
        EditCase{"MixedNoFinalBreakAppendKey", kMixed, "t", "y", "3", kMixed + "\r\ny=3\r\n"},
        EditCase{"MixedNoFinalBreakReplace", kMixed, "t", "x", "3", "[s]\r\na=1\n\n[t]\nx=3"},
        EditCase{"MixedNoFinalBreakAppendSection", kMixed, "u", "y", "3",
                 kMixed + "\r\n[u]\r\ny=3\r\n"},
        EditCase{"LoneCr", "[s]\ra=1\r", "s", "b", "2", "[s]\ra=1\rb=2\r"},
        EditCase{"BomReplace", kBom + "[s]\r\na=1\r\n", "s", "a", "2", kBom + "[s]\r\na=2\r\n"},
        EditCase{"BomAppendSection", kBom + "[s]\na=1", "t", "a", "2",
                 kBom + "[s]\na=1\n[t]\na=2\n"},
        EditCase{"BomOnlyFile", kBom, "s", "k", "v", kBom + "[s]\r\nk=v\r\n"},
        EditCase{"CreateFile", kNoFile, "s", "k", "v", "[s]\r\nk=v\r\n"},
        EditCase{"EmptyFile", "", "s", "k", "v", "[s]\r\nk=v\r\n"},
        EditCase{"EmptySectionRightAfterHeader", "[e]\n\n[t]\n", "e", "k", "v",
                 "[e]\nk=v\n\n[t]\n"},
        EditCase{"HeaderLastLineUnbroken", "x=1\n[e]", "e", "k", "v", "x=1\n[e]\nk=v\n"},
        EditCase{"FirstDuplicateSection", "[s]\na=1\n[S]\nb=1\n", "s", "b", "2",
                 "[s]\na=1\nb=2\n[S]\nb=1\n"},
        EditCase{"FirstDuplicateKey", "[s]\nk=1\nK=1\n", "s", "k", "2", "[s]\nk=2\nK=1\n"},
        EditCase{"KeySpellingKept", "[s]\n\tHelo\t=\tA\t\n", "s", "helo", "B",
                 "[s]\n\tHelo\t=\tB\n"},
        EditCase{"TrailingValueBlanksWritten", "[s]\n", "s", " k ", "  v  ", "[s]\nk=v  \n"},
        EditCase{"OpenBracketLineIsAnEntry", "[s]\n[x\n\n[t]\n", "s", "k", "v",
                 "[s]\n[x\nk=v\n\n[t]\n"},
        EditCase{"EmptySectionNameIsTheTop", "; c\n\n[s]\na=1\n", "", "k", "v",
                 "; c\nk=v\n\n[s]\na=1\n"},
        EditCase{"EmptySectionNameEmptyTop", kBom + "[s]\n", "", "k", "v", kBom + "k=v\n[s]\n"},
        EditCase{"NulAndInvalidUtf8Kept", "[s]\n\xff\xfe\0=\x80\n"s + "a=1\n", "s", "a", "\xc3",
                 "[s]\n\xff\xfe\0=\x80\n"s + "a=\xc3\n"},
        EditCase{"LongLinesKept", "[s]\n" + std::string(100000, 'q') + "=1\n", "s", "k", "v",
                 "[s]\n" + std::string(100000, 'q') + "=1\nk=v\n"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ProfileEdit, EqualValueDoesNotRewrite) {
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  writeFile(path, "[s]\nk = \"v\" \n");
  struct stat before {
  }, after{};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  EXPECT_NE(platform::writePrivateProfileString("s", "k", " \"v\"", path.c_str()), 0);
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_NE(platform::writePrivateProfileString("s", "k", "v", path.c_str()), 0);
  EXPECT_EQ(readFile(path), "[s]\nk = v\n");
}

TEST(ProfileEdit, StructureBreakingTextIsRefused) {
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  const std::string original = "[s]\nk=1\n";
  writeFile(path, original);
  for (auto [section, key, value] :
       {std::tuple{"s", "k", "1\n[t]"}, std::tuple{"s\r", "k", "1"}, std::tuple{"s", "[t]", "1"}})
    EXPECT_EQ(platform::writePrivateProfileString(section, key, value, path.c_str()), 0) << key;
  EXPECT_EQ(readFile(path), original);
}

TEST(ProfileRead, OddBytesAndUnclosedHeadersReadSafely) {
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  writeFile(path, "[s\n\0\xff=\x80\xc3\n"s + "[s]\n" + std::string(100000, 'v') +
                      "\nk=" + std::string(100000, 'w') + "\n");
  char buffer[1024];
  EXPECT_EQ(platform::getPrivateProfileString("s", "k", "", buffer, 1024, path.c_str()), 1023u);
  EXPECT_EQ(platform::getPrivateProfileString("[s", "k", "d", buffer, 1024, path.c_str()), 1u);
  EXPECT_EQ(platform::getPrivateProfileString("", "[s", "d", buffer, 1024, path.c_str()), 1u);
  EXPECT_STREQ(buffer, "d");
}

}  // namespace
