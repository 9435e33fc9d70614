// Steam: the compatdata prefixes of games added by hand in every library of every Steam folder
// (native, Flatpak, Snap), each with the Proton that runs it (SteamTools.cpp) and the player's
// shortcut that asks Steam to start it (SteamShortcuts.cpp).
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <system_error>
#include <unordered_set>

#include "platform/posix/managers/ManagerFiles.h"
#include "platform/posix/managers/Places.h"
#include "platform/posix/managers/SteamFolder.h"

namespace platform::posix::managers {
namespace {

namespace fs = std::filesystem;
namespace kv = keyvalues;
using steamfolder::Packaging;
using steamfolder::SteamFolder;

// Steam numbers the games added by hand from 2^31 up, its own games below.
constexpr std::uint64_t kFirstHandAddedId = std::uint64_t{1} << 31;
constexpr std::uint64_t kIdLimit = std::uint64_t{1} << 32;

// Where a Steam folder can be, in search order: the native Steam's (~/.steam/root is the link
// Steam keeps to its folder, Debian's ~/.steam/debian-installation among them), Flatpak's,
// Snap's.
std::vector<std::pair<fs::path, Packaging>> steamPlaces(const Places& places) {
  const Places flatpak = places.ofFlatpak(steamfolder::kFlatpakApp);
  const fs::path& home = places.home;
  return {{home / ".steam/root", Packaging::Native},
          {home / ".local/share/Steam", Packaging::Native},
          {flatpak.home / ".local/share/Steam", Packaging::Flatpak},
          {flatpak.dataHome / "Steam", Packaging::Flatpak},
          {home / "snap/steam/common/.local/share/Steam", Packaging::Snap},
          {home / ".snap/data/steam/common/.local/share/Steam", Packaging::Snap}};
}

// The folder's identity, when it is a folder: one stat, however many links lead to it, so that
// a list of tens of thousands of libraries is read in well under a second.
std::optional<steamfolder::FolderId> folderId(const fs::path& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  return steamfolder::FolderId{info.st_dev, info.st_ino};
}

struct FolderIdHash {
  std::size_t operator()(const steamfolder::FolderId& id) const {
    return std::hash<std::uint64_t>()(id.first * 0x9E3779B97F4A7C15u ^ id.second);
  }
};
using FolderSet = std::unordered_set<steamfolder::FolderId, FolderIdHash>;

// The Steam folder itself, then the libraries its libraryfolders.vdf lists (new format: a
// block with "path"; old format: the path as the value), each folder once.
std::vector<steamfolder::Library> librariesOf(const SteamFolder& steam, const Places& places) {
  FolderSet seen;
  std::vector<steamfolder::Library> libraries;
  const auto add = [&](const fs::path& library) {
    const std::optional<steamfolder::FolderId> id = folderId(library);
    if (id && seen.insert(*id).second) libraries.push_back({library, *id});
  };
  add(steam.folder);
  const auto vdf = steamfolder::readVdf(steam.folder / "steamapps/libraryfolders.vdf");
  if (const kv::Entry* listed = vdf ? kv::block(*vdf, {"libraryfolders"}) : nullptr) {
    for (const kv::Entry& entry : listed->entries) {
      const std::string path = entry.isBlock ? kv::valueOf(&entry, "path") : entry.value;
      if (!path.empty() && path.front() == '/') add(steamfolder::onHost(steam, places, path));
    }
  }
  return libraries;
}

// The ids of the games added by hand that have a compatdata folder, in numeric order.
std::vector<std::uint32_t> handAddedIds(const fs::path& compatdata) {
  std::vector<std::uint32_t> ids;
  for (const fs::path& folder : sortedEntries(compatdata, true, {})) {
    const std::string name = folder.filename().string();
    std::uint64_t id = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), id);
    if (error == std::errc() && end == name.data() + name.size() && name.front() != '0' &&
        id >= kFirstHandAddedId && id < kIdLimit)
      ids.push_back(static_cast<std::uint32_t>(id));
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace

std::optional<Candidate> steam(const Places& places, const Accepts& accepts) {
  // Each Steam folder once, and each library once over all of them (two Steams may list one).
  FolderSet steamsSeen, librariesSeen;
  for (const auto& [folder, packaging] : steamPlaces(places)) {
    const std::optional<steamfolder::FolderId> steamId = folderId(folder);
    if (!steamId || !steamsSeen.insert(*steamId).second) continue;
    SteamFolder steam{folder, packaging, {}};
    steam.libraries = librariesOf(steam, places);
    for (const steamfolder::Library& library : steam.libraries) {
      if (!librariesSeen.insert(library.id).second) continue;
      const fs::path compatdata = library.path / "steamapps/compatdata";
      for (const std::uint32_t id : handAddedIds(compatdata)) {
        const fs::path compat = compatdata / std::to_string(id);
        std::error_code ec;
        if (!fs::is_directory(compat / "pfx", ec) || !accepts(compat / "pfx")) continue;
        Launch launch = steamfolder::launchOf(steam, places, compat, id);
        launch.handoff = steamfolder::handoffOf(steam, places, id);
        return Candidate{compat / "pfx", std::to_string(id), std::move(launch)};
      }
    }
  }
  return std::nullopt;
}

namespace steamfolder {

fs::path onHost(const SteamFolder& steam, const Places& places, const std::string& recorded) {
  const fs::path path = recorded;
  if (steam.packaging != Packaging::Flatpak) return path;
  const fs::path sandboxFolder = places.home / ".local/share/Steam";
  const auto [stop, rest] =
      std::mismatch(sandboxFolder.begin(), sandboxFolder.end(), path.begin(), path.end());
  if (stop != sandboxFolder.end()) return path;
  fs::path host = places.ofFlatpak(kFlatpakApp).home / ".local/share/Steam";
  for (auto part = rest; part != path.end(); ++part) host /= *part;
  return host;
}

std::optional<std::vector<kv::Entry>> readVdf(const fs::path& file) {
  const std::optional<std::string> text = readManagerFile(file);
  return text ? kv::parse(*text) : std::nullopt;
}

std::uint64_t gameIdOf(std::uint32_t id) {
  return std::uint64_t{id} << 32 | 0x02000000;
}

}  // namespace steamfolder
}  // namespace platform::posix::managers
