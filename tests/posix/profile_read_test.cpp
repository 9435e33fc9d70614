// Profile reads of texts in memory, beyond the rules the platform suite checks against Windows'
// own functions: NULs, UTF-16 text, the search for the wanted section through long texts and
// lines, and the cases where the differential test found Wine differing from what Windows
// documents (ours follows Windows).
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/posix/profile/ProfileText.h"

namespace {

using namespace std::string_literals;
using namespace platform::posix::profile;

std::string utf16le(std::u16string_view text) {
  return testing_support::utf16(text, false);
}

std::string repeated(const std::string& part, std::size_t times) {
  std::string text;
  text.reserve(part.size() * times);
  while (times-- > 0) text += part;
  return text;
}

TEST(ProfileRead, ValuesAndKeyLists) {
  const std::string lines =
      "; c\r\n  [ Other ]\r\nk=no\r\nx[s]\r\n[s\r\n\t[S] tail\r\nk = \"v 1\" \r\n"
      "n=ab\0cd\r\nq=\"ab\0c\"\r\nbare\r\n\r\n[s]\r\nk=late\r\n"s;
  const std::string filler =
      repeated("[Filler]\r\nValue=" + std::string(40, 'x') + "\r\n", 1 << 16);
  const std::string twoEmpty = "[s]\r\n=a\r\n=b\r\nk=v\r\n";
  const struct {
    const char* what;
    std::string text;
    const char* section;
    std::optional<std::string> key;  // none: the key list
    std::string result;              // the count placed, then a NUL
    std::string defaultValue = "dflt";
    std::uint32_t size = 64;
  } cases[] = {
      {"the header search", lines, " s ", "K", "v 1"},
      {"a value ends at its NUL", lines, "s", "n", "ab"},
      {"quotes after the NUL cut", lines, "s", "q", "\"ab"},
      {"key list", lines, "s", std::nullopt, "k\0n\0q\0"s},
      {"indented header", lines, "other", "k", "no"},
      {"the empty section", "k=top\n[s]\nk=1\n", "", "k", "top"},
      {"UTF-16LE", utf16le(u"[Ä]\r\nk=1\r\n[Sé]\r\nKé=ü 😀\r\nx=\xDC00\r\n"), "sé", "Ké", "ü 😀"},
      {"UTF-16LE key list", utf16le(u"[s]\r\nKé=1\r\n;c=1\r\nb=\r\n"), "s", std::nullopt,
       "Ké\0b\0"s},
      {"UTF-16LE unpaired surrogate", utf16le(u"[s]\r\nx=a\xDC00\r\n"), "s", "x", "a\xEF\xBF\xBD"},
      {"UTF-16LE NUL", utf16le(u"[s]\nx=ab\0cd\n"s), "s", "x", "ab"},
      {"UTF-16BE", testing_support::utf16(u"[t]\nk=2\n[s]\nk=ß\n", true), "S", "k", "ß"},
      {"UTF-16 mark only", "\xFF\xFE", "s", "k", "dflt"},
      {"UTF-16 name that is not UTF-8", utf16le(u"[s]\nk=1\n"), "s", "\xFF", "dflt"},
      // The search for the wanted section.
      {"the section first", "[s]\nk=1\n[t]\n" + filler, "s", "k", "1"},
      {"missing key in the section first", "[s]\nk=1\n[t]\n" + filler, "s", "z", "dflt"},
      {"4 MiB of other sections", filler + "[s]\nk=1\n", "s", "k", "1"},
      {"a 32 MiB line outside the section", "[t]\nk=" + std::string(32 << 20, 'v') + "\n[s]\nk=1\n",
       "s", "k", "1"},
      {"'[' inside lines is no header", "[t]\nk=[s]\n  x [s]\n\t [s] \nk=2\n", "s", "k", "2"},
      {"a 4 MiB value in the section", "[s]\nk=" + std::string(4 << 20, 'v') + "\n[t]\n", "s", "k",
       std::string(63, 'v')},
      // Where Wine differs. Wine unquotes the default; the default is the caller's text.
      {"quoted default, value", "[s]\r\n", "s", "k", "\"q\"", "\"q\""},
      {"quoted default, key list", "", "s", std::nullopt, "'q'", "'q'"},
      // Wine keeps one blank of an all-blank default; its trailing blanks are all cut.
      {"all-blank default", "[s]\r\n", "s", "k", "", "   "},
      // Wine drops the last character of a quoted value that just fits with its NUL.
      {"quoted value that fits", "[s]\r\nk=\"3Bx\"\r\n", "s", "k", "3Bx", "", 4},
      {"key list in two bytes", "[s]\r\nk=1\r\n", "s", std::nullopt, "", "def", 2},
      // An empty-named entry is listed; Wine takes the leading NUL for "none".
      {"key list led by an empty name", "[s]\r\n=x\r\nKey=1\r\n", "s", std::nullopt, "\0Key\0"s},
      // Wine keeps only the first of consecutive empty-named entries.
      {"consecutive empty names", twoEmpty, "s", std::nullopt, "\0\0k\0"s},
      {"consecutive empty names, value", twoEmpty, "s", "", "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<char> buffer(c.size, '\x7f');
    const std::uint32_t n =
        c.key ? readValue(c.text, c.section, *c.key, c.defaultValue, buffer.data(), c.size)
              : readKeyNames(c.text, c.section, c.defaultValue, buffer.data(), c.size);
    EXPECT_EQ(std::string(buffer.data(), n + 1), c.result + '\0');
  }
}

}  // namespace
