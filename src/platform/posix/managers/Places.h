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

// How the game is started in the prefix.
struct Launch {
  // Wine, run as `<runner> <exe>`, or (proton) a Proton script, run as
  // `<runner> waitforexitandrun <exe>`; absolute; empty when none was found.
  std::filesystem::path runner;
  bool proton = false;
  // The Steam Linux Runtime's entry point the Proton runs in, when not empty:
  // `<runtime> --verb=waitforexitandrun -- <runner> waitforexitandrun <exe>`.
  std::filesystem::path runtime;
  // The game's variables over the program's own: the manager's (environment), then those the
  // start needs (own: Proton's), which win over both; WINEPREFIX=<prefix> wins over all.
  Variables environment, own;
  // Where the runner came from ("WINE", "PATH", "the prefix's runner", ...), or why there is
  // none.
  std::string from;
};

// The folders a search starts from: the home and its XDG data and config folders.
struct Places {
  std::filesystem::path home, dataHome, configHome;

  // Where the files of the Flatpak app named app land on the host: its home is
  // ~/.var/app/<app>, its data and config folders are data and config there.
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
