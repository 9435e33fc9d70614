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

TEST(Text, Utf8AndUtf16RoundTripAndMarkWhatIsNotUtf8) {
  const std::string good = "C:\\Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x9a\x81";
  bool valid = false;
  EXPECT_EQ(text::utf8Of(text::utf16Of(good, &valid)), good);
  EXPECT_TRUE(valid);
  // Overlong, surrogate, cut-off and stray continuation bytes each become one U+FFFD.
  for (const std::string bad : {"\xc0\xaf", "\xed\xa0\x80", "\xe2\x82", "\x80"}) {
    const std::u16string units = text::utf16Of(bad, &valid);
    EXPECT_FALSE(valid) << bad.size();
    EXPECT_EQ(units.find_first_not_of(u'\uFFFD'), std::u16string::npos);
  }
  EXPECT_EQ(text::utf8Of(u"\xD800x"), "\xef\xbf\xbdx");  // an unpaired surrogate
}

}  // namespace
