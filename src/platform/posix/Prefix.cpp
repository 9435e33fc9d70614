#include "platform/posix/Prefix.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "platform/posix/Text.h"
#include "platform/posix/managers/ManagerFiles.h"
#include "platform/posix/registry/Hive.h"
#include "platform/posix/start/StartLine.h"

namespace platform::posix::prefix {
namespace fs = std::filesystem;
using managers::Accepts;
using managers::Candidate;
using managers::isExecutableFile;
using managers::Place;

namespace {

std::optional<std::string> variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

bool isSet(const std::optional<std::string>& value) {
  return value && !value->empty();
}

// path, taken from folder when relative. Nothing is removed by text: a ".." after a link
// climbs from where the link leads, so only the system may resolve it.
fs::path absoluteFrom(const fs::path& folder, const fs::path& path) {
  return path.is_absolute() ? path : folder / path;
}

fs::path homeFolder(const Environment& env) {
  if (isSet(env.home)) return absoluteFrom(env.startFolder, *env.home);
  // No HOME: the user's entry, as Wine does.
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir && found->pw_dir[0] == '/')
    return found->pw_dir;
  return "/";
}

fs::path xdgFolder(const std::optional<std::string>& value, const fs::path& fallback) {
  return value && !value->empty() && value->front() == '/' ? fs::path(*value) : fallback;
}

// ---- Does a hive name the game's key? ----

// The game's key as the game and its installer see it (the 32-bit view), or at its plain
// stored path (the 64-bit view of a win64 prefix): one walk of the registry reader each, over
// the prefix that holds the hive.
bool hiveNamesGameKey(const fs::path& file) {
  const fs::path prefix = file.parent_path();
  const std::vector<std::u16string> game{u"SOFTWARE", u"HASBRO INTERACTIVE", u"GUNSHIP!"};
  return hive::walk(prefix, {hive::File::System, game, 0, true}) ||
         hive::walk(prefix, {hive::File::System, game, game.size(), false});
}

// The runner that starts the game: WINE when set; else the one the manager recorded, when it
// can run; else wine from PATH. The manager's environment stays with the game either way.
Launch chooseRunner(const Environment& env, Launch recorded) {
  Launch chosen;
  chosen.environment = std::move(recorded.environment);
  if (isSet(env.wine)) {
    const std::string& wine = *env.wine;
    chosen.runner = wine.find('/') != std::string::npos ? absoluteFrom(env.startFolder, wine)
                                                        : managers::findInPath(env.path, wine);
    if (!chosen.runner.empty() && !isExecutableFile(chosen.runner)) chosen.runner.clear();
    chosen.from = chosen.runner.empty() ? "WINE=" + wine + " names no executable file" : "WINE";
    // The player's Wine wins over the manager's own start too.
    if (!recorded.handoff.what.empty()) chosen.handoff.what = "WINE is set";
    return chosen;
  }
  if (!recorded.runner.empty() && isExecutableFile(recorded.runner)) {
    if (recorded.from.empty()) recorded.from = "the prefix's runner";
    recorded.environment = std::move(chosen.environment);
    return recorded;
  }
  const std::string missing =
      recorded.runner.empty()
          ? recorded.from
          : "the prefix's runner " + recorded.runner.string() + " is missing or not executable";
  chosen.runner = managers::findInPath(env.path, "wine");
  chosen.from = chosen.runner.empty() ? "no wine in the absolute folders of PATH" : "PATH";
  if (!missing.empty()) chosen.from += "; " + missing;
  chosen.handoff = std::move(recorded.handoff);
  return chosen;
}

// The process's variables, without its current folder.
Environment processVariables() {
  return {variable("WINEPREFIX"),
          variable("WINE"),
          variable("HOME"),
          variable("XDG_CONFIG_HOME"),
          variable("XDG_DATA_HOME"),
          variable("PATH"),
          variable("STEAM_EXTRA_COMPAT_TOOLS_PATHS"),
          {}};
}

}  // namespace

Environment Environment::ofProcess() {
  Environment env = processVariables();
  std::error_code ec;
  env.startFolder = fs::current_path(ec);
  if (ec) env.startFolder = "/";
  return env;
}

bool Environment::sameVariables(const Environment& other) const {
  return winePrefix == other.winePrefix && wine == other.wine && home == other.home &&
         xdgConfigHome == other.xdgConfigHome && xdgDataHome == other.xdgDataHome &&
         path == other.path && steamExtraCompatTools == other.steamExtraCompatTools;
}

bool holdsGame(const fs::path& prefix) {
  std::error_code ec;
  fs::directory_iterator it(prefix / "drive_c", ec);
  for (const fs::directory_iterator end; !ec && it != end; it.increment(ec))
    if (text::equalsIgnoringCase(it->path().filename().string(), "Gunship!")) return true;
  return hiveNamesGameKey(prefix / "system.reg");
}

Choice choose(const Environment& env) {
  const fs::path home = homeFolder(env);
  const managers::Places places{home, xdgFolder(env.xdgDataHome, home / ".local/share"),
                                xdgFolder(env.xdgConfigHome, home / ".config"), env.path,
                                env.steamExtraCompatTools};
  Choice choice;
  std::optional<Candidate> found;
  if (isSet(env.winePrefix)) {
    // Nothing is searched for the game; the first manager that names that very prefix starts it.
    const fs::path named = absoluteFrom(env.startFolder, *env.winePrefix);
    const Accepts isNamed = [&](const fs::path& prefix) {
      return managers::sameEntry(prefix, named);
    };
    choice.winePrefix = true;
    found = Candidate{named, {}, {}};
    for (const Place& manager : managers::kManagers) {
      if (std::optional<Candidate> record = manager.search(places, isNamed)) {
        choice.place = manager.name;
        found->source = std::move(record->source);
        found->launch = std::move(record->launch);
        break;
      }
    }
  } else {
    // Each place in order, until one holds the game.
    const Accepts holdsTheGame = [](const fs::path& prefix) { return holdsGame(prefix); };
    for (const Place& place : managers::kPlaces) {
      found = place.search(places, holdsTheGame);
      if (found) {
        choice.place = place.name;
        choice.holdsGame = true;
        break;
      }
    }
  }
  if (!found) {
    // None holds the game: the first place, ~/.wine, Wine's own default.
    const Place& homeWine = managers::kPlaces[0];
    found = homeWine.search(places, [](const fs::path&) { return true; });
    choice.place = homeWine.name;
  }
  choice.prefix = found->prefix;
  choice.source = found->source;
  choice.launch = chooseRunner(env, std::move(found->launch));
  return choice;
}

std::vector<std::string> gameEnvironment(const Choice& choice, const char* const* inherited) {
  Variables set = choice.launch.environment;
  set.emplace_back("WINEPREFIX", choice.prefix.string());
  set.insert(set.end(), choice.launch.own.begin(), choice.launch.own.end());
  // Where each name is set last: one pass, then one look-up per entry.
  std::unordered_map<std::string_view, std::size_t> lastSetting;
  for (std::size_t i = 0; i < set.size(); ++i) lastSetting[set[i].first] = i;
  std::vector<std::string> env;
  for (const char* const* entry = inherited; entry && *entry; ++entry) {
    const std::string_view text(*entry);
    if (!lastSetting.contains(text.substr(0, text.find('=')))) env.emplace_back(text);
  }
  for (std::size_t i = 0; i < set.size(); ++i)
    if (lastSetting[set[i].first] == i) env.push_back(set[i].first + "=" + set[i].second);
  return env;
}

std::shared_ptr<const Choice> inForce() {
  static std::mutex mutex;
  static std::optional<Environment> chosenFor;
  static std::shared_ptr<const Choice> chosen;
  const std::lock_guard lock(mutex);
  Environment env = processVariables();
  if (chosenFor && chosenFor->sameVariables(env)) return chosen;
  env = Environment::ofProcess();
  chosen = std::make_shared<const Choice>(choose(env));
  chosenFor = std::move(env);
  std::cerr << describe(*chosen) << std::endl;
  return chosen;
}

}  // namespace platform::posix::prefix
