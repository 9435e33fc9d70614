#include "platform/posix/Prefix.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unicode/utf8.h>
#include <unistd.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/posix/GameManagers.h"
#include "platform/posix/Hive.h"
#include "platform/posix/RegularFile.h"
#include "platform/posix/Text.h"

namespace platform::posix::prefix {
namespace fs = std::filesystem;

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

// The first executable file named name in the absolute entries of path.
fs::path searchPath(const std::optional<std::string>& path, const std::string& name) {
  if (!path) return {};
  std::string_view rest = *path;
  while (true) {
    const std::size_t colon = rest.find(':');
    const std::string_view entry = rest.substr(0, colon);
    if (!entry.empty() && entry.front() == '/') {
      const fs::path candidate = fs::path(entry) / name;
      if (isExecutableFile(candidate)) return candidate;
    }
    if (colon == std::string_view::npos) return {};
    rest.remove_prefix(colon + 1);
  }
}

// text as it may be shown on a terminal: control characters (C0, DEL, C1), '\\' and bytes
// that are not UTF-8 escaped as \n, \r, \t, \\ or \xhh, so that it stays one line of the
// characters it names.
std::string escapedForTerminal(std::string_view text) {
  std::string shown;
  const auto length = static_cast<std::int32_t>(text.size());
  for (std::int32_t at = 0; at < length;) {
    const std::int32_t start = at;
    UChar32 c = 0;
    U8_NEXT(text.data(), at, length, c);
    if (c == '\\')
      shown += "\\\\";
    else if (c == '\n')
      shown += "\\n";
    else if (c == '\r')
      shown += "\\r";
    else if (c == '\t')
      shown += "\\t";
    else if (c < 0x20 || (c >= 0x7f && c <= 0x9f))  // also c < 0: not UTF-8
      for (std::int32_t i = start; i < at; ++i) {
        static constexpr char kDigits[] = "0123456789abcdef";
        const auto byte = static_cast<unsigned char>(text[static_cast<std::size_t>(i)]);
        shown += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 15]};
      }
    else
      shown += text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(at - start));
  }
  return shown;
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

// ---- The managers' records ----

// The YAML document of file, or nullopt when it cannot be read or parsed.
std::optional<YAML::Node> loadYaml(const fs::path& file) {
  const std::optional<std::string> text = readManagerFile(file);
  if (!text) return std::nullopt;
  try {
    return YAML::Load(*text);
  } catch (const YAML::Exception&) {
    return std::nullopt;
  }
}

// The text of map[key] when map is a mapping and that entry a scalar; empty otherwise.
std::string scalarOf(const YAML::Node& map, const char* key) {
  try {
    if (!map.IsMap()) return {};
    const YAML::Node value = map[key];
    return value.IsScalar() ? value.Scalar() : std::string();
  } catch (const YAML::Exception&) {
    return {};
  }
}

YAML::Node mappingOf(const YAML::Node& map, const char* key) {
  try {
    if (map.IsMap()) {
      const YAML::Node value = map[key];
      if (value.IsMap()) return value;
    }
  } catch (const YAML::Exception&) {
  }
  return YAML::Node();
}

// The value of KEY=value lines in a PlayOnLinux prefix's playonlinux.cfg.
std::string cfgValue(const std::string& cfg, std::string_view key) {
  std::size_t pos = 0;
  while (pos < cfg.size()) {
    std::size_t end = cfg.find('\n', pos);
    if (end == std::string::npos) end = cfg.size();
    std::string_view line(cfg.data() + pos, end - pos);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=')
      return std::string(line.substr(key.size() + 1));
    pos = end + 1;
  }
  return {};
}

// A prefix the search found holding the game, with the runner its manager recorded.
struct Candidate {
  fs::path prefix;
  Rule rule;
  std::string source;
  Launch launch;  // the runner the manager recorded (maybe missing), its environment
};

fs::path runnerBelow(const fs::path& folder, const std::string& name, const fs::path& below) {
  return isPlainName(name) ? folder / name / below : fs::path();
}

// A manager's recorded Wine, when it names one: run as Wine, and checked when chosen.
Launch recordedWine(const fs::path& runner, Variables environment = {}) {
  Launch launch;
  launch.runner = runner;
  launch.environment = std::move(environment);
  return launch;
}

// The variables of a YAML mapping of names to scalars; a name that is empty or holds "=" is
// left out.
Variables variablesOf(const YAML::Node& map) {
  Variables variables;
  try {
    if (!map.IsMap()) return variables;
    for (const auto& pair : map) {
      if (!pair.first.IsScalar() || !pair.second.IsScalar()) continue;
      const std::string name = pair.first.Scalar();
      if (!name.empty() && name.find('=') == std::string::npos)
        variables.emplace_back(name, pair.second.Scalar());
    }
  } catch (const YAML::Exception&) {
  }
  return variables;
}

// Whether two paths name the same folder.
bool sameFolder(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

// The folders the search starts from.
struct Places {
  fs::path home, dataHome, configHome;
};

// ---- One function per place: the candidate it finds, or nullopt ----
// Each takes the first prefix accepts takes: the search's test (the prefix holds the game), or,
// with WINEPREFIX set, whether it is that very folder.

std::optional<Candidate> searchHomeWine(const Places& places, const Accepts& accepts) {
  if (!accepts(places.home / ".wine")) return std::nullopt;
  return Candidate{places.home / ".wine", Rule::HomeWine, {}, {}};
}

// Lutris: one game file per game, the two folders merged by name.
std::optional<Candidate> searchLutris(const Places& places, const Accepts& accepts) {
  std::vector<fs::path> gameFiles =
      sortedEntries(places.configHome / "lutris/games", false, ".yml");
  const auto moreFiles = sortedEntries(places.dataHome / "lutris/games", false, ".yml");
  gameFiles.insert(gameFiles.end(), moreFiles.begin(), moreFiles.end());
  std::stable_sort(gameFiles.begin(), gameFiles.end(), [](const fs::path& a, const fs::path& b) {
    return a.filename().string() < b.filename().string();
  });
  for (const fs::path& file : gameFiles) {
    const auto document = loadYaml(file);
    if (!document) continue;
    std::string prefix = scalarOf(mappingOf(*document, "game"), "prefix");
    if (prefix.starts_with("~/")) prefix = (places.home / prefix.substr(2)).string();
    if (prefix.empty() || prefix.front() != '/' || !accepts(prefix)) continue;
    const std::string version = scalarOf(mappingOf(*document, "wine"), "version");
    return Candidate{
        prefix, Rule::Lutris, file.string(),
        recordedWine(runnerBelow(places.dataHome / "lutris/runners/wine", version, "bin/wine"),
                     variablesOf(mappingOf(mappingOf(*document, "system"), "env")))};
  }
  return std::nullopt;
}

// Bottles: the bottle folder is the prefix; its runners sit beside the bottles folder.
std::optional<Candidate> searchBottles(const Places& places, const Accepts& accepts) {
  const fs::path bottlesData[] = {places.dataHome / "bottles",
                                  places.home / ".var/app/com.usebottles.bottles/data/bottles"};
  for (const fs::path& data : bottlesData) {
    for (const fs::path& bottle : sortedEntries(data / "bottles", true, {})) {
      if (!accepts(bottle)) continue;
      std::string runner;
      Variables environment;
      if (const auto document = loadYaml(bottle / "bottle.yml")) {
        runner = scalarOf(*document, "Runner");
        environment = variablesOf(mappingOf(*document, "Environment_Variables"));
      }
      return Candidate{
          bottle, Rule::Bottles, bottle.filename().string(),
          recordedWine(runnerBelow(data / "runners", runner, "bin/wine"), std::move(environment))};
    }
  }
  return std::nullopt;
}

// PlayOnLinux: the Wine version and architecture in the prefix's playonlinux.cfg.
std::optional<Candidate> searchPlayOnLinux(const Places& places, const Accepts& accepts) {
  const fs::path pol = places.home / ".PlayOnLinux";
  for (const fs::path& folder : sortedEntries(pol / "wineprefix", true, {})) {
    if (!accepts(folder)) continue;
    const std::string cfg = readManagerFile(folder / "playonlinux.cfg").value_or("");
    const std::string arch = cfgValue(cfg, "ARCH");
    fs::path runner;
    if (arch == "x86" || arch == "amd64")
      runner = runnerBelow(pol / "wine" / ("linux-" + arch), cfgValue(cfg, "VERSION"), "bin/wine");
    return Candidate{folder, Rule::PlayOnLinux, folder.filename().string(), recordedWine(runner)};
  }
  return std::nullopt;
}

// Heroic and Steam (GameManagers.h).
std::optional<Candidate> searchHeroic(const Places& places, const Accepts& accepts) {
  auto game = heroic(places.home, places.configHome, accepts);
  if (!game) return std::nullopt;
  return Candidate{game->prefix, Rule::Heroic, game->source, std::move(game->launch)};
}

std::optional<Candidate> searchSteam(const Places& places, const Accepts& accepts) {
  auto game = steam(places.home, accepts);
  if (!game) return std::nullopt;
  return Candidate{game->prefix, Rule::Steam, game->source, std::move(game->launch)};
}

// The places in the order they are searched; the managers' records are read only as far as
// the search goes. The managers' places follow ~/.wine.
using Search = std::optional<Candidate> (*)(const Places&, const Accepts&);
constexpr Search kSearches[] = {searchHomeWine,    searchLutris, searchBottles,
                                searchPlayOnLinux, searchHeroic, searchSteam};

// The name a rule has on the start line.
std::string managerName(Rule rule) {
  switch (rule) {
    case Rule::WinePrefix:
      return "WINEPREFIX";
    case Rule::HomeWine:
      return "~/.wine";
    case Rule::Lutris:
      return "lutris";
    case Rule::Bottles:
      return "bottles";
    case Rule::PlayOnLinux:
      return "playonlinux";
    case Rule::Heroic:
      return "heroic";
    case Rule::Steam:
      return "steam";
  }
  return {};
}

// The runner that starts the game: WINE when set; else the one the manager recorded, when it
// can run; else wine from PATH. The manager's environment stays with the game either way.
Launch chooseRunner(const Environment& env, Launch recorded) {
  Launch chosen;
  chosen.environment = std::move(recorded.environment);
  if (isSet(env.wine)) {
    const std::string& wine = *env.wine;
    chosen.runner = wine.find('/') != std::string::npos ? absoluteFrom(env.startFolder, wine)
                                                        : searchPath(env.path, wine);
    if (!chosen.runner.empty() && !isExecutableFile(chosen.runner)) chosen.runner.clear();
    chosen.from = chosen.runner.empty() ? "WINE=" + wine + " names no executable file" : "WINE";
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
  chosen.runner = searchPath(env.path, "wine");
  chosen.from = chosen.runner.empty() ? "no wine in the absolute folders of PATH" : "PATH";
  if (!missing.empty()) chosen.from += "; " + missing;
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

std::optional<std::string> readManagerFile(const fs::path& file) {
  const RegularFile opened(file);
  if (!opened.open() || opened.status().st_size > kManagerFileLimit) return std::nullopt;
  // Read to the end, but never past the limit: the file may grow while it is read.
  Bytes text;
  if (opened.readWhole(kManagerFileLimit, text) != RegularFile::Whole::Read) return std::nullopt;
  return std::string(view(text));
}

bool Environment::sameVariables(const Environment& other) const {
  return winePrefix == other.winePrefix && wine == other.wine && home == other.home &&
         xdgConfigHome == other.xdgConfigHome && xdgDataHome == other.xdgDataHome &&
         path == other.path;
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
  const Places places{home, xdgFolder(env.xdgDataHome, home / ".local/share"),
                      xdgFolder(env.xdgConfigHome, home / ".config")};
  Choice choice;
  std::optional<Candidate> found;
  if (isSet(env.winePrefix)) {
    // Nothing is searched for the game; a manager that names that very prefix starts it.
    const fs::path named = absoluteFrom(env.startFolder, *env.winePrefix);
    const Accepts isNamed = [&](const fs::path& prefix) { return sameFolder(prefix, named); };
    std::optional<Candidate> manager;
    for (const Search search : kSearches)
      if (search != searchHomeWine && !manager) manager = search(places, isNamed);
    found = Candidate{named, Rule::WinePrefix, {}, {}};
    if (manager) {
      choice.namedBy = manager->rule;
      found->source = manager->source;
      found->launch = std::move(manager->launch);
    }
  }
  // Otherwise each place in order, until one holds the game.
  const Accepts holdsTheGame = [](const fs::path& prefix) { return holdsGame(prefix); };
  for (const Search search : kSearches)
    if (!found) found = search(places, holdsTheGame);

  choice.holdsGame = found && found->rule != Rule::WinePrefix;
  if (!found) found = Candidate{home / ".wine", Rule::HomeWine, {}, {}};
  choice.prefix = found->prefix;
  choice.rule = found->rule;
  choice.source = found->source;
  choice.launch = chooseRunner(env, std::move(found->launch));
  return choice;
}

std::vector<std::string> commandLine(const Launch& launch, const fs::path& exe) {
  std::vector<std::string> line;
  if (!launch.runtime.empty()) line = {launch.runtime.string(), "--verb=waitforexitandrun", "--"};
  line.push_back(launch.runner.string());
  if (launch.proton) line.push_back("waitforexitandrun");
  line.push_back(exe.string());
  return line;
}

std::string describe(const Choice& choice) {
  std::string rule = choice.rule == Rule::HomeWine && !choice.holdsGame
                         ? "~/.wine, no prefix found holds the game"
                         : managerName(choice.rule);
  if (choice.rule == Rule::WinePrefix && choice.namedBy != Rule::WinePrefix)
    rule += "; " + managerName(choice.namedBy) + ": " + choice.source;
  else if (!choice.source.empty())
    rule += ": " + choice.source;
  std::string line = "kestrun: prefix " + choice.prefix.string() + " (" + rule + "), ";
  const Launch& launch = choice.launch;
  if (launch.runner.empty()) {
    line += "no Wine found (" + launch.from + ")";
  } else {
    line +=
        (launch.proton ? "proton " : "wine ") + launch.runner.string() + " (" + launch.from + ")";
    if (!launch.runtime.empty()) line += ", runtime " + launch.runtime.string();
  }
  return escapedForTerminal(line);
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
