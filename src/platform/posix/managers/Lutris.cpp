// Lutris: one game file per game, its prefix, its Wine runner and its variables.
#include <algorithm>

#include "platform/posix/managers/ManagerFiles.h"
#include "platform/posix/managers/Places.h"
#include "platform/posix/managers/Yaml.h"

namespace platform::posix::managers {

namespace fs = std::filesystem;

std::optional<Candidate> lutris(const Places& places, const Accepts& accepts) {
  // The two folders merged by file name; a name in both: the config folder's first.
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
    const fs::path prefix = fromHome(scalarOf(mappingOf(*document, "game"), "prefix"), places.home);
    if (!prefix.is_absolute() || !accepts(prefix)) continue;
    const std::string version = scalarOf(mappingOf(*document, "wine"), "version");
    Launch launch;
    launch.runner = runnerBelow(places.dataHome / "lutris/runners/wine", version, "bin/wine");
    launch.environment = variablesOf(mappingOf(mappingOf(*document, "system"), "env"));
    return Candidate{prefix, file.string(), std::move(launch)};
  }
  return std::nullopt;
}

}  // namespace platform::posix::managers
