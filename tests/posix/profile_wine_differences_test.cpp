// The cases where the differential test found Wine's profile reads differing from ours. In each,
// Windows' documented behaviour is ours; these keep it so.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/ProfileText.h"

namespace {

using platform::posix::profile::readKeyNames;
using platform::posix::profile::readValue;

struct Case {
  const char* what;
  std::string text;
  const char* section;
  std::optional<std::string> key;  // none: the key list
  std::string defaultValue;
  std::uint32_t size;
  std::uint32_t count;
  std::string bytes;  // the buffer's first bytes afterwards
};

TEST(ProfileWineDifferences, ReadsGiveWhatWindowsDocuments) {
  const std::string twoEmpty = "[s]\r\n=a\r\n=b\r\nk=v\r\n";
  const Case cases[] = {
      // Wine unquotes the default; the default is the caller's text, returned as given.
      {"quoted default, value", "[s]\r\n", "s", "k", "\"q\"", 64, 3, std::string("\"q\"\0", 4)},
      {"quoted default, key list", "", "s", std::nullopt, "'q'", 64, 3, std::string("'q'\0", 4)},
      // Wine keeps one blank of an all-blank default; its trailing blanks are all cut.
      {"all-blank default", "[s]\r\n", "s", "k", "   ", 64, 0, std::string("\0", 1)},
      // Wine drops the last character of a quoted value that just fits with its NUL.
      {"quoted value that fits", "[s]\r\nk=\"3Bx\"\r\n", "s", "k", "", 4, 3,
       std::string("3Bx\0", 4)},
      // A cut key list ends in two NULs (Wine writes one).
      {"cut key list", "[s]\r\nLong=1\r\n", "s", std::nullopt, "", 6, 4,
       std::string("Long\0\0", 6)},
      {"key list in two bytes", "[s]\r\nk=1\r\n", "s", std::nullopt, "def", 2, 0,
       std::string("\0\0", 2)},
      // An empty-named entry is listed; Wine takes the leading NUL for "none" and gives the
      // default.
      {"key list led by an empty name", "[s]\r\n=x\r\nKey=1\r\n", "s", std::nullopt, "def", 64, 5,
       std::string("\0Key\0\0", 6)},
      // Wine keeps only the first of consecutive empty-named entries; every entry is listed.
      {"consecutive empty names", twoEmpty, "s", std::nullopt, "", 64, 4,
       std::string("\0\0k\0\0", 5)},
      {"consecutive empty names, value", twoEmpty, "s", "", "def", 64, 1, std::string("a\0", 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<char> buffer(c.size, '\x7f');
    const std::uint32_t count =
        c.key ? readValue(c.text, c.section, *c.key, c.defaultValue, buffer.data(), c.size)
              : readKeyNames(c.text, c.section, c.defaultValue, buffer.data(), c.size);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(std::string(buffer.data(), c.bytes.size()), c.bytes);
  }
}

}  // namespace
