// Heroic: each game's GamesConfig/<app>.json (its settings under the app name; a setting left
// out: config.json's defaultSettings): its prefix (winePrefix for a Wine game, winePrefix/pfx
// for a Proton game), its Wine or Proton (through UMU where Heroic would use it) with the
// variables Heroic sets, and, for a game added by hand, how Heroic is asked to start it.
#include <nlohmann/json.hpp>
#include <system_error>
#include <utility>

#include "platform/posix/Text.h"
#include "platform/posix/managers/ManagerFiles.h"
#include "platform/posix/managers/Places.h"

namespace platform::posix::managers {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The object a JSON file holds, or nullopt when it cannot be read, does not parse or holds
// something else.
std::optional<json> readObject(const fs::path& file) {
  const std::optional<std::string> text = readManagerFile(file);
  if (!text) return std::nullopt;
  json document = json::parse(*text, nullptr, /*allow_exceptions=*/false);
  if (!document.is_object()) return std::nullopt;
  return document;
}

// object[key] when object is an object that has key; nullptr otherwise.
const json* member(const json* object, const char* key) {
  if (!object || !object->is_object()) return nullptr;
  const auto found = object->find(key);
  return found == object->end() ? nullptr : &*found;
}

std::string stringOf(const json* value) {
  return value && value->is_string() ? value->get<std::string>() : std::string();
}

// A path Heroic recorded: a leading ~ is the home; anything not absolute then is none.
fs::path recordedPath(const std::string& text, const fs::path& home) {
  const fs::path path = fromHome(text, home);
  return path.is_absolute() ? path : fs::path();
}

bool climbs(const fs::path& path) {
  for (const fs::path& part : path)
    if (part == "..") return true;
  return false;
}

Variables environmentOf(const json* options) {
  Variables variables;
  if (!options || !options->is_array()) return variables;
  for (const json& option : *options) {
    const std::string key = stringOf(member(&option, "key"));
    if (isVariableName(key)) variables.emplace_back(key, stringOf(member(&option, "value")));
  }
  return variables;
}

// Whether a setting of Heroic's that is on unless set false is on.
bool isOn(const json* value) {
  return !value || !value->is_boolean() || value->get<bool>();
}

// Where a game's settings are: the game's own, then config.json's defaults.
struct Settings {
  const json* game;
  const json* defaults;
  const json* operator()(const char* key) const {
    const json* value = member(game, key);
    return value ? value : member(defaults, key);
  }
};

// A Heroic: its folder (the one that holds GamesConfig) and its home (Flatpak's is its app's).
struct Heroic {
  fs::path folder, home;
  bool flatpak = false;
};

// UMU, as Heroic decides whether it is there: umu-run in PATH (a Flatpak Heroic sees only its
// sandbox's, so not ours), else the umu_run.py Heroic downloads into its tools; when it can run.
fs::path umuOf(const Heroic& heroic, const Places& places) {
  const fs::path found = heroic.flatpak ? fs::path() : findInPath(places.path, "umu-run");
  if (!found.empty()) return found;
  const fs::path own = heroic.folder / "tools/runtimes/umu/umu_run.py";
  return isExecutableFile(own) ? own : fs::path();
}

// What Heroic sets for a Wine game: its prefix, no menu entries from Wine (added to the game's
// own DLL overrides, under the name it spells them with), and esync and fsync when on.
Variables wineVariables(const Settings& setting, const Variables& game,
                        const fs::path& winePrefix) {
  Variables own{{"WINEPREFIX", winePrefix.string()}};
  std::pair<std::string, std::string> overrides{"WINEDLLOVERRIDES", "winemenubuilder.exe=d"};
  for (const auto& [name, value] : game)
    if (text::equalsIgnoringAsciiCase(name, "WINEDLLOVERRIDES"))
      overrides = {name, value + ";winemenubuilder.exe=d"};
  own.push_back(overrides);
  if (isOn(setting("enableEsync"))) own.emplace_back("WINEESYNC", "1");
  if (isOn(setting("enableFsync"))) own.emplace_back("WINEFSYNC", "1");
  return own;
}

// What Heroic sets for a Proton game, with UMU or without: winePrefix is both WINEPREFIX and
// Proton's compat data, Steam's variables for a game outside Steam, and esync and fsync off
// when set off.
Variables protonVariables(const Settings& setting, const Heroic& heroic, const fs::path& bin,
                          const fs::path& winePrefix, const std::string& app) {
  Variables own{{"STEAM_COMPAT_CLIENT_INSTALL_PATH", (heroic.home / ".steam/steam").string()},
                {"WINEPREFIX", winePrefix.string()},
                {"STEAM_COMPAT_DATA_PATH", winePrefix.string()},
                {"PROTONPATH", bin.parent_path().string()},
                {"STEAM_COMPAT_APP_ID", "0"},
                {"SteamAppId", "0"},
                {"SteamGameId", "heroic-" + app},
                {"PROTON_LOG_DIR", heroic.home.string()},
                {"PROTON_VERB", "waitforexitandrun"},
                {"GAMEID", "umu-0"}};
  if (!isOn(setting("enableEsync"))) own.emplace_back("PROTON_NO_ESYNC", "1");
  if (!isOn(setting("enableFsync"))) own.emplace_back("PROTON_NO_FSYNC", "1");
  return own;
}

// The runner of the game's wineVersion (Heroic removes single quotes from its bin), with the
// variables Heroic sets for it.
Launch launchOf(const Settings& setting, const Heroic& heroic, const Places& places,
                const fs::path& winePrefix, const std::string& app) {
  Launch launch;
  launch.environment = environmentOf(setting("enviromentOptions"));
  const json* wineVersion = setting("wineVersion");
  const std::string type = stringOf(member(wineVersion, "type"));
  std::string binText = stringOf(member(wineVersion, "bin"));
  std::erase(binText, '\'');
  const fs::path bin = binText;
  if (!wineVersion) {
    launch.from = "heroic names no runner for the game";
    return launch;
  }
  if (type != "wine" && type != "proton") {
    launch.from = "heroic's runner type \"" + type + "\" is none Kestrun can start";
    return launch;
  }
  if (!bin.is_absolute() || climbs(bin) || !isExecutableFile(bin)) {
    launch.from = "heroic's runner " + bin.string() +
                  " is missing, not executable or not an absolute path without ..";
    return launch;
  }
  launch.runner = bin;
  launch.from = "heroic's runner";
  if (type == "wine") {
    launch.own = wineVariables(setting, launch.environment, winePrefix);
    return launch;
  }
  launch.own = protonVariables(setting, heroic, bin, winePrefix, app);
  const json* disableUmu = setting("disableUMU");
  const fs::path umu = disableUmu && disableUmu->is_boolean() && disableUmu->get<bool>()
                           ? fs::path()
                           : umuOf(heroic, places);
  launch.kind = umu.empty() ? Launch::Kind::Proton : Launch::Kind::Umu;
  if (!umu.empty()) launch.runner = umu;
  return launch;
}

// A game added to Heroic by hand (sideload_apps/library.json) and how Heroic is asked to start
// it: what Heroic's own desktop shortcuts run. Its exe is the settings' targetExe, else the
// entry's install.executable.
Handoff handoffOf(const Heroic& heroic, const Places& places, const Settings& setting,
                  const std::string& app) {
  const std::optional<json> library = readObject(heroic.folder / "sideload_apps/library.json");
  const json* games = member(library ? &*library : nullptr, "games");
  if (games && games->is_array()) {
    for (const json& game : *games) {
      if (stringOf(member(&game, "app_name")) != app) continue;
      Handoff handoff;
      std::string exe = stringOf(member(setting.game, "targetExe"));
      if (exe.empty()) exe = stringOf(member(member(&game, "install"), "executable"));
      handoff.exe = exe;
      const std::string title = stringOf(member(&game, "title"));
      handoff.what = "heroic's game \"" + (title.empty() ? app : title) + "\"";
      const fs::path xdgOpen = findInPath(places.path, "xdg-open");
      if (xdgOpen.empty())
        handoff.what += ", but no xdg-open in the absolute folders of PATH";
      else
        handoff.command = {xdgOpen.string(), "heroic://launch?appName=" + app + "&runner=sideload"};
      return handoff;
    }
  }
  return {{}, {}, "heroic has no game " + app + " added by hand"};
}

}  // namespace

std::optional<Candidate> heroic(const Places& places, const Accepts& accepts) {
  const fs::path& home = places.home;
  const auto both = places.nativeThenFlatpak("com.heroicgameslauncher.hgl");
  for (const Places& at : both) {
    const Heroic heroic{at.configHome / "heroic", at.home, &at != &both[0]};
    const std::vector<fs::path> files =
        sortedEntries(heroic.folder / "GamesConfig", false, ".json");
    if (files.empty()) continue;
    const std::optional<json> config = readObject(heroic.folder / "config.json");
    const json* defaults = member(config ? &*config : nullptr, "defaultSettings");
    for (const fs::path& file : files) {
      const std::optional<json> document = readObject(file);
      const std::string app = file.stem().string();
      const json* game = member(document ? &*document : nullptr, app.c_str());
      if (!game || !game->is_object()) continue;
      const Settings setting{game, defaults};
      const fs::path winePrefix = recordedPath(stringOf(setting("winePrefix")), home);
      if (winePrefix.empty()) continue;
      // A Proton game's Wine prefix is Proton's, inside; a Wine game's is winePrefix itself
      // (a pfx there is a leftover of an earlier Proton).
      const bool proton = stringOf(member(setting("wineVersion"), "type")) == "proton";
      const fs::path prefix = proton ? winePrefix / "pfx" : winePrefix;
      if (!accepts(prefix)) continue;
      Launch launch = launchOf(setting, heroic, places, winePrefix, app);
      launch.handoff = handoffOf(heroic, places, setting, app);
      return Candidate{prefix, app, std::move(launch)};
    }
  }
  return std::nullopt;
}

}  // namespace platform::posix::managers
