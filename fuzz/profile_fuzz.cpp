// Fuzzes the profile text rules: any bytes as a profile (8-bit or UTF-16), read in both modes at
// any buffer size, and one write whose result must read back as
// written while every line it did not touch keeps its bytes (its units, in UTF-16).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/profile/ProfileText.h"

namespace {

using namespace platform::posix::profile;

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n' || c == '\x1A';
}

std::string trimmed(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string withoutNulOrBreak(std::string s) {
  for (char& c : s)
    if (c == '\0' || c == '\r' || c == '\n') c = '_';
  return s;
}

bool isUtf16(const std::string& text) {
  return text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF");
}

// The text's units: bytes, or UTF-16 units (as pairs of bytes) after the mark.
std::vector<std::string> unitsOf(const std::string& text) {
  std::vector<std::string> units;
  const std::size_t step = isUtf16(text) ? 2 : 1;
  for (std::size_t i = 0; i < text.size(); i += step) units.push_back(text.substr(i, step));
  return units;
}

bool isBreakUnit(const std::string& unit, bool bigEndian) {
  if (unit.size() == 1) return unit[0] == '\r' || unit[0] == '\n';
  const char high = bigEndian ? unit[0] : unit[1], low = bigEndian ? unit[1] : unit[0];
  return high == '\0' && (low == '\r' || low == '\n');
}

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  // What the program's writes can carry: no NUL (C strings), no line break (refused), a key
  // that does not open with '[' (refused) nor holds '=' (it would read back as a shorter key),
  // and a value that reads back as itself (trimmed, not wrapped in one pair of quotes).
  const std::string section = withoutNulOrBreak(in.ConsumeRandomLengthString(24));
  std::string key = withoutNulOrBreak(in.ConsumeRandomLengthString(24));
  for (char& c : key)
    if (c == '=') c = '_';
  std::string value = trimmed(withoutNulOrBreak(in.ConsumeRandomLengthString(64)));
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    value.insert(0, "x");
  const auto readSize = in.ConsumeIntegralInRange<std::uint32_t>(1, 1100);
  const std::string text = in.ConsumeRemainingBytesAsString();

  std::vector<char> buffer(readSize);
  std::uint32_t n = readValue(text, section, key, "default", buffer.data(), readSize);
  check(n < readSize && buffer[n] == '\0', "a value read ends in NUL inside the buffer");
  n = readKeyNames(text, section, "default", buffer.data(), readSize);
  check(n < readSize, "a key list fits its buffer");

  // Keys a write refuses: they would read back as a header or a byte-order mark.
  bool refusedKey = false;
  for (const char* mark : {"[", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"})
    refusedKey = refusedKey || trimmed(key).starts_with(mark);
  const platform::posix::NewContent written = withValue(text, section, key, value);
  check(refusedKey == !isWritable(section, key, value), "exactly those keys are refused");
  if (written.kind == platform::posix::NewContent::Kind::Refused) {
    check(refusedKey || isUtf16(text),
          "only such a key or a write into UTF-16 text is refused (for text that is not UTF-8)");
    return 0;
  }
  const bool changed = written.kind == platform::posix::NewContent::Kind::Changed;
  const std::string& after = changed ? written.bytes : text;

  std::vector<char> big(value.size() + 2);
  n = readValue(after, section, key, "\x01missing", big.data(),
                static_cast<std::uint32_t>(big.size()));
  check(std::string(big.data(), n) == value, "a write reads back as the value written");

  // Everything the write took away lies inside one line: every other line kept its units.
  if (changed) {
    check(
        isUtf16(after) == isUtf16(text) && (text.size() % 2 == after.size() % 2 || !isUtf16(text)),
        "a write keeps the text's encoding");
    const std::vector<std::string> a = unitsOf(text), b = unitsOf(after);
    std::size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
           a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
      ++suffix;
    const bool bigEndian = text.starts_with("\xFE\xFF");
    for (std::size_t i = prefix; i < a.size() - suffix; ++i)
      check(!isBreakUnit(a[i], bigEndian), "only one line changes");
  }
  return 0;
}
