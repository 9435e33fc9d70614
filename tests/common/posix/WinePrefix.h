// Throw-away Wine prefixes, hives and a stand-in wine for the Linux host's tests.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace testing_support {

// Sets (or, with nullopt, removes) an environment variable for its lifetime.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// A prefix in a temporary folder, in force (WINEPREFIX) for the object's lifetime:
// drive_c, and dosdevices/c: linking to it as Wine lays it out.
class WinePrefix {
 public:
  explicit WinePrefix(bool withDosdevices = true);
  const fs::path& root() const { return dir_.path(); }
  fs::path driveC() const { return dir_.path() / "drive_c"; }
  // Creates the file (and its folders) below drive_c, e.g. file("Gunship!/data/custom.ini", ...).
  fs::path file(const std::string& relative, const std::string& bytes);
  fs::path folder(const std::string& relative);
  // Writes one of the prefix's hives (system.reg, user.reg, userdef.reg).
  void writeHive(const std::string& name, const std::string& contents);

 private:
  TempDir dir_;
  ScopedEnv env_;
};

// A text hive's header for arch ("win32" or "win64") followed by body.
std::string hive(const std::string& body, const std::string& arch = "win32");
// Bytes as a hive's hex list ("41,00"), and text as UTF-16LE in that form.
std::string hexOf(const std::string& bytes);
std::string utf16Hex(const std::string& ascii);

// Puts back the process's current directory and drive when it goes.
class CurrentFolderGuard {
 public:
  CurrentFolderGuard();
  ~CurrentFolderGuard();
  CurrentFolderGuard(const CurrentFolderGuard&) = delete;
  CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;

 private:
  fs::path folder_;
  char drive_;
};

// A stand-in wine that records each start it is asked for: alone on PATH for its lifetime, or
// at a given path (a game manager's runner) with PATH left as it is.
class StandInWine {
 public:
  struct Start {
    std::string program, cwd, prefix;  // program: the path it was started by
    std::vector<std::string> args;
    // The entries it was started with (NAME=value, or whatever else exec was given), one a
    // line, then "SigIgn:\t<hex mask>": the signals the start ignores
    std::vector<std::string> environment;
  };
  StandInWine();
  explicit StandInWine(const fs::path& program);
  const fs::path& program() const { return program_; }
  // The starts recorded so far, waiting up to ten seconds for at least `expected` of them.
  std::vector<Start> starts(std::size_t expected);

 private:
  TempDir bin_;
  fs::path program_;
  std::optional<ScopedEnv> path_;
};

// Every from in text replaced by to: "@" in a home's entries by the home folder, the home folder
// in what a test reads back by "~".
std::string withHome(std::string text, const std::string& from, const std::string& to);

// A fake home made of entries: "+P" a prefix P that holds the game (in drive_c), "*F" an
// executable file F, "F=T" a file F holding T, "D/" an empty folder. Paths may begin with "lc/"
// (~/.config/lutris/games/), "ld/" (~/.local/share/lutris/), "b/" (~/.local/share/bottles/),
// "fb/" (Flatpak's bottles data), "pol/" (~/.PlayOnLinux/), "h/" (~/.config/heroic/), "fh/"
// (Flatpak's heroic), "st/" (~/.local/share/Steam/), "cd/" (its steamapps/compatdata/), "fst/"
// (Flatpak's .../data/Steam/), "fsl/" (Flatpak's .../.local/share/Steam/) or "sst/" (Snap's
// ~/snap/steam/common/.local/share/Steam/); "|F" a named pipe F; "L->T" a
// symbolic link L to ~/T. Every home has ~/bin/wine and ~/start/, the folder the program
// started in.
void buildHome(const fs::path& home, std::vector<std::string> entries);

// A Steam user's config/shortcuts.vdf (binary KeyValues) with one shortcut per entry: its appid
// (decimal; empty: none, as in older files), AppName and Exe (written in double quotes, as
// Steam writes it).
struct SteamShortcut {
  std::string appid, name, exe;
};
std::string shortcutsVdf(const std::vector<SteamShortcut>& shortcuts);

}  // namespace testing_support
