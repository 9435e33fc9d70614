// The Wine prefix the program works in, and the runner that starts the game there. The README
// ("How it finds the game on Linux") has the order and the places: WINEPREFIX when set and not
// empty (nothing is searched); else the first place of the table in managers/Places.h whose
// prefix holds the game; else ~/.wine. The runner: WINE when set and not empty (a path, or a
// name looked up in PATH; nothing else is tried when it names nothing runnable); else the one
// the place records (with WINEPREFIX: the first manager whose record names that very folder,
// compared as the system does, through links), when it is an executable file; else wine from
// PATH, and the start line says why. Whether the game is then handed to its manager, once the
// exe is known, is Start.h's.
//
// HOME unset or empty is the user's entry's home; XDG_CONFIG_HOME and XDG_DATA_HOME unset,
// empty or relative are ~/.config and ~/.local/share. A relative WINEPREFIX, or WINE naming a
// path, is taken from the folder the program started in. No path is tidied by text (a ".."
// after a link leads on from the link's target), so the prefix tested, shown and handed to the
// game is one folder. PATH lookups take only its absolute entries (an empty or relative entry
// would name a folder the game's own files could occupy) and find the first executable
// regular file.
//
// A prefix holds the game when its system.reg has the key Software\Hasbro Interactive\Gunship!
// or Software\Wow6432Node\Hasbro Interactive\Gunship! (or a key below either), names compared
// as Wine compares them, or when its drive_c has an entry named Gunship! in any letter case.
// Only the hive's key lines are looked at, never its whole tree.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/managers/Places.h"

namespace platform::posix::prefix {

using managers::Launch;
using managers::Variables;

// The variables a choice depends on; nullopt when unset.
struct Environment {
  std::optional<std::string> winePrefix, wine, home, xdgConfigHome, xdgDataHome, path,
      steamExtraCompatTools;
  // The folder a relative WINEPREFIX or WINE is taken from.
  std::filesystem::path startFolder;

  // The process's variables, and its current folder as the start folder.
  static Environment ofProcess();
  // Equal variables (the start folder aside).
  bool sameVariables(const Environment& other) const;
};

struct Choice {
  std::filesystem::path prefix;  // absolute
  // Whether WINEPREFIX named the prefix (then nothing was searched).
  bool winePrefix = false;
  // The name of the place (managers::kPlaces) that holds the prefix; with WINEPREFIX, of the
  // manager whose record names that very prefix, empty when none does.
  std::string_view place;
  // What that place names the prefix by (managers::Candidate).
  std::string source;
  // Whether the search found the game in the prefix; false for WINEPREFIX (not looked at).
  bool holdsGame = false;
  Launch launch;
};

// The choice for env, made from the files as they are now.
Choice choose(const Environment& env);

// Whether prefix holds the game.
bool holdsGame(const std::filesystem::path& prefix);

// The game's environment: the entries of inherited (a process's environ, ended by nullptr)
// under the manager's variables, under WINEPREFIX naming the prefix, under the launch's own
// variables (which name WINEPREFIX themselves where the manager sets it otherwise: Heroic's
// Proton games). A name set more than once keeps its last setting, in that setting's place.
std::vector<std::string> gameEnvironment(const Choice& choice, const char* const* inherited);

// The choice in force for this process: made on first use, told on standard error (the start
// line, StartLine.h), and kept until one of the variables changes (which the program itself
// never does).
std::shared_ptr<const Choice> inForce();

}  // namespace platform::posix::prefix
