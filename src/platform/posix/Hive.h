// Wine's text registry files (system.reg, user.reg, userdef.reg), parsed into a tree.
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
// backslash). String data is kept as UTF-16LE, as Windows keeps it.
//
// The parser never fails on damaged input: a key line it cannot read drops that key's values,
// a value line it cannot read drops that value, and the rest of the file still counts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::posix::hive {

// Value types by their Windows numbers.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;

struct Value {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;  // as stored: UTF-16LE for the string forms
};

// Children and values are keyed by their names in upper case (text::upperCase).
struct Key {
  std::unordered_map<std::u16string, std::unique_ptr<Key>> children;
  std::unordered_map<std::u16string, Value> values;
  bool link = false;  // "#link": the target is the value SymbolicLinkValue
};

struct Hive {
  Key root;
  bool win64 = false;  // "#arch=win64"
  // The folded components of the NT path the file's keys are relative to, from the comment
  // ";; All keys relative to ...", e.g. {u"REGISTRY", u"MACHINE"}; empty when not given.
  std::vector<std::u16string> base;
};

// The tree of a hive file's bytes, or nullptr when the first line is not exactly
// "WINE REGISTRY Version 2".
std::unique_ptr<Hive> parse(std::string_view text);

}  // namespace platform::posix::hive
