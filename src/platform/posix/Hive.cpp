#include "platform/posix/Hive.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "platform/posix/Text.h"

namespace platform::posix::hive {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::string_view kBaseComment = ";; All keys relative to ";
constexpr std::u16string_view kWow = u"WOW6432NODE";
constexpr std::u16string_view kLinkValue = u"SYMBOLICLINKVALUE";
constexpr std::u16string_view kDefaultUser = u".DEFAULT";
constexpr std::u16string_view kWineUser = u"S-1-5-21-0-0-0-1000";
const std::vector<std::u16string> kClasses = {u"SOFTWARE", u"CLASSES"};
const std::vector<std::u16string> kClassesWow = {u"SOFTWARE", u"CLASSES", u"WOW6432NODE"};
constexpr int kEndOfLine = -1;
constexpr int kBroken = -2;
constexpr std::size_t kPiece = 128 * 1024;  // what a file is read in

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
    const int unit = escaped(line, pos);
    if (unit == kBroken) return false;
    out.push_back(static_cast<char16_t>(unit));
  }
  return terminator == kEndOfLine;
}

// True when a key line has its closing ']' at or after line[pos] (pos at an escape boundary).
// The character after a backslash is never the terminator; the digits some escapes go on with
// are neither ']' nor a backslash.
bool closes(std::string_view line, std::size_t pos) {
  while (pos < line.size()) {
    const char c = line[pos++];
    if (c == ']') return true;
    if (c == '\\') ++pos;
  }
  return false;
}

// The units of a key line's path, one at a time, from behind its '['.
class PathUnits {
 public:
  static constexpr int kClosed = -1;  // the closing ']' (and every call after it)

  explicit PathUnits(std::string_view line) : line_(line) {}

  int next() {
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
  std::size_t pos() const { return pos_; }
  // Whether the unit given last was escaped.
  bool escapedLast() const { return escapedLast_; }
  // Whether the line closes: ']' passed already, or still to come behind pos.
  bool closes() const { return closed_ || hive::closes(line_, pos_); }

 private:
  std::string_view line_;
  std::size_t pos_ = 1;
  bool closed_ = false;
  bool escapedLast_ = false;
};

enum class Match { End, Part, Wow, None, Broken };

// Decodes the path's next component (empty ones are skipped: doubled separators) and compares
// it, folded, with the route's part (when given) and with Wow6432Node (when wow). Stops at the
// first unit that matches neither, so most key lines cost a few bytes.
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

// The lines of a hive file from where its source stands, front to back. A line is given
// without its line end ("\n" or "\r\n") and stays valid until the next call.
class Lines {
 public:
  // `start`: the file offset the source reads from.
  Lines(Source& source, std::uint64_t start) : source_(source), base_(start) {}

  // The next line, of at most `bound` bytes. A longer line ends the reading: it and all after
  // it are not read.
  bool next(std::string_view& line, std::size_t bound = kMaxLine) {
    std::size_t searched = pos_;
    for (;;) {
      const std::size_t limit = std::min(data_.size(), pos_ + bound + 1);
      const void* found =
          searched < limit ? std::memchr(data_.data() + searched, '\n', limit - searched) : nullptr;
      if (found) {
        const auto at = static_cast<std::size_t>(static_cast<const char*>(found) - data_.data());
        give(line, at, at + 1);
        return true;
      }
      if (data_.size() - pos_ > bound) return stop();
      searched = data_.size() - pos_;
      if (!refill(pos_)) {
        if (pos_ >= data_.size()) return false;
        give(line, data_.size(), data_.size());
        return true;
      }
    }
  }

  // The next line that begins with '[' (a key line), the lines before it skipped unread, and
  // so are key lines that begin with `skip`.
  bool nextHeader(std::string_view& line, std::string_view skip) {
    std::size_t from = pos_;
    std::size_t lineSoFar = 0;  // bytes of the line data_[from] is in, before from
    for (;;) {
      const char* begin = data_.data();
      const char* at = begin + from;
      const char* end = begin + data_.size();
      while (at < end) {
        const auto* bracket = static_cast<const char*>(std::memchr(at, '[', end - at));
        if (!bracket) break;
        if (bracket == begin + from ? lineSoFar == 0 : bracket[-1] == '\n') {
          if (!skip.empty() && static_cast<std::size_t>(end - bracket) > skip.size() &&
              std::memcmp(bracket, skip.data(), skip.size()) == 0) {
            at = bracket + skip.size();
            continue;
          }
          pos_ = static_cast<std::size_t>(bracket - begin);
          return next(line);
        }
        at = bracket + 1;
      }
      // The line the bytes end in goes on into the next piece, unless it is too long already.
      const std::size_t scanned = data_.size() - from;
      const auto* lastEnd =
          scanned ? static_cast<const char*>(memrchr(begin + from, '\n', scanned)) : nullptr;
      lineSoFar = lastEnd ? static_cast<std::size_t>(end - lastEnd - 1) : lineSoFar + scanned;
      if (lineSoFar > kMaxLine) return stop();
      pos_ = data_.size();
      if (!refill(pos_)) return false;
      from = pos_;
    }
  }

  // Gives the line `next` gave last once more.
  void putBack() { pos_ = lineStart_; }
  // The file offset of the line `next` gave last.
  std::uint64_t offset() const { return base_ + lineStart_; }

 private:
  void give(std::string_view& line, std::size_t lineEnd, std::size_t nextStart) {
    line = data_.substr(pos_, lineEnd - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lineStart_ = pos_;
    pos_ = nextStart;
  }

  // Ends the reading at a line longer than the bound.
  bool stop() {
    end_ = true;
    data_ = {};
    pos_ = lineStart_ = 0;
    return false;
  }

  // Reads more bytes behind those from `keep` on, which move to the buffer's front. The buffer
  // grows only when what is kept fills it (one line longer than a piece), and never past what
  // a line of the bound and one more piece need.
  bool refill(std::size_t keep) {
    if (end_) return false;
    // data_ lies at the buffer's front; growing keeps the bytes where they are.
    const std::size_t kept = data_.size() - keep;
    if (buffer_.size() < kPiece) buffer_.resize(kPiece);
    if (kept > buffer_.size() / 2) buffer_.resize(std::min(2 * buffer_.size(), kMaxLine + kPiece));
    if (kept) std::memmove(buffer_.data(), buffer_.data() + keep, kept);
    const std::size_t got = source_.read(buffer_.data() + kept, buffer_.size() - kept);
    data_ = std::string_view(buffer_.data(), kept + got);
    base_ += keep;
    pos_ -= keep;
    lineStart_ = lineStart_ >= keep ? lineStart_ - keep : pos_;
    if (got == 0) end_ = true;
    return got > 0;
  }

  Source& source_;
  std::uint64_t base_;  // the file offset of data_[0]
  std::string buffer_;
  std::string_view data_;
  std::size_t pos_ = 0;        // where the next line begins
  std::size_t lineStart_ = 0;  // where the line given last began
  bool end_ = false;
};

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

// The data of a value line from line[pos]: "text", str(T):"text", dword:, hex:, hex(T):.
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

// What one pass learned about the keys a walk along a route may visit: a tree holding only keys
// that exist, each with at most two children (the route's next component, and a Wow6432Node
// stepped into before it), and for the keys that lines name, where their sections begin and
// whether they are symbolic links.
//
// A route is the stored path a walk may take through one file: the first `fixed` components
// are followed as stored; when view32 is set and the hive is win64, the walk may step into a
// child Wow6432Node before each later component that is not itself Wow6432Node, and after the
// last.
struct Route {
  const std::vector<std::u16string>& parts;
  std::size_t fixed = 0;
  bool view32 = false;
};

struct Survey {
  using Id = std::uint32_t;
  static constexpr Id kNone = UINT32_MAX;
  static constexpr Id kRoot = 0;
  struct Node {
    Id parent = kNone, next = kNone, wow = kNone;
    std::uint32_t consumed = 0;  // how many of the route's components lie on the way to it
    bool isWow = false;          // named Wow6432Node
    bool stepped = false;  // a Wow6432Node the 32-bit view stepped into, not a part of the route
    bool link = false;     // "#link"
    std::optional<Value> target;                    // its SymbolicLinkValue
    std::uint64_t first = kNoLine, last = kNoLine;  // its first and last key lines
  };

  bool isHive = false;
  bool win64 = false;  // "#arch=win64"
  // The folded components of the NT path the file's keys are relative to, from the comment
  // ";; All keys relative to ..."; empty when not given.
  std::vector<std::u16string> base;
  std::vector<Node> nodes;

  // The key's folded path from the file's root, as stored.
  std::vector<std::u16string> path(Id key, const Route& route) const {
    std::vector<std::u16string> parts;
    for (; key != kRoot; key = nodes[key].parent)
      parts.emplace_back(nodes[key].stepped ? kWow : route.parts[nodes[key].consumed - 1]);
    std::reverse(parts.begin(), parts.end());
    return parts;
  }
};

// One pass over a hive for a route: places each key line on the route's tree of keys, and reads
// the lines of the keys it must know more of.
class Pass {
 public:
  Pass(Source& source, std::uint64_t start, const Route& route, Survey& survey)
      : lines_(source, start), route_(route), survey_(survey) {}

  // The lines before the first key; false when the bytes are no hive.
  bool preamble() {
    std::string_view line;
    // The header is checked on the first bytes alone: a first line any longer is no header.
    if (!lines_.next(line, kHeader.size() + 1) || line != kHeader) return false;
    while (lines_.next(line)) {
      if (!line.empty() && line[0] == '[') {
        lines_.putBack();
        break;
      }
      if (line == "#arch=win64") survey_.win64 = true;
      if (line == "#arch=win32") survey_.win64 = false;
      if (line.starts_with(kBaseComment)) {
        std::u16string base;
        std::size_t pos = kBaseComment.size();
        if (unescape(line, pos, kEndOfLine, base)) survey_.base = components(base);
      }
    }
    survey_.isHive = true;
    return true;
  }

  // Every key line through the route, up to the one at file offset `last`, noting where each
  // key's sections begin. With a value name, reads that value of the key at the route's end
  // instead of the keys' links.
  void keys(const std::u16string* valueName, std::optional<Value>* value,
            std::uint64_t last = kNoLine) {
    redirect_ = route_.view32 && survey_.win64;
    survey_.nodes.assign(1, Survey::Node{});
    std::string_view line;
    while (lines_.nextHeader(line, skip_) && lines_.offset() <= last) {
      const Survey::Id key = place(line);
      if (key == Survey::kNone) continue;
      Survey::Node& node = survey_.nodes[key];
      if (node.first == kNoLine) node.first = lines_.offset();
      node.last = lines_.offset();
      if (valueName) {
        if (node.consumed == route_.parts.size()) section(key, *valueName, value);
      } else if (key != Survey::kRoot) {
        std::optional<Value> target;
        section(key, kLinkValue, &target);
        if (target) survey_.nodes[key].target = std::move(target);
      }
    }
  }

 private:
  // The key a key line names when its whole path lies on the route, adding the keys the path
  // passes on the way (they exist, named or implied); kNone otherwise.
  Survey::Id place(std::string_view line) {
    PathUnits units(line);
    Survey::Id key = Survey::kRoot;
    std::uint32_t depth = 0;
    bool whole = false;  // whether the line closes: checked once, before it adds its first key
    for (;;) {
      const Survey::Node& node = survey_.nodes[key];
      const std::size_t j = node.consumed;
      const std::u16string* part = j < route_.parts.size() ? &route_.parts[j] : nullptr;
      const bool wow = redirect_ && j >= route_.fixed && !node.isWow && (!part || *part != kWow);
      const Match match = matchComponent(units, part, wow);
      if (match == Match::End) return key;
      if (match == Match::None) {
        // Any line that begins with the same bytes leaves the route at the same unit: Wine
        // writes keys sorted, so most of the lines that follow are skipped by this prefix alone.
        // An escape such as \x5 may go on with more digits in another line (\x53 is S), so
        // the byte that ended it belongs to the prefix.
        std::size_t end = units.pos();
        if (units.escapedLast()) end = end < line.size() ? end + 1 : 0;
        skip_.assign(line.substr(0, end));
        return Survey::kNone;
      }
      if (match != Match::Part && match != Match::Wow) return Survey::kNone;
      Survey::Id child = match == Match::Part ? node.next : node.wow;
      if (child == Survey::kNone) {
        if (depth + 1 > kMaxDepth) return Survey::kNone;
        if (!whole && !(whole = units.closes())) return Survey::kNone;
        Survey::Node added;
        added.parent = key;
        added.consumed = static_cast<std::uint32_t>(match == Match::Part ? j + 1 : j);
        added.isWow = match == Match::Wow || *part == kWow;
        added.stepped = match == Match::Wow;
        child = static_cast<Survey::Id>(survey_.nodes.size());
        survey_.nodes.push_back(std::move(added));
        (match == Match::Part ? survey_.nodes[key].next : survey_.nodes[key].wow) = child;
      }
      key = child;
      ++depth;
    }
  }

  // The lines of one section of key up to the next key line: "#link", and the value `name`
  // (the last line that reads whole wins).
  void section(Survey::Id key, std::u16string_view name, std::optional<Value>* value) {
    std::string_view line;
    while (lines_.next(line)) {
      if (line.empty()) continue;
      if (line[0] == '[') {
        lines_.putBack();
        return;
      }
      if (line == "#link") survey_.nodes[key].link = true;
      if (line[0] != '@' && line[0] != '"') continue;
      std::u16string valueName;
      std::size_t pos = 1;
      if (line[0] == '"' && !unescape(line, pos, '"', valueName)) continue;
      if (valueName.size() != name.size() || text::upperCase(valueName) != name) continue;
      skipBlanks(line, pos);
      if (pos == line.size() || line[pos] != '=') continue;
      ++pos;
      skipBlanks(line, pos);
      Value read;
      if (parseData(lines_, line, pos, read)) *value = std::move(read);
    }
  }

  Lines lines_;
  const Route& route_;
  Survey& survey_;
  bool redirect_ = false;
  std::string skip_;  // the start of the last key line that left the route
};

// The survey of a whole hive file along a route, and the file it read.
Survey surveyOf(Source& source, const Route& route) {
  Survey survey;
  Pass pass(source, 0, route, survey);
  if (pass.preamble()) pass.keys(nullptr, nullptr);
  return survey;
}

// Where one round of a walk, over one survey, ended.
struct Round {
  enum End { Found, Missing, Link, SharedClass } end = Missing;
  Survey::Id key = Survey::kNone;  // Found: the key reached; Link: the link
  std::size_t followed = 0;        // Link, SharedClass: the route's components behind the walk
};

// Whether key is Software\Classes\Wow6432Node of system.reg.
bool isClassesWow(const Survey& survey, Survey::Id key, const Route& route) {
  return survey.nodes[key].isWow && survey.path(key, route) == kClassesWow;
}

// Follows the route through what one pass surveyed, as far as the survey goes.
Round follow(const Survey& survey, const Route& route, File file) {
  const bool view32 = route.view32 && survey.win64;
  const std::size_t count = route.parts.size();
  const auto& nodes = survey.nodes;
  Survey::Id key = Survey::kRoot;
  for (std::size_t j = 0;; ++j) {
    const bool viewed = view32 && j >= route.fixed;
    if (viewed && !nodes[key].isWow && (j == count || route.parts[j] != kWow) &&
        nodes[key].wow != Survey::kNone) {
      key = nodes[key].wow;
      if (nodes[key].link) return {Round::Link, key, j};
    }
    if (j == count) return {Round::Found, key, j};
    Survey::Id child = nodes[key].next;
    if (child == Survey::kNone && viewed && file == File::System &&
        isClassesWow(survey, key, route)) {
      // Classes are shared between the views: what Software\Classes\Wow6432Node lacks is the
      // 64-bit key of Software\Classes.
      if (!nodes[key].stepped) return {Round::SharedClass, key, j};
      child = nodes[nodes[key].parent].next;
    }
    if (child == Survey::kNone) return {Round::Missing};
    key = child;
    if (nodes[key].link) return {Round::Link, key, j + 1};
  }
}

// Points path at the target of a link (\Registry\Machine\..., \Registry\User\.Default\...,
// \Registry\User\<userSid>\...) with the components not followed yet. A link names its
// target as it is stored: no 32-bit view inside it.
bool retarget(const fs::path& prefix, const std::optional<Value>& target, std::size_t followed,
              Path& path) {
  if (!target || target->type != kRegLink) return false;
  std::vector<std::u16string> parts =
      components(text::utf16OfBytes(target->data.data(), target->data.size()));
  if (parts.size() < 2 || parts[0] != u"REGISTRY") return false;
  std::size_t from = 2;
  if (parts[1] == u"MACHINE") {
    path.file = File::System;
  } else if (parts[1] == u"USER" && parts.size() > 2) {
    from = 3;
    if (parts[2] == kDefaultUser)
      path.file = File::UserDefault;
    else if (parts[2] == userSid(prefix))
      path.file = File::User;
    else
      return false;
  } else {
    return false;
  }
  parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(from));
  const std::size_t targetSize = parts.size();
  parts.insert(parts.end(), path.parts.begin() + static_cast<std::ptrdiff_t>(followed),
               path.parts.end());
  path.fixed = targetSize + (path.fixed > followed ? path.fixed - followed : 0);
  path.parts = std::move(parts);
  return true;
}

// The value `name` of key, from the lines of its sections in source (the file the walk read).
std::optional<Value> valueIn(Source& source, const Key& key, std::u16string_view name) {
  if (key.first == kNoLine || !source.seek(key.first)) return std::nullopt;
  Survey survey;
  const Route route{key.stored, key.stored.size(), false};
  const std::u16string folded(name);
  std::optional<Value> value;
  Pass(source, key.first, route, survey).keys(&folded, &value, key.last);
  return value;
}

}  // namespace

Source::Source(const std::filesystem::path& file) : file_(file) {
  if (!file_.open()) return;
  const struct stat& info = file_.status();
  identity_ = Identity{info.st_dev, info.st_ino, static_cast<std::uint64_t>(info.st_size),
                       info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
}

fs::path pathOf(const fs::path& prefix, File file) {
  switch (file) {
    case File::System:
      return prefix / "system.reg";
    case File::User:
      return prefix / "user.reg";
    case File::UserDefault:
      break;
  }
  return prefix / "userdef.reg";
}

std::u16string userSid(const fs::path& prefix) {
  Source source(pathOf(prefix, File::User));
  Survey survey;
  const std::vector<std::u16string> none;
  const Route route{none};
  const auto& base = survey.base;
  if (Pass(source, 0, route, survey).preamble() && base.size() == 3 && base[0] == u"REGISTRY" &&
      base[1] == u"USER")
    return base[2];
  return std::u16string(kWineUser);
}

std::optional<Key> walk(const fs::path& prefix, const Path& asked) {
  Path path = asked;
  for (int links = 0;;) {
    if (path.parts.size() > kMaxDepth) return std::nullopt;
    const Route route{path.parts, path.fixed, path.view32};
    Source source(pathOf(prefix, path.file));
    const Survey survey = surveyOf(source, route);
    if (!survey.isHive) return std::nullopt;
    const Round round = follow(survey, route, path.file);
    switch (round.end) {
      case Round::Found: {
        const Survey::Node& node = survey.nodes[round.key];
        return Key{asked,      path.file, survey.path(round.key, route), *source.identity(),
                   node.first, node.last};
      }
      case Round::Missing:
        return std::nullopt;
      case Round::Link:
        if (++links > kMaxLinks ||
            !retarget(prefix, survey.nodes[round.key].target, round.followed, path))
          return std::nullopt;
        break;
      case Round::SharedClass: {
        std::vector<std::u16string> parts(kClasses.begin(), kClasses.end());
        parts.insert(parts.end(), path.parts.begin() + static_cast<std::ptrdiff_t>(round.followed),
                     path.parts.end());
        // The component Classes\Wow6432Node lacked is taken as stored under Classes.
        path = Path{File::System, std::move(parts), kClasses.size() + 1, true};
        break;
      }
    }
  }
}

std::optional<Value> query(const fs::path& prefix, Key& key, std::u16string_view name) {
  // A hive that keeps changing under the reader is given up after a few walks.
  for (int walks = 0; walks < 4; ++walks) {
    Source source(pathOf(prefix, key.file));
    if (source.identity() == key.identity) return valueIn(source, key, name);
    auto again = walk(prefix, key.asked);
    if (!again) return std::nullopt;
    key = std::move(*again);
  }
  return std::nullopt;
}

std::vector<std::u16string> components(std::u16string_view path) {
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = std::min(path.find(u'\\', start), path.size());
    if (end > start) parts.push_back(text::upperCase(path.substr(start, end - start)));
    start = end + 1;
  }
  return parts;
}

}  // namespace platform::posix::hive
