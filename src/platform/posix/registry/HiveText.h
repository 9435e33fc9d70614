// A Wine registry file's text: read whole, its lines, and the decoding of its escapes, key paths
// and value data. The hive reader's own unit (Hive.cpp walks with it); the format is Hive.h's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/posix/files/RegularFile.h"
#include "platform/posix/registry/Hive.h"

namespace platform::posix::hive {

// A hive file over this many bytes is read as empty.
inline constexpr std::size_t kMaxHive = std::size_t{256} << 20;

// Wow6432Node, folded: the 32-bit view's key.
inline constexpr std::u16string_view kWow = u"WOW6432NODE";

// A hive file's bytes as read whole, and the file as it was opened for the read: a file with
// another identity since is read again.
struct Text {
  Identity identity;
  Bytes bytes;  // the file up to its first line longer than kMaxLine
};

// The hive file's text. Opens as RegularFile does (RegularFile.h): regular files only, also through
// symbolic links; null for anything else (a folder, a FIFO, /dev/zero) and a missing file. The
// file is read whole, once: a text still held elsewhere (an open key holds its hive's) that was
// read from the file as it is now is given again. A file over kMaxHive bytes reads as empty,
// and standard error says so, once for each path in a run. A line longer than kMaxLine ends the
// text, as if the file ended before it.
std::shared_ptr<const Text> load(const std::filesystem::path& file);

// The lines of a text, front to back from a line's start. A line is given without its line end
// ("\n" or "\r\n") and is a view into the text.
class Lines {
 public:
  Lines(std::string_view text, std::size_t start) : text_(text), next_(start) {}

  bool next(std::string_view& line);
  // The next line that begins with '[' (a key line), the lines before it skipped unread, and
  // so are key lines that begin with `skip`.
  bool nextHeader(std::string_view& line, std::string_view skip);
  // Gives the line given last once more.
  void putBack() { next_ = start_; }
  // Where the line given last starts in the text.
  std::size_t offset() const { return start_; }

 private:
  std::string_view text_;
  std::size_t next_;
  std::size_t start_ = 0;
};

inline constexpr int kEndOfLine = -1;
inline constexpr int kBroken = -2;

// Decodes Wine's escaped text from line[pos] up to the unescaped terminator (or the end of the
// line for kEndOfLine); pos is left behind the terminator. Bytes that are not escaped are taken
// one code unit each, as Wine reads them. False when the terminator never comes.
bool unescape(std::string_view line, std::size_t& pos, int terminator, std::u16string& out);

// The units of a key line's path, one at a time, from behind its '['.
class PathUnits {
 public:
  static constexpr int kClosed = -1;  // the closing ']' (and every call after it)

  explicit PathUnits(std::string_view line) : line_(line) {}

  // The next unit, kClosed, or kBroken when the line ends first.
  int next();
  std::size_t pos() const { return pos_; }
  // Whether the unit given last was escaped.
  bool escapedLast() const { return escapedLast_; }
  // Whether the line closes: ']' passed already, or still to come behind pos.
  bool closes() const;

 private:
  std::string_view line_;
  std::size_t pos_ = 1;
  bool closed_ = false;
  bool escapedLast_ = false;
};

enum class Match { End, Part, Wow, None, Broken };

// Decodes the path's next component (empty ones are skipped: doubled separators) and compares
// it, folded, with part (when given) and with Wow6432Node (when wow). Stops at the first unit
// that matches neither, so most key lines cost a few bytes.
Match matchComponent(PathUnits& units, const std::u16string* part, bool wow);

// When line is a value line ("@=..." or "\"NAME\"=...") of the value name (folded; empty for
// the default value): where its data starts. 0 otherwise.
std::size_t dataOf(std::string_view line, std::u16string_view name);

// The data of a value line from line[pos]: "text", str(T):"text", dword:, hex:, hex(T):, the
// hex lists going on over the lines that follow (lines gave line last). False when it cannot be
// read whole, or its data would pass kMaxLine bytes.
bool parseData(Lines& lines, std::string_view line, std::size_t pos, Value& value);

}  // namespace platform::posix::hive
