// The places players keep games in: ~/.wine and the prefixes of the game managers, one search
// function each (one file each in this folder), and the one table the prefix search
// (Prefix.h) walks. The README ("How it finds the game on Linux") has the order, the folders
// of each place and the runner each records.
//
// A search function yields the first prefix of its place that accepts takes (the search's
// test: it holds the game; with WINEPREFIX set: it is that very folder), with what the place
// records about starting the game there. A manager's file that cannot be read or parsed is
// passed over and the search goes on; nothing is written.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::posix::managers {

using Variables = std::vector<std::pair<std::string, std::string>>;

// How a manager asks itself to start the game: what its own desktop shortcuts run. It is used
// when the manager's record of the game names the very exe the program would start.
struct Handoff {
  // The program (absolute) and its arguments; empty when there is none.
  std::vector<std::string> command;
  // The exe the manager's record starts, as a host path.
  std::filesystem::path exe;
  // The record, as the game's start line names it (steam's shortcut "Gunship!"); without a
  // command, why there is none (steam has no shortcut 3391826345); empty for a place that hands
  // nothing off.
  std::string what;
};

// How the game is started in the prefix.
struct Launch {
  // How the runner runs the exe: Wine and UMU as `<runner> <exe>`, a Proton script as
  // `<runner> waitforexitandrun <exe>`.
  enum class Kind { Wine, Proton, Umu };
  Kind kind = Kind::Wine;
  // Absolute; empty when none was found.
  std::filesystem::path runner;
  // The Steam Linux Runtime's entry point a Proton runs in, when not empty:
  // `<runtime> --verb=waitforexitandrun -- <runner> waitforexitandrun <exe>`.
  std::filesystem::path runtime;
  // The app id of a runtime the tool asks for that no library has; the Proton then runs bare.
  std::string missingRuntime;
  // The game's variables over the program's own: the manager's (environment), then those the
  // start needs (own), which win over both; WINEPREFIX=<prefix> wins over all unless own names
  // WINEPREFIX itself (Heroic's Proton games: its winePrefix).
  Variables environment, own;
  // Where the runner came from ("WINE", "PATH", "the prefix's runner", ...), or why there is
  // none.
  std::string from;
  Handoff handoff;
};

// The folders a search starts from: the home and its XDG data and config folders; and the
// variables the managers' starts look at (nullopt when unset).
struct Places {
  std::filesystem::path home, dataHome, configHome;
  std::optional<std::string> path, steamExtraCompatTools;

  // Where the files of the Flatpak app named app land on the host: its home is
  // ~/.var/app/<app>, its data and config folders are data and config there. The variables
  // stay.
  Places ofFlatpak(std::string_view app) const;
  // A manager's own places, then those of its Flatpak app.
  std::array<Places, 2> nativeThenFlatpak(std::string_view app) const;
};

// A prefix a place holds.
struct Candidate {
  std::filesystem::path prefix;
  // What the start line names it by: Lutris: the game file's path; Bottles, PlayOnLinux: the
  // prefix folder's name; Heroic: the game's app name; Steam: the compatdata id; ~/.wine: empty.
  std::string source;
  Launch launch;  // the runner the place records (maybe none, and why) and the game's variables
};

using Accepts = std::function<bool(const std::filesystem::path& prefix)>;
using Search = std::optional<Candidate> (*)(const Places& places, const Accepts& accepts);

std::optional<Candidate> homeWine(const Places& places, const Accepts& accepts);
std::optional<Candidate> lutris(const Places& places, const Accepts& accepts);
std::optional<Candidate> bottles(const Places& places, const Accepts& accepts);
std::optional<Candidate> playOnLinux(const Places& places, const Accepts& accepts);
std::optional<Candidate> heroic(const Places& places, const Accepts& accepts);
std::optional<Candidate> steam(const Places& places, const Accepts& accepts);

struct Place {
  std::string_view name;  // as the start line shows it
  Search search;
};

// The places in search order. ~/.wine comes first and records nothing; the others are the
// managers, whose records can also name a prefix that WINEPREFIX gives.
inline constexpr Place kPlaces[] = {
    {"~/.wine", homeWine},         // HomeWine.cpp
    {"lutris", lutris},            // Lutris.cpp
    {"bottles", bottles},          // Bottles.cpp
    {"playonlinux", playOnLinux},  // PlayOnLinux.cpp
    {"heroic", heroic},            // Heroic.cpp
    {"steam", steam},              // Steam.cpp
};
inline constexpr std::span<const Place> kManagers = std::span(kPlaces).subspan(1);

}  // namespace platform::posix::managers
