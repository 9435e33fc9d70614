// Names compared as Wine compares them: every UTF-16 unit through Unicode's simple uppercase
// mapping, nothing more.
#include "platform/posix/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace text = platform::posix::text;

namespace {

TEST(Text, NamesMatchWithoutRegardToCaseAsWineMatchesThem) {
  const struct {
    const char *a, *b;
    bool equal;
  } cases[] = {
      {"Gunship!", "GUNSHIP!", true},
      {"übungen", "Übungen", true},  // Latin-1
      {"Łódź", "ŁÓDŹ", true},        // Latin Extended-A
      {"ǆ", "Ǆ", true},              // a digraph: its simple uppercase
      {"ΣΊΣΥΦΟΣ", "σίσυφος", true},  // final sigma uppercases to sigma too
      {"москва", "МОСКВА", true},    // Cyrillic
      {"ⓐ", "Ⓐ", true},              // enclosed letters have case
      {"ａｂｃ", "ＡＢＣ", true},    // full-width forms
      {"ı", "i", true},              // dotless i uppercases to I, as does i
      {"straße", "STRASSE", false},  // no special casing: one unit stays one
      {"é", "e\xcc\x81", false},     // no normalisation
      {"𐐨", "𐐀", false},             // Deseret: Wine's table is per UTF-16 unit
      {"ab", "abc", false},
      {"\xffZ", "\xffz", true},  // not UTF-8: bytes, ASCII letters folded
      {"\xe9", "\xc9", false},   // Latin-1 bytes are not letters here
  };
  for (const auto& c : cases)
    EXPECT_EQ(text::equalsIgnoringCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
}

// Every byte that is not part of a valid UTF-8 sequence is one U+FFFD of its own (a cut-off
// sequence is as many as it has bytes); every unpaired surrogate is one U+FFFD.
TEST(Text, Utf8AndUtf16ConvertUnitForUnitAndMarkWhatIsNotUtf8) {
  const struct {
    std::string utf8;
    std::u16string utf16;
    bool valid;
  } toUtf16[] = {
      {"C:\\Caf\xc3\xa9 \xe2\x82\xac", u"C:\\Caf\u00e9 \u20ac", true},
      {"\xf0\x9f\x9a\x81", u"\xD83D\xDE81", true},
      {"", u"", true},
      {"\xc0\xaf", u"\uFFFD\uFFFD", false},                      // overlong
      {"\xed\xa0\x80", u"\uFFFD\uFFFD\uFFFD", false},            // an encoded surrogate
      {"\xe2\x82", u"\uFFFD\uFFFD", false},                      // cut off: one for each byte
      {"\xf4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},  // above U+10FFFF
      {"a\x80"
       "b\xff",
       u"a\uFFFDb\uFFFD", false},  // stray bytes
  };
  for (const auto& c : toUtf16) {
    bool valid = !c.valid;
    EXPECT_EQ(text::utf16Of(c.utf8, &valid), c.utf16) << c.utf8;
    EXPECT_EQ(valid, c.valid) << c.utf8;
    if (c.valid) {
      EXPECT_EQ(text::utf8Of(c.utf16), c.utf8);
    }
  }
  const struct {
    std::u16string utf16;
    std::string utf8;
  } toUtf8[] = {
      {u"\xD800x", "\xef\xbf\xbdx"},                  // a lead surrogate alone
      {u"\xDE00\xD83D", "\xef\xbf\xbd\xef\xbf\xbd"},  // a pair in the wrong order
      {u"\xD83D\xDE00", "\xf0\x9f\x98\x80"},          // a pair
      {u"\u07ff\u0800\uffff",
       "\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf"},  // the edges of two and three bytes
  };
  for (const auto& c : toUtf8) EXPECT_EQ(text::utf8Of(c.utf16), c.utf8);
}

}  // namespace
