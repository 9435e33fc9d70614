// A reader of Steam's KeyValues text format (the .vdf files of a Steam folder: config.vdf,
// libraryfolders.vdf, a compatibility tool's compatibilitytool.vdf and toolmanifest.vdf).
//
// The format, as this reader takes it:
//   - A file is a list of entries. An entry is a key followed by either a value or a block.
//   - A block is "{", a list of entries, "}".
//   - A key or a value is a token: a quoted string ("..."), or a bare word that runs to the next
//     blank, quote, "{" or "}".
//   - In a quoted string, \n \t \\ and \" stand for a line feed, a tab, a backslash and a quote;
//     a backslash before any other character stands for itself. A string may span lines.
//   - "//" where a token could begin starts a comment that runs to the end of the line.
//   - Keys are compared without regard to the case of ASCII letters, and a key may repeat:
//     every entry is kept, in the file's order, and a lookup takes the first that matches.
// Damaged text (a block or string left open, a "}" without its "{", a key without a value, a
// block nested deeper than 64) is refused as a whole: parse yields nullopt and never throws.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::posix::keyvalues {

struct Entry {
  std::string key;
  std::string value;           // empty for a block
  std::vector<Entry> entries;  // a block's entries; empty for a value
  bool isBlock = false;
};

// The entries of text, or nullopt when the text is damaged.
std::optional<std::vector<Entry>> parse(std::string_view text);

// The first entry named key (ASCII case ignored) among entries; nullptr when there is none.
const Entry* find(const std::vector<Entry>& entries, std::string_view key);

// The block reached from entries through the keys of path in turn; nullptr when one is missing
// or is a value.
const Entry* block(const std::vector<Entry>& entries, std::initializer_list<std::string_view> path);

// The value named key in block (which may be nullptr); empty when missing or a block.
std::string valueOf(const Entry* block, std::string_view key);

}  // namespace platform::posix::keyvalues
