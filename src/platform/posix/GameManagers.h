// Heroic and Steam: the prefixes these game managers keep, and how each would start the game
// in one. Used by the prefix search (Prefix.h), which holds the order of the places.
//
// Both take a test, accepts, that says whether a prefix is the one sought (the search: it holds
// the game; with WINEPREFIX set: it is that very folder), and yield the first prefix it accepts.
// Manager files are read only through readManagerFile (Prefix.h); a file that cannot
// be read or does not parse is passed over and the search goes on.
//
// heroic: each GamesConfig/*.json of <configHome>/heroic, then of
//   ~/.var/app/com.heroicgameslauncher.hgl/config/heroic, in byte order of file name. The game's
//   settings are the object under the file's name less ".json" (the app name). Its winePrefix (a
//   leading ~ is the home; missing: defaultSettings.winePrefix of that folder's config.json) must
//   be absolute; the Wine prefix is <winePrefix>/pfx when that is a folder, else winePrefix.
//   The runner is wineVersion (missing: config.json's default): type "wine" runs its bin as Wine;
//   type "proton" runs `<bin> waitforexitandrun <exe>` with STEAM_COMPAT_DATA_PATH=<winePrefix>
//   and STEAM_COMPAT_CLIENT_INSTALL_PATH=~/.steam/steam; any other type names no runner. A bin
//   that is not an absolute path free of "..", or is no executable file, is no runner.
//   enviromentOptions (Heroic's spelling; missing: the default's), a list of {key, value}, is the
//   game's environment; a key that is empty or holds "=" is left out.
//
// steam: each Steam folder among ~/.steam/root, ~/.local/share/Steam,
//   ~/.var/app/com.valvesoftware.Steam/.local/share/Steam and .../data/Steam, each real folder
//   once; in each, the libraries: the folder itself, then each path steamapps/libraryfolders.vdf
//   lists (a block's "path", or a value directly under libraryfolders), each real folder once
//   over all Steam folders; in each library, steamapps/compatdata/<id>/pfx for each <id> of a
//   game added to Steam by hand (a decimal number from 2^31 to 2^32 - 1), in numeric order.
//   The tool: the one config/config.vdf maps the id to (InstallConfigStore > Software > Valve >
//   Steam > CompatToolMapping > <id> > name) when a compatibilitytools.d/<dir>/
//   compatibilitytool.vdf of that Steam folder names it under compatibilitytools > compat_tools
//   (its install_path taken from <dir>; "." is <dir>); else the folder on the second line of
//   compatdata/<id>/config_info, less files/share/fonts/ or dist/share/fonts/. A tool is a folder
//   with an executable proton. A mapped name that is not one plain folder name is no tool.
//   Start: `<tool>/proton waitforexitandrun <exe>` with STEAM_COMPAT_DATA_PATH=compatdata/<id>
//   and STEAM_COMPAT_CLIENT_INSTALL_PATH=<the Steam folder>; when the tool's toolmanifest.vdf has
//   manifest > require_tool_appid 1628350 (sniper) or 1391110 (soldier) and some library has
//   steamapps/common/SteamLinuxRuntime_<name>/_v2-entry-point executable, through it:
//   `<entry-point> --verb=waitforexitandrun -- <tool>/proton waitforexitandrun <exe>`.
//   No tool: no runner (the search falls back to wine from PATH and says so).
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/Prefix.h"

namespace platform::posix::prefix {

struct ManagerPrefix {
  std::filesystem::path prefix;
  std::string source;  // heroic: the app name; steam: the compatdata id
  Launch launch;
};

using Accepts = std::function<bool(const std::filesystem::path& prefix)>;

std::optional<ManagerPrefix> heroic(const std::filesystem::path& home,
                                    const std::filesystem::path& configHome,
                                    const Accepts& accepts);

std::optional<ManagerPrefix> steam(const std::filesystem::path& home, const Accepts& accepts);

// ---- Helpers every place of the search shares (ManagerFiles.cpp) ----

// Whether path names an executable regular file (through links).
bool isExecutableFile(const std::filesystem::path& path);

// Whether a name recorded by a manager is one plain folder name: not empty, ".", "..", and
// without a slash or a NUL.
bool isPlainName(const std::string& name);

// The entries of folder in byte order of name: folders only, or regular files whose name ends
// in suffix (and is longer). An unreadable folder has none.
std::vector<std::filesystem::path> sortedEntries(const std::filesystem::path& folder, bool folders,
                                                 std::string_view suffix);

}  // namespace platform::posix::prefix
