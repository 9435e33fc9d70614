// A reader of Steam's binary KeyValues (a Steam user's config/shortcuts.vdf, the games the
// player added by hand).
//
// The format, as this reader takes it:
//   - An entry is a type byte, a name, then what the type says. A name and a string run to their
//     first NUL byte, which ends them and is not part of them.
//       0x00  a block: entries up to its end byte 0x08
//       0x01  a string
//       0x02  a 32-bit integer, little-endian; kept as the decimal text of the value read as
//             unsigned (a shortcut's appid -904... is its compatdata id 3390...)
//   - The bytes are a list of entries, up to a 0x08 at the top or the end of the bytes; anything
//     after that 0x08 is ignored (Steam leaves bytes there at times).
//   - Names are compared without regard to the case of ASCII letters (Steam writes "AppName" and
//     "appname", "Exe" and "exe"); a name may repeat and every entry is kept, in order, as the text
//     reader (KeyValues.h) keeps them, so its find, block and valueOf serve both.
// Damaged bytes (any other type byte, a name or string or integer cut off by the end, a block left
// open, blocks nested deeper than 64) are refused as a whole: parse yields nullopt and never
// throws. Bytes are kept as they are; no text encoding is checked.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "platform/posix/managers/KeyValues.h"

namespace platform::posix::binarykeyvalues {

using keyvalues::Entry;

inline constexpr int kMaxDepth = 64;

// The entries of bytes, or nullopt when they are damaged.
std::optional<std::vector<Entry>> parse(std::string_view bytes);

}  // namespace platform::posix::binarykeyvalues
