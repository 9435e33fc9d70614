// Which prefix holds the game and which Wine starts it, in fake home folders.
#include "platform/posix/Prefix.h"

#include <gtest/gtest.h>

#include <functional>

#include "WinePrefix.h"
#include "platform/posix/start/Start.h"
#include "platform/posix/start/StartLine.h"

namespace {

using namespace testing_support;
using platform::posix::prefix::choose;
using platform::posix::prefix::describe;
using platform::posix::prefix::Environment;
using platform::posix::prefix::holdsGame;
using platform::posix::prefix::startOf;

TEST(Prefix, TheFirstPrefixThatHoldsTheGameAndItsOwnWine) {
  // The variables beside HOME=~ and PATH=~/bin; nullptr: unset.
  struct Vars {
    const char *winePrefix = nullptr, *wine = nullptr, *path = "@/bin", *dataHome = nullptr,
               *configHome = nullptr, *extraTools = nullptr;
  };
  const struct {
    const char* name;
    std::vector<std::string> home;
    std::string line;
    Vars vars = {};
  } cases[] = {
      {"nothing installed",
       {},
       "prefix ~/.wine (~/.wine, no prefix found holds the game), wine ~/bin/wine (PATH)"},
      {"~/.wine before the managers",
       {"+.wine", "+Games/a", "lc/a.yml=game: {prefix: ~/Games/a}"},
       "prefix ~/.wine (~/.wine), wine ~/bin/wine (PATH)"},
      {"lutris: both folders by file name; broken, prefix-less and relative files skipped",
       {"+Games/a", "+Games/b", "lc/0.yml=game: [prefix: ~/Games/b", "lc/1.yml=game: {exe: x}",
        "lc/2.yml=game: {prefix: Games/b}", "lc/3.yml=game: {prefix: ~/Games/none}",
        "lc/a.yml.bak=game: {prefix: ~/Games/b}", "lc/b.yml=game: {prefix: ~/Games/b}",
        "ld/games/a.yml=game:\n  prefix: @/Games/a\nwine:\n  version: lutris-8\n",
        "*ld/runners/wine/lutris-8/bin/wine"},
       "prefix ~/Games/a (lutris: ~/.local/share/lutris/games/a.yml), "
       "wine ~/.local/share/lutris/runners/wine/lutris-8/bin/wine (the prefix's runner)"},
      {"lutris: recorded runner missing",
       {"+Games/a", "lc/a.yml={game: {prefix: ~/Games/a}, wine: {version: lutris-9}}"},
       "prefix ~/Games/a (lutris: ~/.config/lutris/games/a.yml), wine ~/bin/wine (PATH; the "
       "prefix's runner ~/.local/share/lutris/runners/wine/lutris-9/bin/wine is missing or not "
       "executable)"},
      {"lutris: a version that climbs out of the runners is none",
       {"+Games/a", "*bin/x/bin/wine",
        "lc/a.yml={game: {prefix: ~/Games/a}, wine: {version: ../../../../../../bin/x}}"},
       "prefix ~/Games/a (lutris: ~/.config/lutris/games/a.yml), wine ~/bin/wine (PATH)"},
      {"lutris: ~//Games/a is the home's Games/a, as a shell reads it",
       {"+Games/a", "lc/a.yml=game: {prefix: ~//Games/a}"},
       "prefix ~/Games/a (lutris: ~/.config/lutris/games/a.yml), wine ~/bin/wine (PATH)"},
      {"lutris: a prefix of ~ alone is the home",
       {"+", "lc/a.yml=game: {prefix: '~'}"},
       "prefix ~ (lutris: ~/.config/lutris/games/a.yml), wine ~/bin/wine (PATH)"},
      {"lutris before bottles before playonlinux",
       {"+Games/z", "+b/bottles/a", "+pol/wineprefix/a",
        "ld/games/z.yml=game: {prefix: ~/Games/z}"},
       "prefix ~/Games/z (lutris: ~/.local/share/lutris/games/z.yml), wine ~/bin/wine (PATH)"},
      {"bottles: the data folder before Flatpak's, each in byte order",
       {"+fb/bottles/A", "b/bottles/a/", "+b/bottles/b", "+b/bottles/B", "+pol/wineprefix/a",
        "b/bottles/B/bottle.yml=Name: Gunship\nRunner: soda-7\n", "*b/runners/soda-7/bin/wine"},
       "prefix ~/.local/share/bottles/bottles/B (bottles: B), "
       "wine ~/.local/share/bottles/runners/soda-7/bin/wine (the prefix's runner)"},
      {"bottles: Flatpak's runners beside its bottles; broken bottle.yml only loses the runner",
       {"+fb/bottles/A", "+fb/bottles/B", "fb/bottles/A/bottle.yml=Runner: caffe",
        "fb/bottles/B/bottle.yml=Runner: [caffe", "*fb/runners/caffe/bin/wine",
        "b/runners/caffe/bin/wine="},
       "prefix ~/.var/app/com.usebottles.bottles/data/bottles/bottles/A (bottles: A), wine "
       "~/.var/app/com.usebottles.bottles/data/bottles/runners/caffe/bin/wine (the prefix's "
       "runner)"},
      {"playonlinux: byte order, its Wine by VERSION and ARCH",
       {"pol/wineprefix/a/", "+pol/wineprefix/b", "+pol/wineprefix/c",
        "pol/wineprefix/b/playonlinux.cfg=ARCH=amd64\r\nVERSION=8.0\r\n",
        "*pol/wine/linux-amd64/8.0/bin/wine"},
       "prefix ~/.PlayOnLinux/wineprefix/b (playonlinux: b), "
       "wine ~/.PlayOnLinux/wine/linux-amd64/8.0/bin/wine (the prefix's runner)"},
      {"playonlinux: an unknown ARCH names no runner",
       {"+pol/wineprefix/b", "pol/wineprefix/b/playonlinux.cfg=ARCH=arm\nVERSION=8.0\n",
        "*pol/wine/linux-arm/8.0/bin/wine"},
       "prefix ~/.PlayOnLinux/wineprefix/b (playonlinux: b), wine ~/bin/wine (PATH)"},
      {"XDG_DATA_HOME, absolute, replaces ~/.local/share",
       {"+Games/a", "+Games/b", "ld/games/0.yml=game: {prefix: ~/Games/b}",
        "xdg/lutris/games/1.yml=game: {prefix: ~/Games/a}"},
       "prefix ~/Games/a (lutris: ~/xdg/lutris/games/1.yml), wine ~/bin/wine (PATH)",
       {.dataHome = "@/xdg"}},
      {"XDG_CONFIG_HOME, relative, counts as unset",
       {"+Games/b", "lc/0.yml=game: {prefix: ~/Games/b}"},
       "prefix ~/Games/b (lutris: ~/.config/lutris/games/0.yml), wine ~/bin/wine (PATH)",
       {.configHome = "start"}},
      {"WINEPREFIX: made absolute, its .. kept for the links before it, nothing searched",
       {"+.wine"},
       "prefix ~/start/../pfx (WINEPREFIX), wine ~/bin/wine (PATH)",
       {.winePrefix = "../pfx"}},
      {"lutris: a prefix through a link and .. names the folder the search tested",
       {"+real/gs", "real/sub/", "link->real/sub", "lc/a.yml=game: {prefix: ~/link/../gs}"},
       "prefix ~/link/../gs (lutris: ~/.config/lutris/games/a.yml), wine ~/bin/wine (PATH)"},
      {"manager files: over 1 MiB or not a regular file, skipped unread",
       {"+Games/a", "+Games/b", "|lc/0.yml",
        "lc/1.yml=game: {prefix: ~/Games/b}\n#" + std::string(1 << 20, 'x'),
        "lc/2.yml=game: {prefix: ~/Games/a}"},
       "prefix ~/Games/a (lutris: ~/.config/lutris/games/2.yml), wine ~/bin/wine (PATH)"},
      {"the names shown are escaped: the line stays one line",
       {"+b/bottles/a\nkestrun: prefix \x1b[1m\xff\\\xc2\x9b\xc3\xa9"},
       "prefix ~/.local/share/bottles/bottles/a\\nkestrun: prefix \\x1b[1m\\xff\\\\"
       "\\xc2\\x9b\xc3\xa9 (bottles: a\\nkestrun: prefix \\x1b[1m\\xff\\\\\\xc2\\x9b"
       "\xc3\xa9), wine ~/bin/wine (PATH)"},
      {"the line breaks and format characters of Unicode are escaped too",
       {"+b/bottles/a\u2028kestrun: prefix \u202e\u2029\U000e0001"},
       "prefix ~/.local/share/bottles/bottles/a\\u2028kestrun: prefix \\u202e\\u2029"
       "\\U000e0001 (bottles: a\\u2028kestrun: prefix \\u202e\\u2029\\U000e0001), "
       "wine ~/bin/wine (PATH)"},
      {"heroic: native before Flatpak, by file name; damaged JSON and another app's name "
       "skipped; ~ is the home, pfx inside is the prefix; a Proton runner",
       {"+hp/a/pfx", "+hp/b", "+hp/c", R"(h/GamesConfig/0.json={"0": {"winePrefix": "~/hp/c")",
        R"(h/GamesConfig/1.json={"other": {"winePrefix": "~/hp/c"}})",
        R"(h/GamesConfig/2.json={"2": {"winePrefix": "~/hp/a",
             "wineVersion": {"bin": "@/tools/GE/proton", "type": "proton"}}})",
        R"(fh/GamesConfig/1.json={"1": {"winePrefix": "@/hp/b"}})", "*tools/GE/proton"},
       "prefix ~/hp/a/pfx (heroic: 2), proton ~/tools/GE/proton (heroic's runner)"},
      {"heroic: Flatpak's; winePrefix and a Wine runner from config.json's defaults",
       {"+hp/b", R"(fh/GamesConfig/g.json={"g": {}})",
        R"(fh/config.json={"defaultSettings": {"winePrefix": "@/hp/b",
             "wineVersion": {"bin": "@/tools/wine-ge/bin/wine", "type": "wine"}}})",
        "*tools/wine-ge/bin/wine"},
       "prefix ~/hp/b (heroic: g), wine ~/tools/wine-ge/bin/wine (heroic's runner)"},
      {"heroic: another runner type is no runner",
       {"+hp/b", "*tools/x",
        R"(h/GamesConfig/g.json={"g": {"winePrefix": "~/hp/b",
             "wineVersion": {"bin": "@/tools/x", "type": "crossover"}}})"},
       "prefix ~/hp/b (heroic: g), wine ~/bin/wine (PATH; heroic's runner type \"crossover\" is "
       "none Kestrun can start)"},
      {"heroic: a bin that climbs is no runner",
       {"+hp/b", "*tools/x",
        R"(h/GamesConfig/g.json={"g": {"winePrefix": "~/hp/b",
             "wineVersion": {"bin": "@/tools/../tools/x", "type": "wine"}}})"},
       "prefix ~/hp/b (heroic: g), wine ~/bin/wine (PATH; heroic's runner ~/tools/../tools/x is "
       "missing, not executable or not an absolute path without ..)"},
      {"playonlinux before heroic before steam",
       {"+hp/b", R"(h/GamesConfig/g.json={"g": {"winePrefix": "~/hp/b"}})", "+cd/3391826345/pfx"},
       "prefix ~/hp/b (heroic: g), wine ~/bin/wine (PATH; heroic names no runner for the game)"},
      {"steam: only games added by hand, in numeric order, each with a pfx; the tool named by "
       "config_info",
       {"+cd/228980/pfx", "+cd/2147483647/pfx", "+cd/4294967296/pfx", "+cd/03391826345/pfx",
        "cd/3000000000/drive_c/Gunship!/", "+cd/3391826346/pfx", "+cd/3391826345/pfx",
        "cd/3391826345/config_info=9.0-203\n@/.local/share/Steam/steamapps/common/Proton "
        "9.0/files/share/fonts/\n"
        "@/x/files/lib/\n",
        "*st/steamapps/common/Proton 9.0/proton"},
       "prefix ~/.local/share/Steam/steamapps/compatdata/3391826345/pfx (steam: 3391826345), "
       "proton ~/.local/share/Steam/steamapps/common/Proton 9.0/proton (the tool the prefix last "
       "ran with)"},
      {"steam: ~/.steam/root once; its libraries after it, a missing one passed over; the tool "
       "config.vdf maps to; the runtime it requires",
       {".steam/root->.local/share/Steam", "+Lib/steamapps/compatdata/3391826345/pfx",
        "st/steamapps/libraryfolders.vdf=\"libraryfolders\"\n{\n\t\"0\" { \"path\" "
        "\"@/.local/share/Steam\" }\n\t\"1\" { \"path\" \"@/nowhere\" }\n\t\"2\"\n\t{\n\t\t"
        "\"path\"\t\t\"@/Lib\"\n\t\t\"apps\" { \"1\" \"2\" }\n\t}\n}\n",
        "st/config/config.vdf=InstallConfigStore { Software { Valve { Steam { "
        "CompatToolMapping { 0 { name proton_9 } 3391826345 { name GE-Proton9-20 } } } } } }",
        "st/compatibilitytools.d/GE/compatibilitytool.vdf=\"compatibilitytools\" { "
        "\"compat_tools\" { \"GE-Proton9-20\" { \"install_path\" \".\" } } }",
        "*st/compatibilitytools.d/GE/proton",
        "st/compatibilitytools.d/GE/toolmanifest.vdf=manifest { require_tool_appid 1628350 }",
        "Lib/steamapps/appmanifest_1628350.acf=AppState { installdir SteamLinuxRuntime_sniper }",
        "*Lib/steamapps/common/SteamLinuxRuntime_sniper/_v2-entry-point"},
       "prefix ~/Lib/steamapps/compatdata/3391826345/pfx (steam: 3391826345), proton "
       "~/.steam/root/compatibilitytools.d/GE/proton (steam's tool for the game), runtime "
       "~/Lib/steamapps/common/SteamLinuxRuntime_sniper/_v2-entry-point"},
      {"steam: libraryfolders' old format; a mapped name with a slash is no tool; Soldier",
       {"+Lib/steamapps/compatdata/3391826345/pfx",
        "st/steamapps/libraryfolders.vdf=libraryfolders { TimeNextStatsReport 1 1 @/Lib }",
        "st/config/config.vdf=InstallConfigStore{Software{Valve{Steam{CompatToolMapping{"
        "3391826345{name ../GE}}}}}}",
        "st/compatibilitytools.d/GE/compatibilitytool.vdf=compatibilitytools{compat_tools{"
        "../GE{install_path .}}}",
        "*st/compatibilitytools.d/GE/proton",
        "Lib/steamapps/compatdata/3391826345/config_info=x\r\n@/P/dist/share/fonts/\r\n",
        "*P/proton", "P/toolmanifest.vdf=manifest{require_tool_appid 1391110}",
        "st/steamapps/appmanifest_1391110.acf=AppState{installdir SteamLinuxRuntime_soldier}",
        "*st/steamapps/common/SteamLinuxRuntime_soldier/_v2-entry-point"},
       "prefix ~/Lib/steamapps/compatdata/3391826345/pfx (steam: 3391826345), proton ~/P/proton "
       "(the tool the prefix last ran with), runtime "
       "~/.local/share/Steam/steamapps/common/SteamLinuxRuntime_soldier/_v2-entry-point"},
      {"steam: Flatpak's; a pipe, a damaged config.vdf, a config_info naming no proton",
       {"+fst/steamapps/compatdata/3391826345/pfx", "|fst/steamapps/libraryfolders.vdf",
        "fst/config/config.vdf=InstallConfigStore {",
        "fst/steamapps/compatdata/3391826345/config_info=x\n@/P/files/share/fonts/\n", "P/proton="},
       "prefix ~/.var/app/com.valvesoftware.Steam/data/Steam/steamapps/compatdata/3391826345/pfx "
       "(steam: 3391826345), wine ~/bin/wine (PATH; steam names no Proton for the game)"},
      {"heroic: a Wine game's prefix is winePrefix, a pfx there is passed over; quotes around "
       "bin removed",
       {"+hp/w", "+hp/w/pfx", "*tools/wine-ge/bin/wine",
        R"(h/GamesConfig/g.json={"g": {"winePrefix": "~/hp/w",
             "wineVersion": {"bin": "'@/tools/wine-ge/bin/wine'", "type": "wine"}}})"},
       "prefix ~/hp/w (heroic: g), wine ~/tools/wine-ge/bin/wine (heroic's runner)"},
      {"heroic: a Proton game runs with UMU, umu-run in PATH before Heroic's umu_run.py",
       {"+hp/a/pfx", "*tools/GE/proton", "*bin/umu-run", "*h/tools/runtimes/umu/umu_run.py",
        R"(h/GamesConfig/g.json={"g": {"winePrefix": "~/hp/a",
             "wineVersion": {"bin": "@/tools/GE/proton", "type": "proton"}}})"},
       "prefix ~/hp/a/pfx (heroic: g), umu ~/bin/umu-run (heroic's runner)"},
      {"steam: the runtime found by its app id in another library; tools later in the search "
       "win: the Steam folder's *.vdf over STEAM_EXTRA_COMPAT_TOOLS_PATHS",
       {"+cd/3391826345/pfx", "st/steamapps/libraryfolders.vdf=libraryfolders { 1 { path @/Lib } }",
        "st/config/config.vdf=InstallConfigStore{Software{Valve{Steam{CompatToolMapping{"
        "3391826345{name GE-Proton11}}}}}}",
        "extra/GE/compatibilitytool.vdf=compatibilitytools{compat_tools{GE-Proton11{"
        "install_path .}}}",
        "*extra/GE/proton",
        "st/compatibilitytools.d/ge.vdf=compatibilitytools{compat_tools{GE-Proton11{"
        "install_path GE-dist}}}",
        "*st/compatibilitytools.d/GE-dist/proton",
        "st/compatibilitytools.d/GE-dist/toolmanifest.vdf=manifest{require_tool_appid 4183110}",
        "Lib/steamapps/appmanifest_4183110.acf=AppState{appid 4183110 installdir SLR4}",
        "*Lib/steamapps/common/SLR4/_v2-entry-point"},
       "prefix ~/.local/share/Steam/steamapps/compatdata/3391826345/pfx (steam: 3391826345), "
       "proton ~/.local/share/Steam/compatibilitytools.d/GE-dist/proton (steam's tool for the "
       "game), runtime ~/Lib/steamapps/common/SLR4/_v2-entry-point",
       {.extraTools = "relative:@/extra"}},
      {"steam: STEAM_EXTRA_COMPAT_TOOLS_PATHS; a runtime asked for but missing is named",
       {"+cd/3391826345/pfx",
        "st/config/config.vdf=InstallConfigStore{Software{Valve{Steam{CompatToolMapping{"
        "3391826345{name GE-Proton11}}}}}}",
        "extra/GE/compatibilitytool.vdf=compatibilitytools{compat_tools{GE-Proton11{"
        "install_path .}}}",
        "*extra/GE/proton", "extra/GE/toolmanifest.vdf=manifest{require_tool_appid 4183110}",
        "*st/steamapps/common/SteamLinuxRuntime_4/_v2-entry-point"},
       "prefix ~/.local/share/Steam/steamapps/compatdata/3391826345/pfx (steam: 3391826345), "
       "proton ~/extra/GE/proton (steam's tool for the game), runtime 4183110 missing",
       {.extraTools = "@/nowhere:@/extra"}},
      {"steam: Snap's",
       {"+sst/steamapps/compatdata/3391826345/pfx"},
       "prefix ~/snap/steam/common/.local/share/Steam/steamapps/compatdata/3391826345/pfx "
       "(steam: 3391826345), wine ~/bin/wine (PATH; steam names no Proton for the game)"},
      {"steam: Flatpak's sandbox paths in libraryfolders.vdf and config_info are its own, not "
       "the native Steam's",
       {"+fsl/Library/steamapps/compatdata/3391826345/pfx", "st/steamapps/",
        "*st/steamapps/common/Proton 9.0/proton", "*fsl/steamapps/common/Proton 9.0/proton",
        "fsl/steamapps/libraryfolders.vdf=libraryfolders { 1 { path @/.local/share/Steam/Library "
        "} }",
        "fsl/Library/steamapps/compatdata/3391826345/config_info=9.0-203\n@/.local/share/Steam/"
        "steamapps/common/Proton 9.0/files/share/fonts/\n"},
       "prefix ~/.var/app/com.valvesoftware.Steam/.local/share/Steam/Library/steamapps/compatdata/"
       "3391826345/pfx (steam: 3391826345), proton ~/.var/app/com.valvesoftware.Steam/.local/"
       "share/Steam/steamapps/common/Proton 9.0/proton (the tool the prefix last ran with)"},
      {"WINEPREFIX: a steam compatdata names it; its Proton starts the game",
       {"cd/3391826345/pfx/", "cd/3391826345/config_info=x\n@/P/files/share/fonts/\n", "*P/proton"},
       "prefix ~/.local/share/Steam/steamapps/compatdata/3391826345/pfx (WINEPREFIX; steam: "
       "3391826345), proton ~/P/proton (the tool the prefix last ran with)",
       {.winePrefix = "@/.local/share/Steam/steamapps/compatdata/3391826345/pfx"}},
      {"WINEPREFIX: a lutris game file names it through a link; its runner",
       {"real/gs/", "link->real", "*ld/runners/wine/lutris-8/bin/wine",
        "lc/a.yml=game: {prefix: ~/real/gs}\nwine: {version: lutris-8}"},
       "prefix ~/link/gs (WINEPREFIX; lutris: ~/.config/lutris/games/a.yml), "
       "wine ~/.local/share/lutris/runners/wine/lutris-8/bin/wine (the prefix's runner)",
       {.winePrefix = "@/link/gs"}},
      {"WINEPREFIX: WINE wins over the runner of the heroic game that names it",
       {"hp/b/", "*tools/x",
        R"(h/GamesConfig/g.json={"g": {"winePrefix": "~/hp/b",
             "wineVersion": {"bin": "@/tools/x", "type": "wine"}}})"},
       "prefix ~/hp/b (WINEPREFIX; heroic: g), wine ~/bin/wine (WINE)",
       {.winePrefix = "@/hp/b", .wine = "wine"}},
      {"WINE: a path, over the runner; relative from the start folder",
       {"+b/bottles/a", "b/bottles/a/bottle.yml=Runner: soda", "*b/runners/soda/bin/wine",
        "*start/tools/wine"},
       "prefix ~/.local/share/bottles/bottles/a (bottles: a), wine ~/start/tools/wine (WINE)",
       {.wine = "tools/wine"}},
      {"WINE: a name, in the absolute entries of PATH",
       {"*start/wine-stable", "*opt/wine-stable"},
       "prefix ~/.wine (~/.wine, no prefix found holds the game), wine ~/opt/wine-stable (WINE)",
       {.wine = "wine-stable", .path = ":.:/nowhere:@/opt"}},
      {"WINE: naming nothing leaves no Wine",
       {},
       "prefix ~/.wine (~/.wine, no prefix found holds the game), no Wine found "
       "(WINE=wine-staging names no executable file)",
       {.wine = "wine-staging"}},
      {"PATH: empty and relative entries, a non-executable wine, are passed over",
       {"*start/wine", "opt/wine=#!/bin/sh\n"},
       "prefix ~/.wine (~/.wine, no prefix found holds the game), no Wine found (no wine in "
       "the absolute folders of PATH)",
       {.path = ":.:start:@/opt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir home;
    buildHome(home.path(), c.home);
    const auto variable = [&](const char* value) {
      return value ? std::optional(withHome(value, "@", home.path().string())) : std::nullopt;
    };
    const Environment env{variable(c.vars.winePrefix), variable(c.vars.wine),
                          home.path().string(),        variable(c.vars.configHome),
                          variable(c.vars.dataHome),   variable(c.vars.path),
                          variable(c.vars.extraTools), home.path() / "start"};
    const auto choice = choose(env);
    const std::string line = withHome(describe(choice), home.path().string(), "~");
    EXPECT_EQ(line.substr(line.find("prefix ")), c.line);
    // The prefix named is the one the search tested.
    if (choice.holdsGame) {
      EXPECT_TRUE(holdsGame(choice.prefix));
    }
  }
}

TEST(Prefix, TheGameIsHandedToItsManagerWhenItsRecordNamesTheExe) {
  const std::string id = "3391826345", compat = "cd/3391826345/pfx",
                    pfx = ".local/share/Steam/steamapps/compatdata/3391826345/pfx",
                    exe = pfx + "/drive_c/Gunship!/gunship.exe",
                    url = " steam://rungameid/14567783225519767552";
  // A user's shortcuts.vdf in the Steam folder steam ("st/", "fsl/", "sst/").
  const auto shortcuts = [](const std::string& steam, const std::vector<SteamShortcut>& list) {
    return steam + "userdata/1/config/shortcuts.vdf=" + shortcutsVdf(list);
  };
  const std::string heroicGame =
      R"(h/GamesConfig/g.json={"g": {"winePrefix": "~/hp/w", "targetExe": "@/hp/w/drive_c/)"
      R"(Gunship!/gunship.exe", "wineVersion": {"bin": "@/bin/wine", "type": "wine"}}})";
  const struct {
    const char* name;
    std::vector<std::string> home;
    std::string exe;   // the exe started, below the home
    std::string line;  // the game's start line, "~" for the home, "<exe>" for the exe
    const char* wine = nullptr;
  } cases[] = {
      {"steam: the shortcut names the exe through the prefix's drive link; steam in PATH",
       {"+" + compat, "*bin/steam", "*bin/flatpak", pfx + "/dosdevices/c:->" + pfx + "/drive_c",
        shortcuts("st/", {{"1", "Other", "/x"}, {id, "Gunship!", "@/" + exe}})},
       pfx + "/dosdevices/c:/Gunship!/gunship.exe",
       "start ~/bin/steam" + url + " (steam's shortcut \"Gunship!\")"},
      {"steam: an older shortcut without appid, found by crc32(Exe + AppName); another exe",
       {"+cd/2395915561/pfx", "*bin/steam",
        shortcuts("st/", {{"", "Gunship!", "/opt/gunship/gunship.exe"}})},
       ".local/share/Steam/steamapps/compatdata/2395915561/pfx/drive_c/Gunship!/gunship.exe",
       "start ~/bin/wine <exe> (steam's shortcut \"Gunship!\" starts /opt/gunship/gunship.exe)"},
      {"steam: Flatpak's, its sandbox path of the exe; flatpak in PATH",
       {"+fsl/steamapps/compatdata/3391826345/pfx", "*bin/steam", "*bin/flatpak",
        shortcuts("fsl/", {{id, "Gunship!", "@/" + exe}})},
       ".var/app/com.valvesoftware.Steam/" + exe,
       "start ~/bin/flatpak run com.valvesoftware.Steam" + url +
           " (steam's shortcut \"Gunship!\")"},
      {"steam: Snap's, snap in PATH",
       {"+sst/steamapps/compatdata/3391826345/pfx", "*bin/snap",
        shortcuts("sst/", {{id, "Gunship!", "@/snap/steam/common/" + exe}})},
       "snap/steam/common/" + exe,
       "start ~/bin/snap run steam" + url + " (steam's shortcut \"Gunship!\")"},
      {"steam: no shortcut for the id",
       {"+" + compat, "*bin/steam", shortcuts("st/", {{"3391826346", "Gunship!", "@/" + exe}})},
       exe,
       "start ~/bin/wine <exe> (steam has no shortcut 3391826345)"},
      {"steam: no steam in PATH",
       {"+" + compat, shortcuts("st/", {{id, "G", "@/" + exe}})},
       exe,
       "start ~/bin/wine <exe> (steam's shortcut \"G\", but no steam in the absolute folders of "
       "PATH)"},
      {"steam: WINE wins over the hand-off",
       {"+" + compat, "*bin/steam", shortcuts("st/", {{id, "Gunship!", "@/" + exe}})},
       exe,
       "start ~/bin/wine <exe> (WINE is set)",
       "wine"},
      {"heroic: a game added by hand, its settings' targetExe over its entry's executable",
       {"+hp/w", "*bin/xdg-open", heroicGame,
        R"(h/sideload_apps/library.json={"games": [{"app_name": "other"}, {"app_name": "g",)"
        R"( "title": "Gunship!", "install": {"executable": "/x/gunship.exe"}}]})"},
       "hp/w/drive_c/Gunship!/gunship.exe",
       "start ~/bin/xdg-open heroic://launch?appName=g&runner=sideload (heroic's game "
       "\"Gunship!\")"},
      {"heroic: not added by hand",
       {"+hp/w", "*bin/xdg-open", heroicGame},
       "hp/w/drive_c/Gunship!/gunship.exe",
       "start ~/bin/wine <exe> (heroic has no game g added by hand)"},
      {"lutris hands nothing off",
       {"+Games/a", "lc/a.yml=game: {prefix: ~/Games/a}"},
       "Games/a/drive_c/Gunship!/gunship.exe",
       "start ~/bin/wine <exe>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir home;
    const std::string at = home.path().string();
    buildHome(home.path(), c.home);
    writeFile(home.path() / c.exe, "MZ");
    const Environment env{std::nullopt, c.wine ? std::optional<std::string>(c.wine) : std::nullopt,
                          at,           std::nullopt,
                          std::nullopt, at + "/bin",
                          std::nullopt, home.path() / "start"};
    const std::string line = withHome(describe(startOf(choose(env), home.path() / c.exe)), at, "~");
    EXPECT_EQ(line.substr(line.find("start ")), withHome(c.line, "<exe>", "~/" + c.exe));
  }
}

TEST(Prefix, HoldsTheGameByItsRegistryKeyOrItsFolderInDriveC) {
  const auto hive = [](const std::string& head, const std::string& body) {
    return "system.reg=" + head +
           "\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n" + body;
  };
  const std::string v2 = "WINE REGISTRY Version 2";
  const struct {
    const char* name;
    std::vector<std::string> prefix;  // as buildHome() takes a home
    bool holds;
  } cases[] = {
      {"key", {hive(v2, "[Software\\\\Hasbro Interactive\\\\Gunship!] 17\n")}, true},
      {"32-bit view",
       {hive(v2, "[Software\\\\Wow6432Node\\\\Hasbro Interactive\\\\Gunship!] 1\n")},
       true},
      {"a key below, other case",
       {hive(v2 + "\r", "[SOFTWARE\\\\hasbro interactive\\\\GUNSHIP!\\\\Settings] 1\r\n")},
       true},
      {"escaped letter whose upper case is S",
       {hive(v2, "[Software\\\\Hasbro Interactive\\\\Gun\\x17fhip!] 1\n")},
       true},
      {"longer name", {hive(v2, "[Software\\\\Hasbro Interactive\\\\Gunship!2] 1\n")}, false},
      {"a value, not a key",
       {hive(v2, "[Software\\\\Hasbro Interactive] 1\n\"Gunship!\"=\"c:\\\\Gunship!\"\n")},
       false},
      {"elsewhere",
       {hive(v2, "[Software\\\\Classes\\\\Hasbro Interactive\\\\Gunship!] 1\n")},
       false},
      {"not a hive", {hive("REGEDIT4", "[Software\\\\Hasbro Interactive\\\\Gunship!] 1\n")}, false},
      {"folder in drive_c", {"drive_c/gunship!/"}, true},
      {"file in drive_c, Unicode case", {"drive_c/GUNſHIP!="}, true},
      {"another name in drive_c", {"drive_c/Gunship!.lnk="}, false},
      {"a pipe named system.reg is not read", {"|system.reg"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir prefix;
    fs::create_directory(prefix.path() / "drive_c");
    buildHome(prefix.path(), c.prefix);
    EXPECT_EQ(holdsGame(prefix.path()), c.holds);
  }
}

}  // namespace
