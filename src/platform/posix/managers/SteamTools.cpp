// The Proton that runs a Steam game added by hand, the Steam Linux Runtime it runs in, and the
// variables Steam sets for it (SteamFolder.h).
#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/posix/managers/ManagerFiles.h"
#include "platform/posix/managers/SteamFolder.h"

namespace platform::posix::managers::steamfolder {
namespace {

namespace fs = std::filesystem;
namespace kv = keyvalues;

// The folders Steam on the host looks for compatibility tools in, lowest precedence first.
constexpr std::string_view kSystemToolFolders[] = {"/usr/share/steam/compatibilitytools.d",
                                                   "/usr/local/share/steam/compatibilitytools.d"};

bool isTool(const fs::path& folder) {
  return !folder.empty() && isExecutableFile(folder / "proton");
}

// The folders this Steam looks for tools in, lowest precedence first: for a native Steam the
// system's, then each absolute folder of STEAM_EXTRA_COMPAT_TOOLS_PATHS; then its own
// compatibilitytools.d. A Flatpak or Snap Steam sees neither the host's system folders nor our
// variables, only its own folder.
std::vector<fs::path> toolFolders(const SteamFolder& steam, const Places& places) {
  std::vector<fs::path> folders;
  if (steam.packaging == Packaging::Native) {
    folders.assign(std::begin(kSystemToolFolders), std::end(kSystemToolFolders));
    const std::string extra = places.steamExtraCompatTools.value_or("");
    std::string_view rest = extra;
    while (!rest.empty()) {
      const std::string_view entry = rest.substr(0, rest.find(':'));
      if (!entry.empty() && entry.front() == '/') folders.emplace_back(entry);
      rest.remove_prefix(std::min(rest.size(), entry.size() + 1));
    }
  }
  folders.push_back(steam.folder / "compatibilitytools.d");
  return folders;
}

// The tool installed under name, as Steam takes it: in each tool folder, each
// <dir>/compatibilitytool.vdf, then each *.vdf directly in the folder, whose
// compatibilitytools > compat_tools > <name> has an install_path ("." or relative: from the
// manifest's folder); the last one wins.
fs::path toolNamed(const SteamFolder& steam, const Places& places, const std::string& name) {
  fs::path found;
  for (const fs::path& folder : toolFolders(steam, places)) {
    std::vector<fs::path> manifests;
    for (const fs::path& dir : sortedEntries(folder, true, {}))
      manifests.push_back(dir / "compatibilitytool.vdf");
    const std::vector<fs::path> direct = sortedEntries(folder, false, ".vdf");
    manifests.insert(manifests.end(), direct.begin(), direct.end());
    for (const fs::path& manifest : manifests) {
      const auto vdf = readVdf(manifest);
      const std::string install =
          kv::valueOf(vdf ? kv::block(*vdf, {"compatibilitytools", "compat_tools", name}) : nullptr,
                      "install_path");
      if (install.empty()) continue;
      const fs::path path = onHost(steam, places, install);
      found = install == "." ? manifest.parent_path() : manifest.parent_path() / path;
    }
  }
  return found;
}

// The tool config.vdf maps the game to, when it is one installed by name (Steam's own tools
// map to folders only through a binary cache, which is not read).
fs::path mappedTool(const SteamFolder& steam, const Places& places, std::uint32_t id) {
  const auto config = readVdf(steam.folder / "config/config.vdf");
  if (!config) return {};
  const std::string name =
      kv::valueOf(kv::block(*config, {"InstallConfigStore", "Software", "Valve", "Steam",
                                      "CompatToolMapping", std::to_string(id)}),
                  "name");
  return isPlainName(name) ? toolNamed(steam, places, name) : fs::path();
}

// The tool the prefix last ran with: config_info's second line names its fonts folder.
fs::path lastTool(const SteamFolder& steam, const Places& places, const fs::path& compat) {
  const std::optional<std::string> info = readManagerFile(compat / "config_info");
  if (!info) return {};
  const std::size_t first = info->find('\n');
  if (first == std::string::npos) return {};
  std::string line = info->substr(first + 1, info->find('\n', first + 1) - first - 1);
  if (line.ends_with('\r')) line.pop_back();
  for (const std::string_view fonts : {"files/share/fonts/", "dist/share/fonts/"})
    if (line.size() > fonts.size() && line.ends_with(fonts) && line.front() == '/')
      return onHost(steam, places, line.substr(0, line.size() - fonts.size()));
  return {};
}

// The folder of the app Steam installed as id: in the first library whose
// steamapps/appmanifest_<id>.acf has AppState > installdir, steamapps/common/<installdir>.
fs::path installedApp(const SteamFolder& steam, const std::string& id) {
  for (const Library& library : steam.libraries) {
    const auto manifest = readVdf(library.path / "steamapps" / ("appmanifest_" + id + ".acf"));
    const std::string folder =
        kv::valueOf(manifest ? kv::block(*manifest, {"AppState"}) : nullptr, "installdir");
    if (isPlainName(folder)) return library.path / "steamapps/common" / folder;
  }
  return {};
}

// The runtime the tool's toolmanifest.vdf asks for (manifest > require_tool_appid), found by
// its app id: its entry point into the launch, or the id as missing.
void addRuntime(Launch& launch, const SteamFolder& steam, const fs::path& tool) {
  const auto manifest = readVdf(tool / "toolmanifest.vdf");
  const std::string id =
      kv::valueOf(manifest ? kv::block(*manifest, {"manifest"}) : nullptr, "require_tool_appid");
  if (id.empty()) return;
  const fs::path folder = isPlainName(id) ? installedApp(steam, id) : fs::path();
  if (!folder.empty() && isExecutableFile(folder / "_v2-entry-point"))
    launch.runtime = folder / "_v2-entry-point";
  else
    launch.missingRuntime = id;
}

}  // namespace

Launch launchOf(const SteamFolder& steam, const Places& places, const fs::path& compat,
                std::uint32_t id) {
  Launch launch;
  fs::path tool = mappedTool(steam, places, id);
  launch.from = "steam's tool for the game";
  if (!isTool(tool)) {
    tool = lastTool(steam, places, compat);
    launch.from = "the tool the prefix last ran with";
  }
  if (!isTool(tool)) {
    launch.from = "steam names no Proton for the game";
    return launch;
  }
  launch.runner = tool / "proton";
  launch.kind = Launch::Kind::Proton;
  addRuntime(launch, steam, tool);
  // The tools in use, the innermost first.
  std::string toolPaths = tool.string();
  if (!launch.runtime.empty()) toolPaths += ":" + launch.runtime.parent_path().string();
  launch.own = {{"STEAM_COMPAT_DATA_PATH", compat.string()},
                {"STEAM_COMPAT_CLIENT_INSTALL_PATH", steam.folder.string()},
                {"STEAM_COMPAT_APP_ID", "0"},
                {"SteamAppId", "0"},
                {"SteamGameId", std::to_string(gameIdOf(id))},
                {"STEAM_COMPAT_TOOL_PATHS", toolPaths}};
  return launch;
}

}  // namespace platform::posix::managers::steamfolder
