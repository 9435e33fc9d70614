// Small text helpers of the Linux host: ASCII letters, and names compared without regard to
// letter case the way Wine compares them. The one home of these rules for paths, profiles and
// the registry.
//
// Wine compares file and registry names by uppercasing every UTF-16 unit with Unicode's simple
// uppercase mapping (one unit in, one unit out; no special casing such as German sharp s, no
// locale rules such as Turkish dotless i). equalsIgnoringCase and upperCase do exactly that,
// with the case tables of ICU. Profile names fold ASCII letters only (Windows' profile
// functions do), which the ASCII helpers serve.
#pragma once

#include <string>
#include <string_view>

namespace platform::posix::text {

constexpr bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr char lowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char upperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// True when a and b differ at most in the case of ASCII letters.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

// The simple uppercase mapping of one UTF-16 unit; surrogates and caseless units map to
// themselves.
char16_t upperUnit(char16_t unit);

// Every unit of text through upperUnit: the form in which Wine compares two names.
std::u16string upperCase(std::u16string_view text);

// UTF-16 of UTF-8 text. Each byte that does not belong to a valid UTF-8 sequence (overlong
// forms and encoded surrogates included) becomes U+FFFD, and *valid, when given, says whether
// there was none.
std::u16string utf16Of(std::string_view utf8, bool* valid = nullptr);

// UTF-8 of UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string utf8Of(std::u16string_view utf16);

// True when two UTF-8 names are equal after upperCase of their UTF-16 forms. Names that are not
// valid UTF-8 (a file name in another encoding) compare by their bytes, ASCII letters folded.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace platform::posix::text
