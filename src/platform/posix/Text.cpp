#include "platform/posix/Text.h"

#include <unicode/uchar.h>

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
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    int extra = 0;
    char32_t point = 0;
    char32_t least = 0;
    if (lead < 0x80) {
      point = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, point = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, point = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, point = lead & 0x07, least = 0x10000;
    } else {
      if (valid) *valid = false;
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    for (int k = 0; k < extra; ++k, ++j) {
      if (j >= utf8.size() || (static_cast<unsigned char>(utf8[j]) & 0xC0) != 0x80) break;
      point = (point << 6) | (static_cast<unsigned char>(utf8[j]) & 0x3F);
    }
    if (j - i != static_cast<std::size_t>(extra) + 1 || point < least || point > 0x10FFFF ||
        (point >= 0xD800 && point <= 0xDFFF)) {
      if (valid) *valid = false;
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (point >= 0x10000) {
      point -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(point));
    }
    i = j;
  }
  return out;
}

std::string utf8Of(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t point = utf16[i];
    if (point >= 0xD800 && point <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      point = 0x10000 + ((point - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    } else if (point >= 0xD800 && point <= 0xDFFF) {
      point = 0xFFFD;
    }
    if (point < 0x80) {
      out.push_back(static_cast<char>(point));
    } else if (point < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (point >> 6)));
      out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else if (point < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (point >> 12)));
      out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (point >> 18)));
      out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    }
  }
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
