// PlayOnLinux: each folder of ~/.PlayOnLinux/wineprefix is a prefix; its playonlinux.cfg names
// the Wine version and architecture.
#include "platform/posix/managers/ManagerFiles.h"
#include "platform/posix/managers/Places.h"

namespace platform::posix::managers {

namespace fs = std::filesystem;

namespace {

// The value of a KEY=value line in a playonlinux.cfg; empty when there is none.
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

}  // namespace

std::optional<Candidate> playOnLinux(const Places& places, const Accepts& accepts) {
  const fs::path pol = places.home / ".PlayOnLinux";
  for (const fs::path& folder : sortedEntries(pol / "wineprefix", true, {})) {
    if (!accepts(folder)) continue;
    const std::string cfg = readManagerFile(folder / "playonlinux.cfg").value_or("");
    const std::string arch = cfgValue(cfg, "ARCH");
    Launch launch;
    if (arch == "x86" || arch == "amd64")
      launch.runner =
          runnerBelow(pol / "wine" / ("linux-" + arch), cfgValue(cfg, "VERSION"), "bin/wine");
    return Candidate{folder, folder.filename().string(), std::move(launch)};
  }
  return std::nullopt;
}

}  // namespace platform::posix::managers
