// The Wine prefix the program works in, and the runner that starts the game there: found the
// way Wine and the game managers players use keep them.
//
// The prefix:
//   WINEPREFIX, when set and not empty: made absolute against the folder the program started
//   in; nothing is searched for the game. Otherwise the first of these that holds the game:
//     ~/.wine
//     lutris       each game file *.yml of $XDG_CONFIG_HOME/lutris/games and
//                  $XDG_DATA_HOME/lutris/games, all in byte order of file name (a name in both
//                  folders: the first folder's first), whose mapping game: has prefix:
//                  (absolute, or beginning with ~/); a file the YAML reader refuses is skipped
//     bottles      each folder of $XDG_DATA_HOME/bottles/bottles, then of
//                  ~/.var/app/com.usebottles.bottles/data/bottles/bottles, in byte order
//     playonlinux  each folder of ~/.PlayOnLinux/wineprefix, in byte order
//     heroic       each game of $XDG_CONFIG_HOME/heroic/GamesConfig, then of Flatpak's
//     steam        each compatdata prefix of a game added to Steam by hand, in every library of
//                  every Steam folder (GameManagers.h has both in full)
//   and ~/.wine when none does. XDG_CONFIG_HOME and XDG_DATA_HOME default to ~/.config and
//   ~/.local/share (also when relative, as the XDG rules say); HOME to the user's home folder.
//   No path is tidied by text (a ".." after a link leads on from the link's target), so the
//   prefix tested, shown and handed to the game is one folder. Managers' files are read only
//   through readManagerFile; one that cannot be read or parsed is passed over.
//
// A prefix holds the game when its system.reg has the key Software\Hasbro Interactive\Gunship!
// or Software\Wow6432Node\Hasbro Interactive\Gunship! (or a key below either), names compared
// as Wine compares them, or when its drive_c has an entry named Gunship! in any letter case.
// Only the hive's key lines are looked at, never its whole tree.
//
// The runner:
//   WINE, when set and not empty: a path (made absolute like WINEPREFIX) or a name looked up in
//   PATH, run as Wine. Nothing else is tried when it names nothing runnable.
//   Otherwise the runner of the manager whose record names the prefix (the one the search found;
//   with WINEPREFIX set, the first manager above whose record names that very folder, compared
//   as the system does, through links), when that file is executable:
//     lutris       wine: version: V      $XDG_DATA_HOME/lutris/runners/wine/V/bin/wine
//     bottles      bottle.yml Runner: R  <bottles data>/runners/R/bin/wine, where <bottles data>
//                                        is the folder that holds the bottles folder
//     playonlinux  playonlinux.cfg VERSION=V and ARCH=A (x86 or amd64)
//                                        ~/.PlayOnLinux/wine/linux-A/V/bin/wine
//     heroic       the game's wineVersion: its Wine, or its Proton
//     steam        the game's Proton, maybe inside the Steam Linux Runtime
//   A recorded name that is not one plain folder name (empty, ".", "..", with a slash) is no
//   runner. Otherwise wine from PATH, and the start line says why.
// PATH lookups take only its absolute entries (an empty or relative entry would name a folder
// the game's own files could occupy) and find the first executable regular file.
//
// The game's environment: the program's own, under the variables the manager sets for the game
// (Lutris system: env:, Bottles Environment_Variables:, Heroic enviromentOptions), under those
// the start needs (Proton's STEAM_COMPAT_DATA_PATH and STEAM_COMPAT_CLIENT_INSTALL_PATH), under
// WINEPREFIX naming the prefix. A variable the manager names with "=" or none is left out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform::posix::prefix {

using Variables = std::vector<std::pair<std::string, std::string>>;

// The variables a choice depends on; nullopt when unset.
struct Environment {
  std::optional<std::string> winePrefix, wine, home, xdgConfigHome, xdgDataHome, path;
  // The folder a relative WINEPREFIX or WINE is taken from.
  std::filesystem::path startFolder;

  // The process's variables, and its current folder as the start folder.
  static Environment ofProcess();
  // Equal variables (the start folder aside).
  bool sameVariables(const Environment& other) const;
};

enum class Rule { WinePrefix, HomeWine, Lutris, Bottles, PlayOnLinux, Heroic, Steam };

// How the game is started in the prefix.
struct Launch {
  // Wine, run as `<runner> <exe>`, or (proton) a Proton script, run as
  // `<runner> waitforexitandrun <exe>`; absolute; empty when none was found.
  std::filesystem::path runner;
  bool proton = false;
  // The Steam Linux Runtime's entry point the Proton runs in, when not empty:
  // `<runtime> --verb=waitforexitandrun -- <runner> waitforexitandrun <exe>`.
  std::filesystem::path runtime;
  // The game's variables over the program's own: the manager's (environment), then those the
  // start needs (own: Proton's), which win over both; WINEPREFIX=<prefix> wins over all.
  Variables environment, own;
  // Where the runner came from ("WINE", "PATH", "the prefix's runner", ...), or why there is
  // none.
  std::string from;
};

struct Choice {
  std::filesystem::path prefix;  // absolute
  Rule rule = Rule::HomeWine;
  // Lutris: the game file's path; Bottles, PlayOnLinux: the prefix folder's name; Heroic: the
  // game's app name; Steam: the compatdata id; WINEPREFIX: that of namedBy; else empty.
  std::string source;
  // WINEPREFIX: the manager whose record names that very prefix; WinePrefix when none does.
  Rule namedBy = Rule::WinePrefix;
  // Whether the search found the game in the prefix; false for WINEPREFIX (not looked at).
  bool holdsGame = false;
  Launch launch;
};

// The program and arguments that start exe (an absolute host path) as launch says.
std::vector<std::string> commandLine(const Launch& launch, const std::filesystem::path& exe);

// The choice for env, made from the files as they are now.
Choice choose(const Environment& env);

// Whether prefix holds the game.
bool holdsGame(const std::filesystem::path& prefix);

// The bytes of a game manager's file (a Lutris game file, a bottle.yml, a playonlinux.cfg, and
// every later manager's records), or nullopt when it is not a regular file of at most
// kManagerFileLimit bytes or cannot be read. The file is opened without blocking and checked on
// the open descriptor, so a pipe or device named like a record never hangs the search, and no
// more than the limit is ever read (a file that grows past it while read is refused as well).
inline constexpr std::int64_t kManagerFileLimit = std::int64_t{1} << 20;
std::optional<std::string> readManagerFile(const std::filesystem::path& file);

// The one line that tells a choice, without its line end: the prefix, the rule that chose it
// (with WINEPREFIX, also the manager that names it), and the runner with where it came from:
//   kestrun: prefix /home/ann/.var/.../bottles/Gunship (bottles: Gunship), wine /.../bin/wine (...)
//   kestrun: prefix /.../compatdata/3391826345/pfx (WINEPREFIX; steam: 3391826345), proton
//     /.../GE-Proton9-20/proton (steam's tool for the game), runtime /.../_v2-entry-point
// Control characters, '\' and bytes that are not UTF-8 in it are escaped (\n, \r, \t, \\, \xhh),
// so a name with a line break or a terminal escape sequence cannot make it two lines or more.
std::string describe(const Choice& choice);

// The choice in force for this process: made on first use, told on standard error, and kept
// until one of the variables changes (which the program itself never does).
std::shared_ptr<const Choice> inForce();

}  // namespace platform::posix::prefix
