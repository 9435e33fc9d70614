// Program paths to host paths, through the Wine prefix. The one place that does this.
//
// A program path is a Windows path as the game and the user write it. The prefix is the one
// Prefix.h chooses: WINEPREFIX, or the first of ~/.wine and the game managers' prefixes that
// holds the game.
//
//   c:\Gunship!\data\custom.ini   drive letter: the prefix's dosdevices/c: (drive_c for c:)
//   \data\custom.ini              the root of the current drive
//   Error\data\custom.ini         relative: below the current directory
//   /home/x/Gunship!\data\x.ini   a host path, taken as it is
//
// Backslashes and slashes both separate components. Each component that does not exist as
// spelled is matched without regard to letter case as Wine compares names (Text.h:
// equalsIgnoringCase), and the spelling stored on disk is the one the host path carries.
// Components that match nothing are kept as written, so the result names where the entry would
// be. ".." is folded by the text and never climbs above a drive's root (c:\..\..\x is c:\x);
// a relative path climbs to the root of the current drive when the current folder lies on it,
// else to "/".
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform::posix {

// The Wine prefix in force (absolute).
std::filesystem::path winePrefix();

// The host folder behind drive letter (a-z, either case) of the prefix in force.
std::filesystem::path driveRoot(char letter);

// The drive letter a program path opens with ("c:\\..." gives 'c'), as written; 0 for none.
char driveOf(std::string_view programPath);

// The current drive's letter, lower case; 'c' until changeDrive picks another.
char currentDrive();
void setCurrentDrive(char letter);

// The host path of a program path.
std::filesystem::path hostPath(const std::string& programPath);

}  // namespace platform::posix
