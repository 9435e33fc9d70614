// Steam: the compatdata prefixes of games added by hand in every library of every Steam
// folder, and the Proton that runs each (the tool config.vdf maps the game to, else the one
// config_info names), in the Steam Linux Runtime when the tool asks for one a library has.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <system_error>

#include "platform/posix/managers/KeyValues.h"
#include "platform/posix/managers/ManagerFiles.h"
#include "platform/posix/managers/Places.h"

namespace platform::posix::managers {
namespace {

namespace fs = std::filesystem;
namespace kv = keyvalues;

// Steam numbers the games added by hand from 2^31 up, its own games below.
constexpr std::uint64_t kFirstHandAddedId = std::uint64_t{1} << 31;
constexpr std::uint64_t kIdLimit = std::uint64_t{1} << 32;

std::optional<std::vector<kv::Entry>> readVdf(const fs::path& file) {
  const std::optional<std::string> text = readManagerFile(file);
  return text ? kv::parse(*text) : std::nullopt;
}

// Adds folder to list unless it is missing or its real path is among seen.
void addOnce(std::vector<fs::path>& list, std::vector<fs::path>& seen, const fs::path& folder) {
  std::error_code ec;
  const fs::path real = fs::canonical(folder, ec);
  if (ec || !fs::is_directory(real, ec)) return;
  if (std::find(seen.begin(), seen.end(), real) != seen.end()) return;
  seen.push_back(real);
  list.push_back(folder);
}

// The Steam folder itself, then the libraries its libraryfolders.vdf lists (new format: a
// block with "path"; old format: the path as the value), each real folder once over all calls.
std::vector<fs::path> librariesOf(const fs::path& steamFolder, std::vector<fs::path>& seen) {
  std::vector<fs::path> libraries;
  addOnce(libraries, seen, steamFolder);
  const auto vdf = readVdf(steamFolder / "steamapps/libraryfolders.vdf");
  if (const kv::Entry* listed = vdf ? kv::block(*vdf, {"libraryfolders"}) : nullptr) {
    for (const kv::Entry& entry : listed->entries) {
      const std::string path = entry.isBlock ? kv::valueOf(&entry, "path") : entry.value;
      if (!path.empty() && path.front() == '/') addOnce(libraries, seen, path);
    }
  }
  return libraries;
}

// The ids of the games added by hand that have a compatdata folder, in numeric order.
std::vector<std::uint64_t> handAddedIds(const fs::path& compatdata) {
  std::vector<std::uint64_t> ids;
  for (const fs::path& folder : sortedEntries(compatdata, true, {})) {
    const std::string name = folder.filename().string();
    std::uint64_t id = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), id);
    if (error == std::errc() && end == name.data() + name.size() && name.front() != '0' &&
        id >= kFirstHandAddedId && id < kIdLimit)
      ids.push_back(id);
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

bool isTool(const fs::path& folder) {
  return !folder.empty() && isExecutableFile(folder / "proton");
}

// The custom tool config.vdf maps the game to, when compatibilitytools.d holds it.
fs::path mappedTool(const fs::path& steamFolder, const std::string& id) {
  const auto config = readVdf(steamFolder / "config/config.vdf");
  if (!config) return {};
  const std::string name = kv::valueOf(
      kv::block(*config,
                {"InstallConfigStore", "Software", "Valve", "Steam", "CompatToolMapping", id}),
      "name");
  if (!isPlainName(name)) return {};
  for (const fs::path& folder : sortedEntries(steamFolder / "compatibilitytools.d", true, {})) {
    const auto vdf = readVdf(folder / "compatibilitytool.vdf");
    const kv::Entry* tool =
        vdf ? kv::block(*vdf, {"compatibilitytools", "compat_tools", name}) : nullptr;
    const std::string install = kv::valueOf(tool, "install_path");
    if (!install.empty()) return install == "." ? folder : folder / install;
  }
  return {};
}

// The tool the prefix last ran with: config_info's second line names its fonts folder.
fs::path lastTool(const fs::path& compat) {
  const std::optional<std::string> info = readManagerFile(compat / "config_info");
  if (!info) return {};
  const std::size_t first = info->find('\n');
  if (first == std::string::npos) return {};
  std::string line = info->substr(first + 1, info->find('\n', first + 1) - first - 1);
  if (line.ends_with('\r')) line.pop_back();
  for (const std::string_view fonts : {"files/share/fonts/", "dist/share/fonts/"})
    if (line.size() > fonts.size() && line.ends_with(fonts) && line.front() == '/')
      return line.substr(0, line.size() - fonts.size());
  return {};
}

// The Steam Linux Runtime the tool asks for, when a library has it.
fs::path runtimeFor(const fs::path& tool, const std::vector<fs::path>& libraries) {
  const auto manifest = readVdf(tool / "toolmanifest.vdf");
  const std::string appId =
      manifest ? kv::valueOf(kv::block(*manifest, {"manifest"}), "require_tool_appid") : "";
  const char* runtime = appId == "1628350"   ? "SteamLinuxRuntime_sniper"
                        : appId == "1391110" ? "SteamLinuxRuntime_soldier"
                                             : nullptr;
  if (!runtime) return {};
  for (const fs::path& library : libraries) {
    const fs::path entryPoint = library / "steamapps/common" / runtime / "_v2-entry-point";
    if (isExecutableFile(entryPoint)) return entryPoint;
  }
  return {};
}

Launch launchOf(const fs::path& steamFolder, const std::vector<fs::path>& libraries,
                const fs::path& compat, const std::string& id) {
  Launch launch;
  fs::path tool = mappedTool(steamFolder, id);
  launch.from = "steam's tool for the game";
  if (!isTool(tool)) {
    tool = lastTool(compat);
    launch.from = "the tool the prefix last ran with";
  }
  if (!isTool(tool)) {
    launch.from = "steam names no Proton for the game";
    return launch;
  }
  launch.runner = tool / "proton";
  launch.proton = true;
  launch.runtime = runtimeFor(tool, libraries);
  launch.own = {{"STEAM_COMPAT_DATA_PATH", compat.string()},
                {"STEAM_COMPAT_CLIENT_INSTALL_PATH", steamFolder.string()}};
  return launch;
}

}  // namespace

std::optional<Candidate> steam(const Places& places, const Accepts& accepts) {
  const Places flatpak = places.ofFlatpak("com.valvesoftware.Steam");
  std::vector<fs::path> steamFolders, seenFolders, seenLibraries;
  for (const fs::path& folder : {places.home / ".steam/root", places.home / ".local/share/Steam",
                                 flatpak.home / ".local/share/Steam", flatpak.dataHome / "Steam"})
    addOnce(steamFolders, seenFolders, folder);
  for (const fs::path& steamFolder : steamFolders) {
    const std::vector<fs::path> libraries = librariesOf(steamFolder, seenLibraries);
    for (const fs::path& library : libraries) {
      const fs::path compatdata = library / "steamapps/compatdata";
      for (const std::uint64_t number : handAddedIds(compatdata)) {
        const std::string id = std::to_string(number);
        const fs::path compat = compatdata / id;
        std::error_code ec;
        if (!fs::is_directory(compat / "pfx", ec) || !accepts(compat / "pfx")) continue;
        return Candidate{compat / "pfx", id, launchOf(steamFolder, libraries, compat, id)};
      }
    }
  }
  return std::nullopt;
}

}  // namespace platform::posix::managers
