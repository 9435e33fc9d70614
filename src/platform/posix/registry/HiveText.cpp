#include "platform/posix/registry/HiveText.h"

#include <cstring>
#include <iostream>
#include <map>
#include <mutex>
#include <set>

#include "platform/posix/Text.h"

namespace platform::posix::hive {
namespace {

namespace fs = std::filesystem;

// Where the text ends for the reader: at the start of its first line longer than kMaxLine, as
// if the file ended there. Such a line holds a whole block of kMaxLine / 2 bytes, so only the
// blocks without a line end are looked at closer: a few memchr calls for a hive of megabytes.
std::size_t readableSize(std::string_view text) {
  constexpr std::size_t kBlock = kMaxLine / 2;
  for (std::size_t block = 0; block < text.size(); block += kBlock) {
    const std::size_t size = std::min(kBlock, text.size() - block);
    if (std::memchr(text.data() + block, '\n', size)) continue;
    const std::size_t before = text.rfind('\n', block);
    const std::size_t start = before == std::string_view::npos ? 0 : before + 1;
    const std::size_t end = std::min(text.find('\n', block + size), text.size());
    if (end - start > kMaxLine) return start;
    block = end / kBlock * kBlock;  // the line is short: go on behind it
  }
  return text.size();
}

// Says once for each path in a run that the file is too big to read.
void tellTooBig(const fs::path& file) {
  static std::set<fs::path> told;
  if (told.insert(file).second)
    std::cerr << "kestrun: " << file.string() << ": registry file larger than " << (kMaxHive >> 20)
              << " MiB, read as empty" << std::endl;
}

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

bool startsWith(std::string_view line, std::size_t pos, std::string_view prefix) {
  return line.substr(pos, prefix.size()) == prefix;
}

char16_t fold(int unit) {
  if (unit < 0x80) return static_cast<char16_t>(text::upperAscii(static_cast<char>(unit)));
  return text::upperUnit(static_cast<char16_t>(unit));
}

// The unit an escape stands for, line[pos] being the character after the backslash; pos is
// left behind the escape. kBroken when the line ends first.
int escaped(std::string_view line, std::size_t& pos) {
  if (pos == line.size()) return kBroken;
  const auto e = static_cast<unsigned char>(line[pos++]);
  switch (e) {
    case 'a':
      return 7;
    case 'b':
      return 8;
    case 't':
      return 9;
    case 'n':
      return 10;
    case 'v':
      return 11;
    case 'f':
      return 12;
    case 'r':
      return 13;
    case 'e':
      return 27;
    case 'x': {
      int unit = 0;
      int digits = 0;
      while (digits < 4 && pos < line.size() && hexDigit(line[pos]) >= 0) {
        unit = unit * 16 + hexDigit(line[pos++]);
        ++digits;
      }
      return digits ? unit : 'x';
    }
    default:
      if (e >= '0' && e <= '7') {
        int unit = e - '0';
        for (int digits = 1;
             digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++digits)
          unit = unit * 8 + (line[pos++] - '0');
        return unit;
      }
      return e;  // \\ \" \[ \] and any other escaped character: itself
  }
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

// hex:bb,bb,... from line[pos], continuing over lines that end in a backslash.
bool parseHexList(Lines& lines, std::string_view line, std::size_t pos,
                  std::vector<std::uint8_t>& data) {
  for (;;) {
    skipBlanks(line, pos);
    if (pos == line.size()) return true;
    if (line[pos] == '\\') {
      // The list goes on only on a following line that begins with blanks.
      if (!onlyBlanksFrom(line, pos + 1)) return false;
      std::string_view following;
      if (!lines.next(following)) return false;
      if (following.empty() || !isBlank(following[0])) {
        lines.putBack();
        return false;
      }
      line = following;
      pos = 0;
      continue;
    }
    int high = hexDigit(line[pos]);
    if (high < 0) return false;
    ++pos;
    if (pos < line.size() && hexDigit(line[pos]) >= 0) high = high * 16 + hexDigit(line[pos++]);
    if (data.size() == kMaxLine) return false;  // more data than any line may hold
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

}  // namespace

std::shared_ptr<const Text> load(const fs::path& file) {
  RegularFile source(file);
  if (!source.open()) return nullptr;
  const Identity identity = source.identity();
  // The texts still held somewhere, by path: an open key keeps its hive's text, so a hive is
  // not read again while keys of it are open and the file stays as it was.
  static std::mutex mutex;
  static std::map<fs::path, std::weak_ptr<const Text>> held;
  const std::lock_guard lock(mutex);
  std::erase_if(held, [](const auto& entry) { return entry.second.expired(); });
  if (const auto found = held.find(file); found != held.end())
    if (auto text = found->second.lock(); text && text->identity == identity) return text;

  auto text = std::make_shared<Text>();
  text->identity = identity;
  auto whole = RegularFile::Whole::TooBig;
  if (identity.size <= kMaxHive) whole = source.readWhole(kMaxHive, text->bytes);
  if (whole == RegularFile::Whole::TooBig) {
    text->bytes = Bytes();
    tellTooBig(file);
  }
  text->bytes.resize(readableSize(view(text->bytes)));
  // A read that failed is tried again by the next load.
  if (whole != RegularFile::Whole::Failed) held[file] = text;
  return text;
}

bool Lines::next(std::string_view& line) {
  if (next_ >= text_.size()) return false;
  const std::size_t end = std::min(text_.find('\n', next_), text_.size());
  line = text_.substr(next_, end - next_);
  if (line.ends_with('\r')) line.remove_suffix(1);
  start_ = next_;
  next_ = end + 1;
  return true;
}

bool Lines::nextHeader(std::string_view& line, std::string_view skip) {
  const char* const begin = text_.data();
  const char* const end = begin + text_.size();
  for (const char* at = begin + std::min(next_, text_.size()); at < end; ++at) {
    at = static_cast<const char*>(std::memchr(at, '[', static_cast<std::size_t>(end - at)));
    if (!at) break;
    if (at != begin && at[-1] != '\n') continue;
    const std::string_view rest(at, static_cast<std::size_t>(end - at));
    if (!skip.empty() && rest.starts_with(skip)) {
      at += skip.size() - 1;
      continue;
    }
    next_ = static_cast<std::size_t>(at - begin);
    return next(line);
  }
  next_ = text_.size();
  return false;
}

bool unescape(std::string_view line, std::size_t& pos, int terminator, std::u16string& out) {
  while (pos < line.size()) {
    const auto c = static_cast<unsigned char>(line[pos++]);
    if (static_cast<int>(c) == terminator) return true;
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    const int unit = escaped(line, pos);
    if (unit == kBroken) return false;
    out.push_back(static_cast<char16_t>(unit));
  }
  return terminator == kEndOfLine;
}

int PathUnits::next() {
  if (closed_) return kClosed;
  if (pos_ >= line_.size()) return kBroken;
  const auto c = static_cast<unsigned char>(line_[pos_++]);
  if (c == ']') {
    closed_ = true;
    return kClosed;
  }
  escapedLast_ = c == '\\';
  return escapedLast_ ? escaped(line_, pos_) : c;
}

// The character after a backslash is never the terminator; the digits some escapes go on with
// are neither ']' nor a backslash.
bool PathUnits::closes() const {
  if (closed_) return true;
  for (std::size_t pos = pos_; pos < line_.size();) {
    const char c = line_[pos++];
    if (c == ']') return true;
    if (c == '\\') ++pos;
  }
  return false;
}

Match matchComponent(PathUnits& units, const std::u16string* part, bool wow) {
  int unit;
  do unit = units.next();
  while (unit == '\\');
  if (unit == PathUnits::kClosed) return Match::End;
  std::size_t k = 0;
  bool isPart = part != nullptr;
  for (;;) {
    if (unit == kBroken) return Match::Broken;
    const char16_t upper = fold(unit);
    isPart = isPart && k < part->size() && (*part)[k] == upper;
    wow = wow && k < kWow.size() && kWow[k] == upper;
    ++k;
    if (!isPart && !wow) return Match::None;
    unit = units.next();
    if (unit == '\\' || unit == PathUnits::kClosed) {
      if (isPart && k == part->size()) return Match::Part;
      if (wow && k == kWow.size()) return Match::Wow;
      return Match::None;
    }
  }
}

std::size_t dataOf(std::string_view line, std::u16string_view name) {
  if (line.empty() || (line[0] != '@' && line[0] != '"')) return 0;
  std::u16string valueName;
  std::size_t pos = 1;
  if (line[0] == '"' && !unescape(line, pos, '"', valueName)) return 0;
  if (valueName.size() != name.size() || text::upperCase(valueName) != name) return 0;
  skipBlanks(line, pos);
  if (pos == line.size() || line[pos] != '=') return 0;
  ++pos;
  skipBlanks(line, pos);
  return pos;
}

bool parseData(Lines& lines, std::string_view line, std::size_t pos, Value& value) {
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
    text::appendUtf16Bytes(value.data, text);
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
  return parseHexList(lines, line, pos, value.data);
}

}  // namespace platform::posix::hive
