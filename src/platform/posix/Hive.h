// Wine's text registry files (system.reg, user.reg, userdef.reg), read one answer at a time.
//
// The format, as Wine writes it:
//
//   WINE REGISTRY Version 2
//   ;; All keys relative to REGISTRY\\Machine
//   #arch=win64
//
//   [Software\\Wow6432Node\\Hasbro Interactive\\Gunship!] 1796656888
//   #time=1dd865ea0a1b2c4
//   "Path"="C:\\Gunship!"
//
// Key paths are relative to the file's root and use the string escapes, so a component
// separator is written "\\". Values are "@" (the default) or "NAME", with data "text",
// str(T):"text", dword:XXXXXXXX, hex:bb,bb or hex(T):bb,bb (continued over lines that end in a
// backslash). String data is kept as UTF-16LE, as Windows keeps it. A key exists when a key line
// names it or a longer path below it (an implied key).
//
// Nothing here builds the hive. Each call makes one pass over the file's bytes, front to back:
// it skips every line that cannot be the header of a key it is after (memchr finds the next
// line that starts with '['), decodes and compares a header only as far as it can lie on the
// wanted path, and parses the lines of those keys alone. What a pass keeps is bounded by its
// answer (the keys along one path, one value) and by the longest line it needs whole, never by
// how many keys the file holds. Nothing is kept between calls.
//
// Damaged input never fails a call: a key line without its closing ']' names no key and the
// values after it belong to none, a value line that cannot be read is no value, and the rest of
// the file still counts. A key more than kMaxDepth levels below the file's root is one that
// cannot be opened, as Windows bounds key depth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::posix::hive {

// Value types by their Windows numbers.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;

inline constexpr std::size_t kMaxDepth = 512;

struct Value {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;  // as stored: UTF-16LE for the string forms
};

// A hive's bytes, read once from front to back: bytes in memory, or a file. A file is read in
// pieces into one buffer that grows only for a line a pass needs whole.
class Source {
 public:
  // Bytes in memory, which a pass works on where they lie.
  static Source of(std::string_view bytes) { return Source(bytes); }
  // Opens without blocking (a FIFO never stalls the open) and takes regular files only, also
  // through symbolic links: a folder, a FIFO or a device such as /dev/zero reads as no bytes at
  // all. Reads at most the size the file had when opened, so a file that grows while it is read
  // ends there; one rewritten in place yields whatever bytes it holds as they are read.
  explicit Source(const std::filesystem::path& file);
  ~Source();
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  // Up to `room` further bytes into `into`; 0 at the end.
  std::size_t read(char* into, std::size_t room);
  bool inMemory() const { return fd_ < 0; }
  std::string_view memory() const { return memory_; }

 private:
  explicit Source(std::string_view bytes) : memory_(bytes) {}

  std::string_view memory_;
  int fd_ = -1;
  std::uint64_t left_ = 0;  // bytes of the file still to read
};

// What the lines before the first key say.
struct Preamble {
  bool win64 = false;  // "#arch=win64"
  // The folded components of the NT path the file's keys are relative to, from the comment
  // ";; All keys relative to ...", e.g. {u"REGISTRY", u"MACHINE"}; empty when not given.
  std::vector<std::u16string> base;
};

// Reads only the lines before the first key. Nothing when the first line is not exactly
// "WINE REGISTRY Version 2" (a CR before the line end allowed): the file is no hive.
std::optional<Preamble> preamble(Source& source);

// The stored path a walk may take through one file. Components are folded (text::upperCase),
// none empty. The first `fixed` are followed as stored; when view32 is set and the hive is
// win64, the walk may step into a child Wow6432Node before each later component that is not
// itself Wow6432Node, and after the last (the 32-bit view).
struct Route {
  std::vector<std::u16string> parts;
  std::size_t fixed = 0;
  bool view32 = false;
};

// What one pass learned about the keys a walk along a route may visit: a tree holding only keys
// that exist, each with at most two children (the route's next component, and a Wow6432Node
// stepped into before it), and for the keys that lines name, whether they are symbolic links.
class Survey {
 public:
  using Id = std::uint32_t;
  static constexpr Id kNone = UINT32_MAX;
  static constexpr Id kRoot = 0;

  bool isHive() const { return isHive_; }
  const Preamble& preamble() const { return preamble_; }
  // The child reached by the route's next component, or by stepping into Wow6432Node.
  Id next(Id key) const { return nodes_[key].next; }
  Id wow(Id key) const { return nodes_[key].wow; }
  // How many of the route's components lie on the way to key.
  std::size_t consumed(Id key) const { return nodes_[key].consumed; }
  // Named Wow6432Node; stepped into by the 32-bit view rather than named by the route.
  bool isWow(Id key) const { return nodes_[key].isWow; }
  bool stepped(Id key) const { return nodes_[key].stepped; }
  Id parent(Id key) const { return nodes_[key].parent; }
  // "#link": a symbolic link whose target is its value SymbolicLinkValue (nullptr: none).
  bool isLink(Id key) const { return nodes_[key].link; }
  const Value* linkTarget(Id key) const;
  // The key's folded path from the file's root, as stored.
  std::vector<std::u16string> path(Id key, const Route& route) const;

 private:
  friend class Pass;
  struct Node {
    Id parent = kNone, next = kNone, wow = kNone;
    std::uint32_t consumed = 0;
    bool isWow = false;    // named Wow6432Node
    bool stepped = false;  // a Wow6432Node the 32-bit view stepped into, not a part of the route
    bool link = false;
    std::optional<Value> target;
  };
  bool isHive_ = false;
  Preamble preamble_;
  std::vector<Node> nodes_;
};

Survey survey(Source& source, const Route& route);

// The value `name` (folded; empty for the default value) of the key stored at `path` (folded,
// as Survey::path gives it), over every section of that key: the last line that reads whole
// wins. Nothing when the key has no such value or the file is no hive.
std::optional<Value> findValue(Source& source, const std::vector<std::u16string>& path,
                               std::u16string_view name);

// The folded, non-empty components of a backslash-separated path: the one splitter of registry
// paths (subkeys, link targets, the base comment).
std::vector<std::u16string> components(std::u16string_view path);

}  // namespace platform::posix::hive
