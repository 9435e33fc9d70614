// Fuzzes the profile text rules: any bytes as a profile, read in both modes at any buffer size,
// and one write whose result must read back as written while every line it did not touch keeps
// its bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/ProfileText.h"

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

  // Keys the profile function refuses: they would read back as a header or a byte-order mark.
  if (trimmed(key).starts_with("[") || trimmed(key).starts_with("\xEF\xBB\xBF")) return 0;
  const auto written = withValue(text, section, key, value);
  const std::string& after = written ? *written : text;

  std::vector<char> big(value.size() + 2);
  n = readValue(after, section, key, "\x01missing", big.data(),
                static_cast<std::uint32_t>(big.size()));
  check(std::string(big.data(), n) == value, "a write reads back as the value written");

  // Everything the write took away lies inside one line: every other line kept its bytes.
  if (written) {
    std::size_t prefix = 0;
    while (prefix < text.size() && prefix < after.size() && text[prefix] == after[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < text.size() - prefix && suffix < after.size() - prefix &&
           text[text.size() - 1 - suffix] == after[after.size() - 1 - suffix])
      ++suffix;
    const std::string removed = text.substr(prefix, text.size() - prefix - suffix);
    check(removed.find_first_of("\r\n") == std::string::npos, "only one line changes");
  }
  return 0;
}
