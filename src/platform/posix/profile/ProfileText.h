// The profile-file text rules, apart from any file: how a profile's bytes are read and how one
// value is set in them. Profile.cpp puts these over the files of the host.
//
// Reads follow Windows' GetPrivateProfileStringA; a write makes the change that
// WritePrivateProfileStringA makes, but as a change of one line (or an addition of lines), every
// other byte of the text kept as it was.
//
// Reading. Lines end at LF, CRLF, a lone CR or any run of them; each line is trimmed at both ends
// of space, tab, VT, FF, CR, LF and Ctrl-Z, and blank lines count for nothing.
//   [  Main  ]     a header: the name runs to the last ']' on the line and is trimmed; a line
//                  opening with '[' without a ']' is an ordinary line. "[]" is a section too.
//   key = value    split at the first '='; name and value trimmed, inner blanks kept; no inline
//                  comments ("a=1 ; x" reads "1 ; x"). "=v" is an entry with an empty name.
//   key            an entry without a value: its lookup gives the default, and it hides a later
//                  "key=v"; key lists leave it out.
//   ; note         a comment, skipped by key lists only ('#', "//" and REM lines are keys).
// Lines before the first header belong to no named section. Names match without regard to ASCII
// letter case, blanks around the caller's section and key ignored; the first of duplicate
// sections (the only one ever used) and the first of duplicate keys win. A value of two or more
// characters between a matching pair of '"' or '\'' loses that pair. A missing section or key,
// an empty text, or an entry without '=' gives the default, its trailing spaces cut; "k=" and
// "k=\"\"" give the empty value, not the default.
//
// Writing. The first matching key of the first matching section gets the value (the line keeps
// the key's spelling, its indentation and the blanks around '='; a line without '=' gets "=value").
// A new key goes after the section's last entry, before the blank lines ahead of the next header;
// a new section goes at the end of the text ("[name]" then "key=value", a missing final line
// break added first); an empty text becomes "[s]" CRLF "k=v" CRLF. New lines take the line ending
// the text already uses. A write of the value already stored (after its trimming, case and quotes
// counted) changes nothing.
//
// Encodings. A text is 8-bit unless it opens with a UTF-16 byte-order mark:
//   - 8-bit: bytes are opaque (UTF-8 or a code page pass through unchanged); a UTF-8 byte-order
//     mark is skipped by reads and kept by writes.
//   - UTF-16LE (FF FE) and UTF-16BE (FE FF): names and values are decoded from UTF-16 and given
//     as UTF-8, the program's text (an unpaired surrogate reads as U+FFFD). A write keeps the mark
//     and writes its lines in the same UTF-16 form, with the text's own line ending as two-byte
//     units; a trailing odd byte stays last. The caller's names and value must be valid UTF-8.
// Letter case is folded for ASCII letters only. A value ends at its first NUL.
//
// A text is given whole (a profile is at most 64 MiB, a game profile a few KiB); a read looks at
// the lines that may open a section ('[' first) until it finds the wanted one, then at that
// section's lines only. Nothing here knows files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/posix/files/NewContent.h"

namespace platform::posix::profile {

// Places the value of key in section (or the default) in buffer, which holds size bytes:
// at most size-1 bytes and a NUL. Returns the count placed, without the NUL.
std::uint32_t readValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view defaultValue, char* buffer, std::uint32_t size);

// Places the key names of section in buffer, each followed by a NUL, and one more NUL; the
// default when the section lists none. Returns the count placed, without the final NUL; size-2
// when the names do not fit.
std::uint32_t readKeyNames(std::string_view text, std::string_view section,
                           std::string_view defaultValue, char* buffer, std::uint32_t size);

// Whether a write of value to key of section keeps the text's structure. False when any of them
// holds a line break (it would split the new line in two), or the key, after its leading blanks
// (space, tab, VT, FF, Ctrl-Z), opens with '[' (it would read back as a section header) or with a
// byte-order mark, UTF-8 or the bytes of a UTF-16 one (it would read back as a mark at the top
// of a text, a shorter key or another encoding).
bool isWritable(std::string_view section, std::string_view key, std::string_view value);

// The text with key of section set to value: Changed with the new text, Same when the text
// already holds that value, Refused unless isWritable (or for a UTF-16 text, a name or a value
// that is not valid UTF-8). Matching ignores blanks
// around the section and key; a new section or key is written as given with its leading blanks
// dropped (trailing ones kept), and the value with its leading blanks dropped.
NewContent withValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value);

}  // namespace platform::posix::profile
