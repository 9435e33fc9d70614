#include "platform/posix/Hive.h"

#include <cstddef>

#include "platform/posix/Text.h"

namespace platform::posix::hive {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::string_view kBaseComment = ";; All keys relative to ";
constexpr int kEndOfLine = -1;

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

void skipBlanks(std::string_view line, std::size_t& pos) {
  while (pos < line.size() && isBlank(line[pos])) ++pos;
}

bool onlyBlanksFrom(std::string_view line, std::size_t pos) {
  skipBlanks(line, pos);
  return pos == line.size();
}

// Decodes Wine's escaped text from line[pos] up to the unescaped terminator (or the end of the
// line for kEndOfLine); pos is left behind the terminator. Bytes that are not escaped are taken
// one code unit each, as Wine reads them. False when the terminator never comes.
bool unescape(std::string_view line, std::size_t& pos, int terminator, std::u16string& out) {
  while (pos < line.size()) {
    const auto c = static_cast<unsigned char>(line[pos++]);
    if (static_cast<int>(c) == terminator) return true;
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (pos == line.size()) return false;
    const auto e = static_cast<unsigned char>(line[pos++]);
    switch (e) {
      case 'a':
        out.push_back(7);
        break;
      case 'b':
        out.push_back(8);
        break;
      case 't':
        out.push_back(9);
        break;
      case 'n':
        out.push_back(10);
        break;
      case 'v':
        out.push_back(11);
        break;
      case 'f':
        out.push_back(12);
        break;
      case 'r':
        out.push_back(13);
        break;
      case 'e':
        out.push_back(27);
        break;
      case 'x': {
        unsigned unit = 0;
        int digits = 0;
        while (digits < 4 && pos < line.size() && hexDigit(line[pos]) >= 0) {
          unit = unit * 16 + static_cast<unsigned>(hexDigit(line[pos++]));
          ++digits;
        }
        out.push_back(digits ? static_cast<char16_t>(unit) : u'x');
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          unsigned unit = e - '0';
          for (int digits = 1;
               digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++digits)
            unit = unit * 8 + static_cast<unsigned>(line[pos++] - '0');
          out.push_back(static_cast<char16_t>(unit));
        } else {
          out.push_back(e);  // \\ \" \[ \] and any other escaped character: itself
        }
    }
  }
  return terminator == kEndOfLine;
}

// The folded, non-empty components of a backslash-separated path.
std::vector<std::u16string> components(std::u16string_view path) {
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) parts.push_back(text::upperCase(path.substr(start, end - start)));
    start = end + 1;
  }
  return parts;
}

// Up to eight hex digits, as a value type or a dword.
bool parseHex32(std::string_view line, std::size_t& pos, std::uint32_t& value) {
  value = 0;
  int digits = 0;
  while (pos < line.size() && hexDigit(line[pos]) >= 0) {
    if (++digits > 8) return false;
    value = value * 16 + static_cast<std::uint32_t>(hexDigit(line[pos++]));
  }
  return digits > 0;
}

bool startsWith(std::string_view line, std::size_t pos, std::string_view prefix) {
  return line.substr(pos, prefix.size()) == prefix;
}

void appendUtf16(std::vector<std::uint8_t>& data, std::u16string_view text) {
  data.reserve(data.size() + 2 * text.size());
  for (char16_t unit : text) {
    data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    data.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
}

// hex:bb,bb,... from line[pos], continuing over lines that end in a backslash.
bool parseHexList(const std::vector<std::string_view>& lines, std::size_t& index, std::size_t pos,
                  std::vector<std::uint8_t>& data) {
  std::string_view line = lines[index];
  for (;;) {
    skipBlanks(line, pos);
    if (pos == line.size()) return true;
    if (line[pos] == '\\') {
      // The list goes on only on a following line that begins with blanks.
      if (!onlyBlanksFrom(line, pos + 1) || index + 1 == lines.size() || lines[index + 1].empty() ||
          !isBlank(lines[index + 1][0]))
        return false;
      line = lines[++index];
      pos = 0;
      continue;
    }
    int high = hexDigit(line[pos]);
    if (high < 0) return false;
    ++pos;
    if (pos < line.size() && hexDigit(line[pos]) >= 0) high = high * 16 + hexDigit(line[pos++]);
    data.push_back(static_cast<std::uint8_t>(high));
    skipBlanks(line, pos);
    if (pos < line.size()) {
      if (line[pos] == ',')
        ++pos;
      else if (line[pos] != '\\')
        return false;
    }
  }
}

// The data of a value line from line[pos]: "text", str(T):"text", dword:, hex:, hex(T):.
bool parseData(const std::vector<std::string_view>& lines, std::size_t& index, std::size_t pos,
               Value& value) {
  const std::string_view line = lines[index];
  value.type = kRegSz;
  if (startsWith(line, pos, "str(")) {
    pos += 4;
    if (!parseHex32(line, pos, value.type) || !startsWith(line, pos, "):\"")) return false;
    pos += 2;
  }
  if (startsWith(line, pos, "\"")) {
    std::u16string text;
    if (!unescape(line, ++pos, '"', text)) return false;
    text.push_back(u'\0');
    appendUtf16(value.data, text);
    return true;
  }
  if (startsWith(line, pos, "dword:")) {
    pos += 6;
    std::uint32_t number = 0;
    if (!parseHex32(line, pos, number) || !onlyBlanksFrom(line, pos)) return false;
    value.type = kRegDword;
    for (int shift = 0; shift < 32; shift += 8)
      value.data.push_back(static_cast<std::uint8_t>(number >> shift));
    return true;
  }
  if (startsWith(line, pos, "hex:")) {
    value.type = kRegBinary;
    pos += 4;
  } else if (startsWith(line, pos, "hex(")) {
    pos += 4;
    if (!parseHex32(line, pos, value.type) || !startsWith(line, pos, "):")) return false;
    pos += 2;
  } else {
    return false;
  }
  return parseHexList(lines, index, pos, value.data);
}

// A value line ("@=..." or "\"NAME\"=..."), stored into key when it reads whole.
void parseValue(const std::vector<std::string_view>& lines, std::size_t& index, Key* key) {
  const std::string_view line = lines[index];
  std::u16string name;
  std::size_t pos = 1;
  if (line[0] == '"' && !unescape(line, pos, '"', name)) return;
  skipBlanks(line, pos);
  if (pos == line.size() || line[pos] != '=') return;
  ++pos;
  skipBlanks(line, pos);
  Value value;
  if (!parseData(lines, index, pos, value) || !key) return;
  key->values.insert_or_assign(text::upperCase(name), std::move(value));
}

// A key line "[path] SECONDS": the key, created with every key its path implies, or nullptr
// when the line cannot be read.
Key* parseKey(std::string_view line, Hive& hive) {
  std::u16string path;
  std::size_t pos = 1;
  if (!unescape(line, pos, ']', path)) return nullptr;
  Key* key = &hive.root;
  for (auto& part : components(path)) {
    auto& child = key->children[std::move(part)];
    if (!child) child = std::make_unique<Key>();
    key = child.get();
  }
  return key;
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::unique_ptr<Hive> parse(std::string_view text) {
  const std::vector<std::string_view> lines = splitLines(text);
  if (lines.empty() || lines[0] != kHeader) return nullptr;
  auto hive = std::make_unique<Hive>();
  Key* key = nullptr;
  bool seenKey = false;
  for (std::size_t index = 1; index < lines.size(); ++index) {
    const std::string_view line = lines[index];
    if (line.empty()) continue;
    switch (line[0]) {
      case '[':
        key = parseKey(line, *hive);
        seenKey = true;
        break;
      case '@':
      case '"':
        parseValue(lines, index, key);
        break;
      case '#':
        if (line == "#link" && key) key->link = true;
        if (!seenKey && line == "#arch=win64") hive->win64 = true;
        if (!seenKey && line == "#arch=win32") hive->win64 = false;
        break;
      case ';':
        if (!seenKey && line.starts_with(kBaseComment)) {
          std::u16string base;
          std::size_t pos = kBaseComment.size();
          if (unescape(line, pos, kEndOfLine, base)) hive->base = components(base);
        }
        break;
      default:
        break;
    }
  }
  return hive;
}

}  // namespace platform::posix::hive
