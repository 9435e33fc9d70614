// Heroic: each game's GamesConfig/<app>.json (its settings under the app name; a setting left
// out: config.json's defaultSettings), its winePrefix, its Wine or Proton, its variables.
#include <nlohmann/json.hpp>
#include <system_error>

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
  const fs::path path = text == "~" ? home : fromHome(text, home);
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

Launch launchOf(const json* wineVersion, const fs::path& winePrefix, const fs::path& home) {
  Launch launch;
  const std::string type = stringOf(member(wineVersion, "type"));
  const fs::path bin = stringOf(member(wineVersion, "bin"));
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
  if (type == "proton") {
    launch.proton = true;
    launch.own = {{"STEAM_COMPAT_DATA_PATH", winePrefix.string()},
                  {"STEAM_COMPAT_CLIENT_INSTALL_PATH", (home / ".steam/steam").string()}};
  }
  return launch;
}

}  // namespace

std::optional<Candidate> heroic(const Places& places, const Accepts& accepts) {
  const fs::path& home = places.home;
  for (const Places& at : places.nativeThenFlatpak("com.heroicgameslauncher.hgl")) {
    const fs::path folder = at.configHome / "heroic";
    const std::vector<fs::path> files = sortedEntries(folder / "GamesConfig", false, ".json");
    if (files.empty()) continue;
    const std::optional<json> config = readObject(folder / "config.json");
    const json* defaults = member(config ? &*config : nullptr, "defaultSettings");
    for (const fs::path& file : files) {
      const std::optional<json> document = readObject(file);
      const std::string app = file.stem().string();
      const json* game = member(document ? &*document : nullptr, app.c_str());
      if (!game || !game->is_object()) continue;
      // A setting the game's file leaves out is config.json's default.
      const auto setting = [&](const char* key) {
        const json* value = member(game, key);
        return value ? value : member(defaults, key);
      };
      const fs::path winePrefix = recordedPath(stringOf(setting("winePrefix")), home);
      if (winePrefix.empty()) continue;
      std::error_code ec;
      const fs::path prefix =
          fs::is_directory(winePrefix / "pfx", ec) ? winePrefix / "pfx" : winePrefix;
      if (!accepts(prefix)) continue;
      Launch launch = launchOf(setting("wineVersion"), winePrefix, home);
      launch.environment = environmentOf(setting("enviromentOptions"));
      return Candidate{prefix, app, std::move(launch)};
    }
  }
  return std::nullopt;
}

}  // namespace platform::posix::managers
