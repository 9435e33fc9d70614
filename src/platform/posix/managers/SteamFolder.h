// What the three files of the Steam search share: a Steam folder as found, with its libraries,
// and how the paths it records are read. Steam.cpp finds the folders, their libraries and the
// prefixes of the games added by hand; SteamTools.cpp the Proton, the runtime and Steam's
// variables for one; SteamShortcuts.cpp the player's shortcut and the hand-off to Steam.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/managers/KeyValues.h"
#include "platform/posix/managers/Places.h"

namespace platform::posix::managers::steamfolder {

// How the Steam that owns a folder is installed, which decides how it is asked to start a game
// and how the paths it records are read.
enum class Packaging { Native, Flatpak, Snap };

// Flatpak Steam's app.
inline constexpr std::string_view kFlatpakApp = "com.valvesoftware.Steam";

// A folder as the system knows it, through every link: its device and inode.
using FolderId = std::pair<std::uint64_t, std::uint64_t>;

struct Library {
  std::filesystem::path path;  // as listed, not resolved
  FolderId id;
};

struct SteamFolder {
  std::filesystem::path folder;  // as found, not resolved
  Packaging packaging = Packaging::Native;
  // The folder itself, then each library its steamapps/libraryfolders.vdf lists, each folder
  // once.
  std::vector<Library> libraries;
};

// A path a Steam recorded (libraryfolders.vdf, config_info, a tool's install_path, a
// shortcut's Exe), as the host sees it. Flatpak Steam records paths as its sandbox sees them,
// where its folder is ~/.local/share/Steam: a path below that is the same path below
// ~/.var/app/com.valvesoftware.Steam/.local/share/Steam. Other paths, and every path of another
// Steam, are as they are.
std::filesystem::path onHost(const SteamFolder& steam, const Places& places,
                             const std::string& recorded);

// The entries of a text .vdf, or nullopt when it cannot be read or parsed.
std::optional<std::vector<keyvalues::Entry>> readVdf(const std::filesystem::path& file);

// The 64-bit game id Steam starts a game added by hand by, and names it to the game by
// (SteamGameId): the compatdata id in the upper half, 0x02000000 in the lower.
std::uint64_t gameIdOf(std::uint32_t id);

// The Proton that runs the game of compat (<library>/steamapps/compatdata/<id>), with the
// variables Steam sets for a game added by hand (SteamTools.cpp).
Launch launchOf(const SteamFolder& steam, const Places& places, const std::filesystem::path& compat,
                std::uint32_t id);

// The player's shortcut to the game of compatdata id, and how to ask its Steam to start it
// (SteamShortcuts.cpp).
Handoff handoffOf(const SteamFolder& steam, const Places& places, std::uint32_t id);

}  // namespace platform::posix::managers::steamfolder
