// Which prefix holds the game and which Wine starts it, in fake home folders.
#include "platform/posix/Prefix.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "WinePrefix.h"

namespace {

using namespace testing_support;
using platform::posix::prefix::choose;
using platform::posix::prefix::describe;
using platform::posix::prefix::Environment;
using platform::posix::prefix::holdsGame;

// A home folder with prefixes, game managers' records and programs, and the variables of a
// program started in ~/start with PATH=~/bin (which holds a wine).
class FakeHome {
 public:
  FakeHome() {
    program("bin/wine");
    fs::create_directories(root() / "start");
    env.home = root().string();
    env.path = (root() / "bin").string();
    env.startFolder = root() / "start";
  }
  const fs::path& root() const { return dir_.path(); }
  void write(const std::string& relative, const std::string& text) const {
    fs::create_directories((root() / relative).parent_path());
    writeFile(root() / relative, text);
  }
  // A prefix that holds the game in its drive_c.
  void game(const std::string& prefix) const {
    fs::create_directories(root() / prefix / "drive_c/Gunship!");
  }
  void program(const std::string& relative) const {
    write(relative, "#!/bin/sh\n");
    fs::permissions(root() / relative, fs::perms::owner_all);
  }
  // A choice's line with the home folder written ~.
  std::string line() const {
    std::string text = describe(choose(env));
    for (std::size_t at; (at = text.find(root().string())) != std::string::npos;)
      text.replace(at, root().string().size(), "~");
    return text.substr(text.find("prefix "));
  }

  Environment env;

 private:
  TempDir dir_;
};

const std::string kConfig = ".config/lutris/games/", kData = ".local/share/lutris/games/";
const std::string kBottles = ".local/share/bottles/", kFlatpak =
                                                          ".var/app/com.usebottles.bottles/data/"
                                                          "bottles/";
const std::string kPol = ".PlayOnLinux/";

std::string lutrisGame(const std::string& prefix, const std::string& version = "") {
  return "game:\n  exe: " + prefix + "/drive_c/Gunship!/gunship.exe\n  prefix: " + prefix + "\n" +
         (version.empty() ? "" : "wine:\n  version: " + version + "\n") + "system: {}\n";
}

TEST(Prefix, TheFirstPrefixThatHoldsTheGameAndItsOwnWine) {
  const struct {
    const char* name;
    std::function<void(FakeHome&)> setup;
    std::string line;
  } cases[] = {
      {"nothing installed", [](FakeHome&) {},
       "prefix ~/.wine (~/.wine, no prefix found holds the game), wine ~/bin/wine (PATH)"},
      {"~/.wine before the managers",
       [](FakeHome& h) {
         h.game(".wine");
         h.game("Games/a");
         h.write(kConfig + "a.yml", lutrisGame("~/Games/a"));
       },
       "prefix ~/.wine (~/.wine), wine ~/bin/wine (PATH)"},
      {"lutris: both folders by file name; broken, prefix-less and relative files skipped",
       [](FakeHome& h) {
         for (const char* p : {"Games/a", "Games/b"}) h.game(p);
         h.write(kConfig + "0.yml", "game: [prefix: ~/Games/b\n");  // unparsable
         h.write(kConfig + "1.yml", "game:\n  exe: x.exe\n");
         h.write(kConfig + "2.yml", "game: {prefix: Games/b}\n");
         h.write(kConfig + "3.yml", lutrisGame("~/Games/nothing"));
         h.write(kConfig + "a.yml.bak", lutrisGame("~/Games/b"));
         h.write(kConfig + "b.yml", lutrisGame("~/Games/b"));
         h.write(kData + "a.yml", lutrisGame(h.root().string() + "/Games/a", "lutris-8"));
         h.program(".local/share/lutris/runners/wine/lutris-8/bin/wine");
       },
       "prefix ~/Games/a (lutris: ~/.local/share/lutris/games/a.yml), "
       "wine ~/.local/share/lutris/runners/wine/lutris-8/bin/wine (the prefix's runner)"},
      {"lutris: recorded runner missing",
       [](FakeHome& h) {
         h.game("Games/a");
         h.write(kConfig + "a.yml", lutrisGame("~/Games/a", "lutris-9"));
       },
       "prefix ~/Games/a (lutris: ~/.config/lutris/games/a.yml), wine ~/bin/wine (PATH; the "
       "prefix's runner ~/.local/share/lutris/runners/wine/lutris-9/bin/wine is missing or not "
       "executable)"},
      {"lutris: a version that climbs out of the runners is none",
       [](FakeHome& h) {
         h.game("Games/a");
         h.program("bin/x/bin/wine");
         h.write(kConfig + "a.yml", lutrisGame("~/Games/a", "../../../../../../bin/x"));
       },
       "prefix ~/Games/a (lutris: ~/.config/lutris/games/a.yml), wine ~/bin/wine (PATH)"},
      {"lutris before bottles before playonlinux",
       [](FakeHome& h) {
         for (const std::string& p :
              {std::string("Games/z"), kBottles + "bottles/a", kPol + "wineprefix/a"})
           h.game(p);
         h.write(kData + "z.yml", lutrisGame("~/Games/z"));
       },
       "prefix ~/Games/z (lutris: ~/.local/share/lutris/games/z.yml), wine ~/bin/wine (PATH)"},
      {"bottles: the data folder before Flatpak's, each in byte order",
       [](FakeHome& h) {
         for (const std::string& p : {kFlatpak + "bottles/A", kBottles + "bottles/b",
                                      kBottles + "bottles/B", kPol + "wineprefix/a"})
           h.game(p);
         fs::create_directories(h.root() / kBottles / "bottles/a");
         h.write(kBottles + "bottles/B/bottle.yml", "Name: Gunship\nRunner: soda-7\n");
         h.program(kBottles + "runners/soda-7/bin/wine");
       },
       "prefix ~/.local/share/bottles/bottles/B (bottles: B), "
       "wine ~/.local/share/bottles/runners/soda-7/bin/wine (the prefix's runner)"},
      {"bottles: Flatpak's runners beside its bottles; broken bottle.yml only loses the runner",
       [](FakeHome& h) {
         for (const char* b : {"A", "B"}) h.game(kFlatpak + "bottles/" + b);
         h.write(kFlatpak + "bottles/A/bottle.yml", "Runner: caffe\n");
         h.write(kFlatpak + "bottles/B/bottle.yml", "Runner: [caffe\n");
         h.program(kFlatpak + "runners/caffe/bin/wine");
         h.write(kBottles + "runners/caffe/bin/wine", "");
       },
       "prefix ~/.var/app/com.usebottles.bottles/data/bottles/bottles/A (bottles: A), wine "
       "~/.var/app/com.usebottles.bottles/data/bottles/runners/caffe/bin/wine (the prefix's "
       "runner)"},
      {"playonlinux: byte order, its Wine by VERSION and ARCH",
       [](FakeHome& h) {
         h.game(kPol + "wineprefix/b");
         h.game(kPol + "wineprefix/c");
         fs::create_directories(h.root() / kPol / "wineprefix/a");
         h.write(kPol + "wineprefix/b/playonlinux.cfg", "ARCH=amd64\r\nVERSION=8.0\r\n");
         h.program(kPol + "wine/linux-amd64/8.0/bin/wine");
       },
       "prefix ~/.PlayOnLinux/wineprefix/b (playonlinux: b), "
       "wine ~/.PlayOnLinux/wine/linux-amd64/8.0/bin/wine (the prefix's runner)"},
      {"playonlinux: an unknown ARCH names no runner",
       [](FakeHome& h) {
         h.game(kPol + "wineprefix/b");
         h.write(kPol + "wineprefix/b/playonlinux.cfg", "ARCH=arm\nVERSION=8.0\n");
         h.program(kPol + "wine/linux-arm/8.0/bin/wine");
       },
       "prefix ~/.PlayOnLinux/wineprefix/b (playonlinux: b), wine ~/bin/wine (PATH)"},
      {"XDG_DATA_HOME, absolute, replaces ~/.local/share",
       [](FakeHome& h) {
         h.game("Games/a");
         h.game("Games/b");
         h.write(kData + "0.yml", lutrisGame("~/Games/b"));
         h.write("xdg/lutris/games/1.yml", lutrisGame("~/Games/a"));
         h.env.xdgDataHome = (h.root() / "xdg").string();
       },
       "prefix ~/Games/a (lutris: ~/xdg/lutris/games/1.yml), wine ~/bin/wine (PATH)"},
      {"XDG_CONFIG_HOME, relative, counts as unset",
       [](FakeHome& h) {
         h.game("Games/b");
         h.write(kConfig + "0.yml", lutrisGame("~/Games/b"));
         h.env.xdgConfigHome = "start";
       },
       "prefix ~/Games/b (lutris: ~/.config/lutris/games/0.yml), wine ~/bin/wine (PATH)"},
      {"WINEPREFIX: made absolute, nothing searched",
       [](FakeHome& h) {
         h.game(".wine");
         h.env.winePrefix = "../pfx";
       },
       "prefix ~/pfx (WINEPREFIX), wine ~/bin/wine (PATH)"},
      {"WINE: a path, over the runner; relative from the start folder",
       [](FakeHome& h) {
         h.game(kBottles + "bottles/a");
         h.write(kBottles + "bottles/a/bottle.yml", "Runner: soda\n");
         h.program(kBottles + "runners/soda/bin/wine");
         h.program("start/tools/wine");
         h.env.wine = "tools/wine";
       },
       "prefix ~/.local/share/bottles/bottles/a (bottles: a), wine ~/start/tools/wine (WINE)"},
      {"WINE: a name, in the absolute entries of PATH",
       [](FakeHome& h) {
         h.program("start/wine-stable");
         h.program("opt/wine-stable");
         h.env.wine = "wine-stable";
         h.env.path = ":.:/nowhere:" + (h.root() / "opt").string();
       },
       "prefix ~/.wine (~/.wine, no prefix found holds the game), wine ~/opt/wine-stable (WINE)"},
      {"WINE: naming nothing leaves no Wine", [](FakeHome& h) { h.env.wine = "wine-staging"; },
       "prefix ~/.wine (~/.wine, no prefix found holds the game), no Wine found "
       "(WINE=wine-staging names no executable file)"},
      {"PATH: empty and relative entries, a non-executable wine, are passed over",
       [](FakeHome& h) {
         h.program("start/wine");
         h.write("opt/wine", "#!/bin/sh\n");
         h.env.path = ":.:start:" + (h.root() / "opt").string();
       },
       "prefix ~/.wine (~/.wine, no prefix found holds the game), no Wine found (no wine in "
       "the absolute folders of PATH)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHome home;
    c.setup(home);
    EXPECT_EQ(home.line(), c.line);
  }
}

TEST(Prefix, HoldsTheGameByItsRegistryKeyOrItsFolderInDriveC) {
  const auto hive = [](const std::string& head, const std::string& body) {
    return head + "\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n" + body;
  };
  const std::string v2 = "WINE REGISTRY Version 2";
  const struct {
    const char* name;
    std::string systemReg;  // empty: none; "|": a named pipe
    const char* inDriveC;   // nullptr: nothing
    bool holds;
  } cases[] = {
      {"key", hive(v2, "[Software\\\\Hasbro Interactive\\\\Gunship!] 17\n"), nullptr, true},
      {"32-bit view", hive(v2, "[Software\\\\Wow6432Node\\\\Hasbro Interactive\\\\Gunship!] 1\n"),
       nullptr, true},
      {"a key below, other case",
       hive(v2 + "\r", "[SOFTWARE\\\\hasbro interactive\\\\GUNSHIP!\\\\Settings] 1\r\n"), nullptr,
       true},
      {"escaped letter whose upper case is S",
       hive(v2, "[Software\\\\Hasbro Interactive\\\\Gun\\x17fhip!] 1\n"), nullptr, true},
      {"longer name", hive(v2, "[Software\\\\Hasbro Interactive\\\\Gunship!2] 1\n"), nullptr,
       false},
      {"a value, not a key",
       hive(v2, "[Software\\\\Hasbro Interactive] 1\n\"Gunship!\"=\"c:\\\\Gunship!\"\n"), nullptr,
       false},
      {"elsewhere", hive(v2, "[Software\\\\Classes\\\\Hasbro Interactive\\\\Gunship!] 1\n"),
       nullptr, false},
      {"not a hive", hive("REGEDIT4", "[Software\\\\Hasbro Interactive\\\\Gunship!] 1\n"), nullptr,
       false},
      {"folder in drive_c", "", "gunship!/", true},
      {"file in drive_c, Unicode case", "", "GUNſHIP!", true},
      {"another name in drive_c", "", "Gunship!.lnk", false},
      {"a pipe named system.reg is not read", "|", nullptr, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir prefix;
    fs::create_directory(prefix.path() / "drive_c");
    if (c.systemReg == "|")
      ASSERT_EQ(::mkfifo((prefix.path() / "system.reg").c_str(), 0600), 0);
    else if (!c.systemReg.empty())
      writeFile(prefix.path() / "system.reg", c.systemReg);
    if (c.inDriveC) {
      const std::string name = c.inDriveC;
      if (name.ends_with('/'))
        fs::create_directory(prefix.path() / "drive_c" / name);
      else
        writeFile(prefix.path() / "drive_c" / name, "");
    }
    EXPECT_EQ(holdsGame(prefix.path()), c.holds);
  }
}

}  // namespace
