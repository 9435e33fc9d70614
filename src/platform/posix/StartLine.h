// The start line: the one line that tells a choice of the prefix search (Prefix.h), shown on
// standard error when the choice is made.
#pragma once

#include <string>

#include "platform/posix/Prefix.h"

namespace platform::posix::prefix {

// The line, without its line end: the prefix, the place that chose it (with WINEPREFIX, also
// the manager that names it) and what that place names it by, and the runner with where it
// came from:
//   kestrun: prefix /home/ann/.var/.../bottles/Gunship (bottles: Gunship), wine /.../bin/wine (...)
//   kestrun: prefix /.../compatdata/3391826345/pfx (WINEPREFIX; steam: 3391826345), proton
//     /.../GE-Proton9-20/proton (steam's tool for the game), runtime /.../_v2-entry-point
// Control characters, '\' and bytes that are not UTF-8 in it are escaped (\n, \r, \t, \\, \xhh),
// so a name with a line break or a terminal escape sequence cannot make it two lines or more.
std::string describe(const Choice& choice);

}  // namespace platform::posix::prefix
