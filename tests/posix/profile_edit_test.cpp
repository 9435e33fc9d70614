// What a profile write does to the bytes of the file: one line changed or lines added, every
// other byte kept, whatever the file's line endings, byte-order mark or odd content.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>

#include "TestSupport.h"
#include "platform/Platform.h"

namespace {

using namespace std::string_literals;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::utf16;
using testing_support::writeFile;

TEST(ProfileEdit, ChangesOnlyWhatTheWriteNeeds) {
  const std::string lf = "; head\n[s]\n  a = 1  \n;c\nbare\n\n\n[t]\nx=2\n";
  const std::string crlf = "; head\r\n[s]\r\n  a = 1  \r\n;c\r\nbare\r\n\r\n\r\n[t]\r\nx=2\r\n";
  const std::string mixed = "[s]\r\na=1\n\n[t]\nx=2";  // no final line break
  const std::string bom = "\xEF\xBB\xBF", q(100000, 'q');
  const struct {
    const char* name;
    std::optional<std::string> before;  // nullopt: no file yet
    const char *section, *key, *value;
    std::string after;
  } cases[] = {
      {"LF replace", lf, "S", "A", "  9 ", "; head\n[s]\n  a = 9 \n;c\nbare\n\n\n[t]\nx=2\n"},
      {"LF append key", lf, "s", "b", "9", "; head\n[s]\n  a = 1  \n;c\nbare\nb=9\n\n\n[t]\nx=2\n"},
      {"LF bare line", lf, "s", "BARE", "9", "; head\n[s]\n  a = 1  \n;c\nbare=9\n\n\n[t]\nx=2\n"},
      {"LF append section", lf, " u ", "b", "9", lf + "[u ]\nb=9\n"},
      {"CRLF replace", crlf, "t", "x", "3",
       "; head\r\n[s]\r\n  a = 1  \r\n;c\r\nbare\r\n\r\n\r\n[t]\r\nx=3\r\n"},
      {"CRLF append key", crlf, "t", "y", "3", crlf + "y=3\r\n"},
      {"CRLF append section", crlf, "u", "y", "3", crlf + "[u]\r\ny=3\r\n"},
      {"mixed: first ending", mixed, "s", "b", "2", "[s]\r\na=1\nb=2\r\n\n[t]\nx=2"},
      {"no final break, append key", mixed, "t", "y", "3", mixed + "\r\ny=3\r\n"},
      {"no final break, replace", mixed, "t", "x", "3", "[s]\r\na=1\n\n[t]\nx=3"},
      {"no final break, append section", mixed, "u", "y", "3", mixed + "\r\n[u]\r\ny=3\r\n"},
      {"lone CR", "[s]\ra=1\r", "s", "b", "2", "[s]\ra=1\rb=2\r"},
      {"BOM replace", bom + "[s]\r\na=1\r\n", "s", "a", "2", bom + "[s]\r\na=2\r\n"},
      {"BOM append section", bom + "[s]\na=1", "t", "a", "2", bom + "[s]\na=1\n[t]\na=2\n"},
      {"BOM only", bom, "s", "k", "v", bom + "[s]\r\nk=v\r\n"},
      {"create", std::nullopt, "s", "k", "v", "[s]\r\nk=v\r\n"},
      {"empty file", "", "s", "k", "v", "[s]\r\nk=v\r\n"},
      {"empty section", "[e]\n\n[t]\n", "e", "k", "v", "[e]\nk=v\n\n[t]\n"},
      {"header last, unbroken", "x=1\n[e]", "e", "k", "v", "x=1\n[e]\nk=v\n"},
      {"first duplicate section", "[s]\na=1\n[S]\nb=1\n", "s", "b", "2",
       "[s]\na=1\nb=2\n[S]\nb=1\n"},
      {"first duplicate key", "[s]\nk=1\nK=1\n", "s", "k", "2", "[s]\nk=2\nK=1\n"},
      {"key spelling kept", "[s]\n\tHelo\t=\tA\t\n", "s", "helo", "B", "[s]\n\tHelo\t=\tB\n"},
      {"new names keep trailing blanks", "[s]\n", " N  ", " k ", "  v  ", "[s]\n[N  ]\nk =v  \n"},
      {"trailing blanks still match", "[s]\nk=1\n", " s ", " K\t", "2", "[s]\nk=2\n"},
      {"open bracket entry", "[s]\n[x\n\n[t]\n", "s", "k", "v", "[s]\n[x\nk=v\n\n[t]\n"},
      {"empty name: the top", "; c\n\n[s]\na=1\n", "", "k", "v", "; c\nk=v\n\n[s]\na=1\n"},
      {"empty name, empty top", bom + "[s]\n", "", "k", "v", bom + "k=v\n[s]\n"},
      {"a value ends at its NUL", "[s]\nk=ab\0cd\n"s, "s", "k", "x", "[s]\nk=x\n"},
      {"equal up to its NUL: kept", "[s]\nk=ab\0cd\n"s, "s", "k", "ab", "[s]\nk=ab\0cd\n"s},
      {"NUL, bad UTF-8", "[s]\n\xff\xfe\0=\x80\na=1\n"s, "s", "a", "\xc3",
       "[s]\n\xff\xfe\0=\x80\na=\xc3\n"s},
      {"long lines", "[s]\n" + q + "=1\n", "s", "k", "v", "[s]\n" + q + "=1\nk=v\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const auto path = dir.path() / "p.ini";
    if (c.before) writeFile(path, *c.before);
    ASSERT_NE(platform::writePrivateProfileString(c.section, c.key, c.value, path.c_str()), 0);
    EXPECT_EQ(readFile(path), c.after);
  }
}

TEST(ProfileEdit, EqualValuesAreNotRewrittenAndStructureBreakingTextIsRefused) {
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  writeFile(path, "[s]\nk = \"v\" \n");
  struct stat before {};
  struct stat after {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  EXPECT_NE(platform::writePrivateProfileString("s", "k", " \"v\"", path.c_str()), 0);
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_NE(platform::writePrivateProfileString("s", "k", "v", path.c_str()), 0);
  EXPECT_EQ(readFile(path), "[s]\nk = v\n");
  for (auto [section, key, value] :
       {std::tuple{"s", "k", "1\n[t]"}, std::tuple{"s\r", "k", "1"}, std::tuple{"s", "[t]", "1"},
        std::tuple{"", "\xEF\xBB\xBFk", "1"}, std::tuple{"", " \xFF\xFEk", "1"}})
    EXPECT_EQ(platform::writePrivateProfileString(section, key, value, path.c_str()), 0) << key;
  EXPECT_EQ(readFile(path), "[s]\nk = v\n");
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

TEST(ProfileEdit, Utf16ProfilesAreWrittenInTheirOwnEncoding) {
  const struct {
    const char* name;
    std::u16string before;
    const char *section, *key, *value;
    std::u16string after;
  } cases[] = {
      {"replace", u"[s]\r\nk=v\r\n", "s", "k", "w", u"[s]\r\nk=w\r\n"},
      {"append key", u"[Sé]\nk=v\n\n[t]\n", "sé", "Neu", "Übung 😀",
       u"[Sé]\nk=v\nNeu=Übung 😀\n\n[t]\n"},
      {"append section", u"[s]\rk=v", "Ünï ", "k", "1", u"[s]\rk=v\r[Ünï ]\rk=1\r"},
      {"mark only", u"", "s", "k", "v", u"[s]\r\nk=v\r\n"},
      {"unpaired surrogate kept", u"[s]\r\n\xD800=1\r\nk=v\r\n", "s", "k", "w",
       u"[s]\r\n\xD800=1\r\nk=w\r\n"},
  };
  for (const auto& c : cases)
    for (const bool bigEndian : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (bigEndian ? " BE" : " LE"));
      TempDir dir;
      const auto path = dir.path() / "p.ini";
      writeFile(path, utf16(c.before, bigEndian));
      ASSERT_NE(platform::writePrivateProfileString(c.section, c.key, c.value, path.c_str()), 0);
      EXPECT_EQ(readFile(path), utf16(c.after, bigEndian));
    }
  // A trailing odd byte stays last; text that is not UTF-8 cannot go into UTF-16: refused.
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  writeFile(path, utf16(u"[s]\r\n", false) + "A");
  ASSERT_NE(platform::writePrivateProfileString("s", "k", "v", path.c_str()), 0);
  EXPECT_EQ(readFile(path), utf16(u"[s]\r\nk=v\r\n", false) + "A");
  EXPECT_EQ(platform::writePrivateProfileString("s", "k", "\xC3", path.c_str()), 0);
  EXPECT_EQ(platform::writePrivateProfileString("s", "\xFF", "v", path.c_str()), 0);
  EXPECT_EQ(readFile(path), utf16(u"[s]\r\nk=v\r\n", false) + "A");
}

}  // namespace
