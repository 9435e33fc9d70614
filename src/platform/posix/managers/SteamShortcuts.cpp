// The player's Steam shortcut to a game added by hand, and how its Steam is asked to start it
// (SteamFolder.h).
#include <array>
#include <charconv>
#include <string_view>

#include "platform/posix/managers/BinaryKeyValues.h"
#include "platform/posix/managers/ManagerFiles.h"
#include "platform/posix/managers/SteamFolder.h"

namespace platform::posix::managers::steamfolder {
namespace {

namespace fs = std::filesystem;
namespace kv = keyvalues;

// zlib's CRC-32 (the reflected polynomial 0xEDB88320), one table made once.
std::uint32_t crc32(std::string_view bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> made{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int bit = 0; bit < 8; ++bit) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      made[n] = c;
    }
    return made;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char byte : bytes)
    crc = table[(crc ^ static_cast<unsigned char>(byte)) & 0xFF] ^ crc >> 8;
  return crc ^ 0xFFFFFFFFu;
}

// The compatdata id of a shortcut: its appid, or for a file older than that field,
// crc32(Exe + AppName) with the top bit set, as Steam made it then.
std::uint32_t idOf(const kv::Entry& shortcut) {
  const std::string appid = kv::valueOf(&shortcut, "appid");
  std::uint32_t id = 0;
  const auto [end, error] = std::from_chars(appid.data(), appid.data() + appid.size(), id);
  if (!appid.empty() && error == std::errc() && end == appid.data() + appid.size()) return id;
  return crc32(kv::valueOf(&shortcut, "Exe") + kv::valueOf(&shortcut, "AppName")) | 0x80000000u;
}

// A shortcut's Exe without the double quotes Steam writes around it.
std::string unquoted(std::string text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    text = text.substr(1, text.size() - 2);
  return text;
}

// What a desktop shortcut of this Steam runs to start the game, with the program found in
// PATH; empty when it is not there, and missing names what is.
std::vector<std::string> steamCommand(const SteamFolder& steam, const Places& places,
                                      std::uint32_t id, std::string& missing) {
  const std::string url = "steam://rungameid/" + std::to_string(gameIdOf(id));
  const auto [program, arguments] =
      steam.packaging == Packaging::Flatpak
          ? std::pair{"flatpak", std::vector<std::string>{"run", std::string(kFlatpakApp), url}}
      : steam.packaging == Packaging::Snap
          ? std::pair{"snap", std::vector<std::string>{"run", "steam", url}}
          : std::pair{"steam", std::vector<std::string>{url}};
  const fs::path found = findInPath(places.path, program);
  if (found.empty()) {
    missing = std::string("no ") + program + " in the absolute folders of PATH";
    return {};
  }
  std::vector<std::string> command{found.string()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

}  // namespace

Handoff handoffOf(const SteamFolder& steam, const Places& places, std::uint32_t id) {
  for (const fs::path& user : sortedEntries(steam.folder / "userdata", true, {})) {
    const std::optional<std::string> bytes = readManagerFile(user / "config/shortcuts.vdf");
    const auto entries = bytes ? binarykeyvalues::parse(*bytes) : std::nullopt;
    const kv::Entry* shortcuts = entries ? kv::block(*entries, {"shortcuts"}) : nullptr;
    if (!shortcuts) continue;
    for (const kv::Entry& shortcut : shortcuts->entries) {
      if (!shortcut.isBlock || idOf(shortcut) != id) continue;
      Handoff handoff;
      handoff.exe = onHost(steam, places, unquoted(kv::valueOf(&shortcut, "Exe")));
      handoff.what = "steam's shortcut \"" + kv::valueOf(&shortcut, "AppName") + "\"";
      std::string missing;
      handoff.command = steamCommand(steam, places, id, missing);
      if (!missing.empty()) handoff.what += ", but " + missing;
      return handoff;
    }
  }
  return {{}, {}, "steam has no shortcut " + std::to_string(id)};
}

}  // namespace platform::posix::managers::steamfolder
