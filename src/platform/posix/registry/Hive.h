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
// Nothing here builds the hive. A walk reads each file it needs whole, once (a file over 256
// MiB reads as empty, and standard error says so), and makes one pass over the text: it skips
// every line that cannot be the header of a key it is after (memchr finds the next line that
// starts with '['), decodes and compares a header only as far as it can lie on the wanted path,
// and parses the lines of those keys alone. The key it reaches holds the text and remembers
// where its lines are, so a query reads those lines alone, and reads no file again while the
// hive is the file the walk read. Besides the text, what a walk keeps is bounded by its answer
// (the keys along one path, one value), never by how many keys the file holds; a text lives as
// long as a key that holds it.
//
// A line longer than kMaxLine (Wine's lines are short) ends the text there, as if the file
// ended before it. A value whose data would pass kMaxLine bytes (a hex list over many lines) is
// no value.
//
// Damaged input never fails a call: a key line without its closing ']' names no key and the
// values after it belong to none, a value line that cannot be read is no value, and the rest of
// the file still counts. A key more than kMaxDepth levels below the file's root is one that
// cannot be opened, as Windows bounds key depth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
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
inline constexpr std::size_t kMaxLine = 1 << 20;

struct Value {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;  // as stored: UTF-16LE for the string forms
};

// A prefix's hive files: system.reg, user.reg and userdef.reg.
enum class File { System, User, UserDefault };

std::filesystem::path pathOf(const std::filesystem::path& prefix, File file);

// The hive that HKEY_USERS\name stands for (name folded): userdef.reg for .DEFAULT, user.reg
// for the prefix's user, whose SID is the one user.reg's header names (";; All keys relative to
// REGISTRY\\User\\SID"), Wine's S-1-5-21-0-0-0-1000 otherwise. Nothing for any other name.
// Both HKEY_USERS and link targets (\Registry\User\name) ask this.
std::optional<File> usersFile(const std::filesystem::path& prefix, std::u16string_view name);

// Software\Classes of system.reg, folded: the key HKEY_CLASSES_ROOT stands for, and where the
// shared classes are looked up.
extern const std::vector<std::u16string> kClasses;

// A key path to walk from a file's root. Components are folded (text::upperCase), none empty.
// The first `fixed` are followed as stored; with view32, on a win64 hive, the rest go through
// the 32-bit view.
struct Path {
  File file = File::System;
  std::vector<std::u16string> parts;
  std::size_t fixed = 0;
  bool view32 = false;
};

inline constexpr std::uint64_t kNoLine = UINT64_MAX;

// A hive file's text as a walk read it, and the file's identity then (HiveText.h).
struct Text;

// A key a walk reached: where it is stored, and where its lines are in the text the walk read.
struct Key {
  Path asked;  // what was walked, walked again when the file changes
  File file = File::System;
  std::vector<std::u16string> stored;  // folded, from the file's root
  std::shared_ptr<const Text> text;    // held while the key is
  // The byte offsets of the key lines of its first and last sections; kNoLine for a key that
  // only longer paths imply (it has no values).
  std::uint64_t first = kNoLine, last = kNoLine;
};

// The one walk of a key path, in one pass over one hive for each file it reaches:
//  - the 32-bit view: before each component past the fixed ones, and after the last, a key that
//    has a child Wow6432Node stands for that child (unless it is one itself, or the path goes
//    on into Wow6432Node); no fallback to the 64-bit key;
//  - shared classes: in system.reg, a component that Software\Classes\Wow6432Node lacks is
//    looked up in Software\Classes, as stored;
//  - symbolic links (#link): the walk goes on at the key that SymbolicLinkValue names
//    (\Registry\Machine\..., or \Registry\User\<name>\... in the hive usersFile gives for
//    name), taking the target as stored; at most kMaxLinks of them.
// Nothing when a key on the way does not exist, a link leads nowhere or loops, the path is
// deeper than kMaxDepth, or a file on the way is no hive.
inline constexpr int kMaxLinks = 16;
std::optional<Key> walk(const std::filesystem::path& prefix, const Path& path);

// The value `name` (folded; empty for the default value) of key, over every section of it: the
// last line that reads whole wins. Reads the key's sections alone, from where the walk found
// them in its text; when the hive is no longer the file the walk read, walks key.asked again
// first (and updates key). Nothing when there is no such value or the key is gone, and when the
// hive has changed again on each of four walks.
std::optional<Value> query(const std::filesystem::path& prefix, Key& key, std::u16string_view name);

// The folded, non-empty components of a backslash-separated path: the one splitter of registry
// paths (subkeys, link targets, the base comment).
std::vector<std::u16string> components(std::u16string_view path);

}  // namespace platform::posix::hive
