// Bottles: each bottle folder is a prefix; its bottle.yml names the runner (in the runners
// folder beside the bottles folder) and the game's variables.
#include "platform/posix/managers/ManagerFiles.h"
#include "platform/posix/managers/Places.h"
#include "platform/posix/managers/Yaml.h"

namespace platform::posix::managers {

namespace fs = std::filesystem;

std::optional<Candidate> bottles(const Places& places, const Accepts& accepts) {
  for (const Places& at : places.nativeThenFlatpak("com.usebottles.bottles")) {
    const fs::path data = at.dataHome / "bottles";
    for (const fs::path& bottle : sortedEntries(data / "bottles", true, {})) {
      if (!accepts(bottle)) continue;
      Launch launch;
      if (const auto document = loadYaml(bottle / "bottle.yml")) {
        launch.runner = runnerBelow(data / "runners", scalarOf(*document, "Runner"), "bin/wine");
        launch.environment = variablesOf(mappingOf(*document, "Environment_Variables"));
      }
      return Candidate{bottle, bottle.filename().string(), std::move(launch)};
    }
  }
  return std::nullopt;
}

}  // namespace platform::posix::managers
