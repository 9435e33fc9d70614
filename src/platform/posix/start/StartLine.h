// The start line: the one line that tells a choice of the prefix search (Prefix.h), shown on
// standard error when the choice is made; and the game's start line, shown each time the game
// is started (Start.h).
#pragma once

#include <string>

#include "platform/posix/Prefix.h"
#include "platform/posix/start/Start.h"

namespace platform::posix::prefix {

// The line, without its line end: the prefix, the place that chose it (with WINEPREFIX, also
// the manager that names it) and what that place names it by, and the runner with where it
// came from:
//   kestrun: prefix /home/ann/.var/.../bottles/Gunship (bottles: Gunship), wine /.../bin/wine (...)
//   kestrun: prefix /.../compatdata/3391826345/pfx (WINEPREFIX; steam: 3391826345), proton
//     /.../GE-Proton9-20/proton (steam's tool for the game), runtime /.../_v2-entry-point
// Control characters, '\' and bytes that are not UTF-8 in it are escaped (\n, \r, \t, \\, \xhh),
// and so are Unicode's line and paragraph separators and format characters (\u2028, \u202e;
// \U000e0001 beyond U+FFFF), so a name cannot make it two lines or more, on a terminal or in
// any viewer, nor reorder what it shows.
// A runtime the tool asks for that no library has is named as `runtime 1628350 missing`.
std::string describe(const Choice& choice);

// The game's start line, told each time the game is started: what runs, and in parentheses the
// hand-off's record or why there is no hand-off (Start.h), escaped as the start line is:
//   kestrun: start /usr/bin/steam steam://rungameid/14567783225519767552 (steam's shortcut
//     "Gunship!")
//   kestrun: start /.../GE-Proton9-20/proton waitforexitandrun /.../gunship.exe (steam's
//     shortcut "Gunship!" starts /home/ann/Games/Gunship!/gunship.exe)
std::string describe(const Start& start);

}  // namespace platform::posix::prefix
