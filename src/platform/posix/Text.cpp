#include "platform/posix/Text.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace platform::posix::text {

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

char16_t upperUnit(char16_t unit) {
  if (unit < 0x80) return static_cast<char16_t>(upperAscii(static_cast<char>(unit)));
  if (unit >= 0xD800 && unit <= 0xDFFF) return unit;
  const UChar32 upper = u_toupper(unit);
  // Every simple mapping of a BMP character stays in the BMP; keep the unit if one ever did not.
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
}

std::u16string upperCase(std::u16string_view text) {
  std::u16string upper(text);
  for (auto& unit : upper) unit = upperUnit(unit);
  return upper;
}

std::u16string utf16Of(std::string_view utf8, bool* valid) {
  if (valid) *valid = true;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
  const auto length = static_cast<std::int64_t>(utf8.size());
  std::u16string out(utf8.size(), u'\0');  // never more units than bytes
  std::size_t units = 0;
  for (std::int64_t i = 0; i < length;) {
    const std::int64_t start = i;
    UChar32 point;
    U8_NEXT(bytes, i, length, point);
    if (point < 0) {
      // ICU skips the longest ill-formed start of a sequence at once; each of its bytes is
      // one U+FFFD here, so the next sequence starts one byte on.
      if (valid) *valid = false;
      point = 0xFFFD;
      i = start + 1;
    }
    U16_APPEND_UNSAFE(out.data(), units, point);
  }
  out.resize(units);
  return out;
}

std::string utf8Of(std::u16string_view utf16) {
  const auto length = static_cast<std::int64_t>(utf16.size());
  std::string out(3 * utf16.size(), '\0');  // at most three bytes a unit, U+FFFD included
  auto* bytes = reinterpret_cast<std::uint8_t*>(out.data());
  std::size_t written = 0;
  for (std::int64_t i = 0; i < length;) {
    UChar32 point;
    U16_NEXT(utf16.data(), i, length, point);
    if (U_IS_SURROGATE(point)) point = 0xFFFD;  // a surrogate without its pair
    U8_APPEND_UNSAFE(bytes, written, point);
  }
  out.resize(written);
  return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && equalsIgnoringAsciiCase(a, b)) return true;
  bool validA = true;
  bool validB = true;
  const std::u16string ua = utf16Of(a, &validA);
  const std::u16string ub = utf16Of(b, &validB);
  if (!validA || !validB || ua.size() != ub.size()) return false;
  for (std::size_t i = 0; i < ua.size(); ++i)
    if (upperUnit(ua[i]) != upperUnit(ub[i])) return false;
  return true;
}

}  // namespace platform::posix::text
