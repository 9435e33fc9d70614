// Profile reads of texts in memory: values and key lists in 8-bit and UTF-16 text, and the search
// for the wanted section through long texts and long lines.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/posix/ProfileText.h"

namespace {

using namespace std::string_literals;
using namespace platform::posix::profile;

std::string utf16le(std::u16string_view text) {
  return testing_support::utf16(text, false);
}

TEST(ProfileRead, ValuesAndKeyListsInEveryEncoding) {
  const std::string lines =
      "; c\r\n  [ Other ]\r\nk=no\r\nx[s]\r\n[s\r\n\t[S] tail\r\nk = \"v 1\" \r\n"
      "n=ab\0cd\r\nq=\"ab\0c\"\r\nbare\r\n\r\n[s]\r\nk=late\r\n"s;
  const struct {
    const char* what;
    std::string text;
    const char* section;
    std::optional<std::string> key;  // none: the key list
    std::string result;
  } cases[] = {
      {"value", lines, " s ", "K", "v 1"},
      {"value after a NUL is cut", lines, "s", "n", "ab"},
      {"quotes after the NUL cut", lines, "s", "q", "\"ab"},
      {"key list", lines, "s", std::nullopt, "k\0n\0q\0"s},
      {"missing key: default", lines, "s", "bare", "dflt"},
      {"header with blanks", lines, "other", "k", "no"},
      {"the empty section", "k=top\n[s]\nk=1\n", "", "k", "top"},
      {"CR line breaks", "[a]\rk=1\r[s]\rk=2\r", "s", "k", "2"},
      {"UTF-8 mark", "\xEF\xBB\xBF[s]\nk=1\n", "s", "k", "1"},
      {"UTF-16LE", utf16le(u"[Ä]\r\nk=1\r\n[Sé]\r\nKé=ü 😀\r\nx=\xDC00\r\n"), "sé", "Ké", "ü 😀"},
      {"UTF-16LE key list", utf16le(u"[s]\r\nKé=1\r\n;c=1\r\nb=\r\n"), "s", std::nullopt,
       "Ké\0b\0"s},
      {"UTF-16LE unpaired surrogate", utf16le(u"[s]\r\nx=a\xDC00\r\n"), "s", "x", "a\xEF\xBF\xBD"},
      {"UTF-16LE NUL", utf16le(u"[s]\nx=ab\0cd\n"s), "s", "x", "ab"},
      {"UTF-16BE", testing_support::utf16(u"[t]\nk=2\n[s]\nk=ß\n", true), "S", "k", "ß"},
      {"UTF-16 mark only", "\xFF\xFE", "s", "k", "dflt"},
      {"UTF-16 name that is not UTF-8", utf16le(u"[s]\nk=1\n"), "s", "\xFF", "dflt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    char buffer[64];
    const auto n = c.key ? readValue(c.text, c.section, *c.key, "dflt", buffer, sizeof buffer)
                         : readKeyNames(c.text, c.section, "dflt", buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, n), c.result);
  }
}

std::string repeated(const std::string& part, std::size_t times) {
  std::string text;
  text.reserve(part.size() * times);
  while (times-- > 0) text += part;
  return text;
}

TEST(ProfileRead, TheWantedSectionIsFoundPastLongTextsAndLines) {
  const std::string filler =
      repeated("[Filler]\r\nValue=" + std::string(40, 'x') + "\r\n", 1 << 16);
  const struct {
    const char* what;
    std::string text;
    const char* key;
    std::string result;
  } cases[] = {
      {"the section first", "[s]\nk=1\n[t]\n" + filler, "k", "1"},
      {"missing key in the section first", "[s]\nk=1\n[t]\n" + filler, "z", "dflt"},
      {"4 MiB of other sections", filler + "[s]\nk=1\n", "k", "1"},
      {"a 32 MiB line outside the section", "[t]\nk=" + std::string(32 << 20, 'v') + "\n[s]\nk=1\n",
       "k", "1"},
      {"'[' inside lines is no header", "[t]\nk=[s]\n  x [s]\n\t [s] \nk=2\n", "k", "2"},
      {"a 4 MiB value in the section", "[s]\nk=" + std::string(4 << 20, 'v') + "\n[t]\n", "k",
       std::string(63, 'v')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    char buffer[64];
    const auto n = readValue(c.text, "s", c.key, "dflt", buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, n), c.result);
  }
}

}  // namespace
