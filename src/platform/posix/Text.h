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

#include <cstddef>
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

// UTF-16 units stored as bytes, two to a unit: little-endian (UTF-16LE, as Windows keeps
// registry strings and most profiles) or big-endian (a UTF-16BE profile). The one home of the
// byte order for profiles and the registry.
enum class ByteOrder { Little, Big };

// Appends each unit of units to bytes (a std::string or a vector of bytes) as two bytes.
template <class Bytes>
void appendUtf16Bytes(Bytes& bytes, std::u16string_view units,
                      ByteOrder order = ByteOrder::Little) {
  using Byte = typename Bytes::value_type;
  bytes.reserve(bytes.size() + 2 * units.size());
  for (const char16_t unit : units) {
    const auto low = static_cast<Byte>(unit & 0xFF), high = static_cast<Byte>(unit >> 8);
    bytes.push_back(order == ByteOrder::Little ? low : high);
    bytes.push_back(order == ByteOrder::Little ? high : low);
  }
}

// The units of size bytes at bytes, read two at a time; a last odd byte is left out.
template <class Byte>
std::u16string utf16OfBytes(const Byte* bytes, std::size_t size,
                            ByteOrder order = ByteOrder::Little) {
  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    const auto first = static_cast<unsigned char>(bytes[2 * i]);
    const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
    units[i] = static_cast<char16_t>(order == ByteOrder::Little ? first | (second << 8)
                                                                : (first << 8) | second);
  }
  return units;
}

// True when two UTF-8 names are equal after upperCase of their UTF-16 forms. Names that are not
// valid UTF-8 (a file name in another encoding) compare by their bytes, ASCII letters folded.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace platform::posix::text
