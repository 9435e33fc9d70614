// Starting the game through wine, and the current folder and drive it starts in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include "platform/Error.h"
#include "platform/Platform.h"
#include "platform/posix/HostPath.h"
#include "posix/WinePrefix.h"

namespace {

using namespace testing_support;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
namespace posix = platform::posix;
using Start = StandInWine::Start;

std::string quoted(const std::string& text) {
  return '"' + text + '"';
}

// The text of the error that action raises; empty when it raises none.
std::string errorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const platform::Error& e) {
    return e.what();
  }
  return {};
}

// Whether the child is gone within ten seconds, reaped rather than left a zombie.
bool reaped(int pid) {
  const fs::path proc = "/proc/" + std::to_string(pid);
  for (int i = 0; i < 1000 && fs::exists(proc); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return !fs::exists(proc);
}

class Process : public ::testing::Test {
 protected:
  CurrentFolderGuard guard;
  WinePrefix prefix;
  StandInWine wine;
};

TEST_F(Process, StartRunsWineWithTheHostPathAsItsOneArgumentInTheCurrentFolder) {
  const fs::path exe = prefix.file("Gunship Game!/GUNSHIP.EXE", "MZ");
  platform::changeDrive("c:\\Gunship Game!");
  platform::changeDirectory("c:\\Gunship Game!");
  // A profile write ignores SIGXFSZ in this process; the game must not inherit that.
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  int pid = platform::startProgram("c:\\Gunship Game!\\gunship.exe", platform::kNormalFocus);
  ::signal(SIGXFSZ, previous);
  ASSERT_GT(pid, 0);
  const fs::path started = prefix.root() / "dosdevices/c:/Gunship Game!/GUNSHIP.EXE";
  auto starts = wine.starts(1);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].cwd, exe.parent_path().string());
  EXPECT_EQ(starts[0].prefix, prefix.root().string());
  EXPECT_EQ(starts[0].args, std::vector<std::string>{started.string()});
  ASSERT_THAT(starts[0].environment.back(), StartsWith("SigIgn:"));
  const auto ignored = std::stoull(starts[0].environment.back().substr(7), nullptr, 16);
  EXPECT_EQ(ignored >> (SIGXFSZ - 1) & 1, 0u);
  EXPECT_TRUE(reaped(pid));

  // A relative name is made absolute, so wine cannot take it for an option; the prefix is
  // named to wine even when WINEPREFIX is unset.
  const fs::path dashed = prefix.file("Gunship!/-gunship.exe", "MZ");
  platform::changeDirectory("c:\\Gunship!");
  TempDir home;
  ScopedEnv noPrefix("WINEPREFIX", std::nullopt);
  ScopedEnv homeEnv("HOME", home.path().string());
  pid = platform::startProgram("-gunship.exe", platform::kNormalFocus);
  ASSERT_GT(pid, 0);
  starts = wine.starts(2);
  ASSERT_EQ(starts.size(), 2u);
  const Start& second = starts[0].args[0] == started.string() ? starts[1] : starts[0];
  EXPECT_EQ(second.prefix, (home.path() / ".wine").string());
  EXPECT_EQ(second.args, std::vector<std::string>{dashed.string()});
  EXPECT_TRUE(reaped(pid));
}

TEST_F(Process, StartYieldsZeroWhenWineCannotBeRunAndRaisesForAMissingProgram) {
  prefix.file("Gunship!/gunship.exe", "MZ");
  prefix.folder("Gunship!/folder.exe");
  for (const char* path : {"c:\\Gunship!\\gunship2.exe", "c:\\Nowhere\\gunship.exe", ""})
    EXPECT_THAT(errorOf([&] { platform::startProgram(path, 1); }), HasSubstr(quoted(path)));
  EXPECT_EQ(platform::startProgram("c:\\Gunship!\\folder.exe", 1), 0);
  fs::permissions(wine.program(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(platform::startProgram("c:\\Gunship!\\gunship.exe", 1), 0);  // exec refused
  ScopedEnv noWine("PATH", prefix.root().string());
  EXPECT_EQ(platform::startProgram("c:\\Gunship!\\gunship.exe", 1), 0);
  EXPECT_TRUE(wine.starts(0).empty());
}

TEST_F(Process, WineAndPrefixAreTakenAsTheyWereWhereTheProgramStarted) {
  prefix.file("Gunship!/gunship.exe", "MZ");
  const fs::path game = prefix.driveC() / "Gunship!";
  // A wine of the game's own, where empty and relative PATH entries would find it.
  const fs::path ran = prefix.root() / "game's wine ran";
  for (const char* name : {"wine", "bin/wine"}) {
    fs::create_directories((game / name).parent_path());
    writeFile(game / name, "#!/bin/sh\ntouch '" + ran.string() + "'\n");
    fs::permissions(game / name, fs::perms::owner_all);
  }
  const auto start = [] {
    platform::changeDrive("c:\\Gunship!");
    platform::changeDirectory("c:\\Gunship!");
    return platform::startProgram("c:\\Gunship!\\gunship.exe", 1);
  };
  {
    fs::current_path(prefix.root().parent_path());
    ScopedEnv relative("WINEPREFIX", prefix.root().filename().string());
    ScopedEnv path("PATH", ":.:bin:" + wine.program().parent_path().string());
    EXPECT_GT(start(), 0);
    const auto starts = wine.starts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].prefix, prefix.root().string());
    EXPECT_EQ(starts[0].program, wine.program().string());
    EXPECT_EQ(starts[0].cwd, game.string());
  }
  fs::current_path("/");
  ScopedEnv path("PATH", ":.:bin");
  EXPECT_EQ(start(), 0);
  EXPECT_EQ(wine.starts(1).size(), 1u);
  EXPECT_FALSE(fs::exists(ran));
}

TEST(ProcessManagers, EachManagerStartsTheGameAsItWouldWithTheGamesEnvironment) {
  const struct {
    const char* name;
    std::vector<std::string> home;  // as buildHome takes it; the game is in prefix
    std::string prefix, runner;     // below the home; runner: where the stand-in sits
    std::vector<std::string> args;  // "~": the home, "<exe>": the game
    std::vector<std::string> env;   // "NAME=value" set; "!TEXT": no variable begins so
    std::optional<std::string> winePrefix = std::nullopt;
  } cases[] = {
      {"steam: the mapped tool in the runtime it requires, with Steam's variables",
       {"+cd/3391826345/pfx",
        "st/config/config.vdf=InstallConfigStore{Software{Valve{Steam{CompatToolMapping{"
        "3391826345{name GE}}}}}}",
        "st/compatibilitytools.d/GE/compatibilitytool.vdf=compatibilitytools{compat_tools{GE{"
        "install_path .}}}",
        "*st/compatibilitytools.d/GE/proton",
        "st/compatibilitytools.d/GE/toolmanifest.vdf=manifest{require_tool_appid 1628350}",
        "st/steamapps/appmanifest_1628350.acf=AppState{installdir SteamLinuxRuntime_sniper}",
        "*st/steamapps/common/SteamLinuxRuntime_sniper/_v2-entry-point"},
       ".local/share/Steam/steamapps/compatdata/3391826345/pfx",
       ".local/share/Steam/steamapps/common/SteamLinuxRuntime_sniper/_v2-entry-point",
       {"--verb=waitforexitandrun", "--", "~/.local/share/Steam/compatibilitytools.d/GE/proton",
        "waitforexitandrun", "<exe>"},
       {"STEAM_COMPAT_DATA_PATH=~/.local/share/Steam/steamapps/compatdata/3391826345",
        "STEAM_COMPAT_CLIENT_INSTALL_PATH=~/.local/share/Steam", "STEAM_COMPAT_APP_ID=0",
        "SteamAppId=0", "SteamGameId=14567783225519767552",
        "STEAM_COMPAT_TOOL_PATHS=~/.local/share/Steam/compatibilitytools.d/GE:"
        "~/.local/share/Steam/steamapps/common/SteamLinuxRuntime_sniper",
        "WINEPREFIX=~/.local/share/Steam/steamapps/compatdata/3391826345/pfx", "DXVK_HUD=off"}},
      {"steam: handed to Steam when the shortcut names the exe, with our own environment",
       {"+cd/3391826345/pfx", "cd/3391826345/config_info=x\n@/P/files/share/fonts/\n", "*P/proton",
        "st/userdata/7/config/shortcuts.vdf=" +
            shortcutsVdf({{"3391826345", "Gunship!",
                           "@/.local/share/Steam/steamapps/compatdata/3391826345/pfx/drive_c/"
                           "Gunship!/gunship.exe"}})},
       ".local/share/Steam/steamapps/compatdata/3391826345/pfx",
       "bin/steam",
       {"steam://rungameid/14567783225519767552"},
       {"DXVK_HUD=off", "!WINEPREFIX", "!STEAM_COMPAT"}},
      {"steam: no tool, wine from PATH without Steam's variables",
       {"+cd/3391826345/pfx"},
       ".local/share/Steam/steamapps/compatdata/3391826345/pfx",
       "bin/wine",
       {"<exe>"},
       {"WINEPREFIX=~/.local/share/Steam/steamapps/compatdata/3391826345/pfx", "!STEAM_COMPAT"}},
      {"heroic: Proton with the game's options and Heroic's variables, which win",
       {"+hp/a/pfx", "*tools/GE/proton",
        R"(h/GamesConfig/g.json={"g": {"winePrefix": "~/hp/a", "disableUMU": true,
             "enableFsync": false,
             "wineVersion": {"bin": "@/tools/GE/proton", "type": "proton"},
             "enviromentOptions": [{"key": "DXVK_HUD", "value": "fps"},
               {"key": "WINEPREFIX", "value": "/x"}, {"key": "STEAM_COMPAT_DATA_PATH", "value": "/x"},
               {"key": "A=B", "value": "c"}, {"key": "", "value": "d"}]}})"},
       "hp/a/pfx",
       "tools/GE/proton",
       {"waitforexitandrun", "<exe>"},
       {"DXVK_HUD=fps", "WINEPREFIX=~/hp/a", "STEAM_COMPAT_DATA_PATH=~/hp/a",
        "STEAM_COMPAT_CLIENT_INSTALL_PATH=~/.steam/steam", "PROTONPATH=~/tools/GE",
        "STEAM_COMPAT_APP_ID=0", "SteamAppId=0", "SteamGameId=heroic-g", "PROTON_LOG_DIR=~",
        "PROTON_VERB=waitforexitandrun", "GAMEID=umu-0", "PROTON_NO_FSYNC=1", "!PROTON_NO_ESYNC",
        "!A=B", "!="}},
      {"heroic: Proton through Heroic's umu_run.py (a Flatpak Heroic does not see our PATH's "
       "umu-run); Flatpak Heroic's home",
       {"+hp/a/pfx", "*tools/GE/proton", "*bin/umu-run",
        R"(fh/GamesConfig/g.json={"g": {"winePrefix": "~/hp/a",
             "wineVersion": {"bin": "@/tools/GE/proton", "type": "proton"}}})"},
       "hp/a/pfx",
       ".var/app/com.heroicgameslauncher.hgl/config/heroic/tools/runtimes/umu/umu_run.py",
       {"<exe>"},
       {"WINEPREFIX=~/hp/a", "PROTONPATH=~/tools/GE", "PROTON_VERB=waitforexitandrun",
        "GAMEID=umu-0",
        "STEAM_COMPAT_CLIENT_INSTALL_PATH=~/.var/app/com.heroicgameslauncher.hgl/"
        ".steam/steam"}},
      {"heroic: Wine with no menu entries added to the game's overrides, esync, not fsync",
       {"+hp/w", "*tools/wine/bin/wine",
        R"(h/GamesConfig/g.json={"g": {"winePrefix": "~/hp/w", "enableFsync": false,
             "wineVersion": {"bin": "@/tools/wine/bin/wine", "type": "wine"},
             "enviromentOptions": [{"key": "WineDllOverrides", "value": "ddraw=n"}]}})"},
       "hp/w",
       "tools/wine/bin/wine",
       {"<exe>"},
       {"WineDllOverrides=ddraw=n;winemenubuilder.exe=d", "WINEESYNC=1", "!WINEFSYNC",
        "WINEPREFIX=~/hp/w"}},
      {"lutris: its runner with system: env:",
       {"+Games/a", "*ld/runners/wine/lutris-8/bin/wine",
        "lc/a.yml=game: {prefix: ~/Games/a}\nwine: {version: lutris-8}\nsystem:\n  env:\n"
        "    WINEDLLOVERRIDES: ddraw=n,b\n    DXVK_HUD: fps\n"},
       "Games/a",
       ".local/share/lutris/runners/wine/lutris-8/bin/wine",
       {"<exe>"},
       {"WINEDLLOVERRIDES=ddraw=n,b", "DXVK_HUD=fps", "WINEPREFIX=~/Games/a"}},
      {"lutris: a variable whose name holds a NUL is left out, as one with '=' is",
       {"+Games/a", "*ld/runners/wine/lutris-8/bin/wine",
        "lc/a.yml=game: {prefix: ~/Games/a}\nwine: {version: lutris-8}\nsystem:\n  env:\n"
        "    \"KESTRUN_NUL\\0X\": y\n    DXVK_HUD: fps\n"},
       "Games/a",
       ".local/share/lutris/runners/wine/lutris-8/bin/wine",
       {"<exe>"},
       {"DXVK_HUD=fps", "!KESTRUN_NUL"}},
      {"bottles: its runner with Environment_Variables:",
       {"+b/bottles/G", "*b/runners/soda/bin/wine",
        "b/bottles/G/bottle.yml=Runner: soda\nEnvironment_Variables:\n  DXVK_HUD: fps\n"},
       ".local/share/bottles/bottles/G",
       ".local/share/bottles/runners/soda/bin/wine",
       {"<exe>"},
       {"DXVK_HUD=fps", "WINEPREFIX=~/.local/share/bottles/bottles/G"}},
      {"WINEPREFIX naming a steam compatdata: its Proton with Steam's variables",
       {"+cd/3391826345/pfx", "cd/3391826345/config_info=x\n@/P/files/share/fonts/\n", "*P/proton"},
       ".local/share/Steam/steamapps/compatdata/3391826345/pfx",
       "P/proton",
       {"waitforexitandrun", "<exe>"},
       {"STEAM_COMPAT_DATA_PATH=~/.local/share/Steam/steamapps/compatdata/3391826345",
        "WINEPREFIX=~/.local/share/Steam/steamapps/compatdata/3391826345/pfx"},
       "~/.local/share/Steam/steamapps/compatdata/3391826345/pfx"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CurrentFolderGuard guard;
    TempDir home;
    const std::string at = home.path().string();
    buildHome(home.path(), c.home);
    const fs::path game = home.path() / c.prefix / "drive_c/Gunship!";
    writeFile(game / "gunship.exe", "MZ");
    StandInWine runner(home.path() / c.runner);
    ScopedEnv homeVariable("HOME", at), config("XDG_CONFIG_HOME", std::nullopt),
        data("XDG_DATA_HOME", std::nullopt), wine("WINE", std::nullopt), path("PATH", at + "/bin"),
        hud("DXVK_HUD", "off"),
        winePrefix("WINEPREFIX",
                   c.winePrefix ? std::optional(withHome(*c.winePrefix, "~", at)) : std::nullopt);
    platform::changeDrive("c:\\Gunship!");
    platform::changeDirectory("c:\\Gunship!");
    const int pid = platform::startProgram("c:\\Gunship!\\gunship.exe", platform::kNormalFocus);
    ASSERT_GT(pid, 0);
    const auto starts = runner.starts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].cwd, game.string());
    std::vector<std::string> args;
    for (const std::string& arg : starts[0].args)
      args.push_back(withHome(withHome(arg, (game / "gunship.exe").string(), "<exe>"), at, "~"));
    EXPECT_EQ(args, c.args);
    for (const std::string& variable : c.env) {
      if (variable[0] == '!')
        EXPECT_THAT(starts[0].environment, Not(Contains(StartsWith(variable.substr(1)))));
      else
        EXPECT_THAT(starts[0].environment, Contains(withHome(variable, "~", at)));
    }
    EXPECT_TRUE(reaped(pid));
  }
}

TEST_F(Process, ChangeDirectoryAndDriveEnterWhatExistsOrRaiseNamingIt) {
  const fs::path game = prefix.folder("GUNSHIP!");
  prefix.file("Gunship!.txt", "");
  fs::current_path(prefix.driveC());
  platform::changeDirectory("gunship!");
  EXPECT_EQ(fs::current_path(), game);
  platform::changeDirectory("\\");
  EXPECT_EQ(fs::current_path(), prefix.driveC());
  for (const auto& [path, reason] : {std::pair{"c:\\Nowhere", "No such file or directory"},
                                     {"c:\\Gunship!.txt", "Not a directory"},
                                     {"", "no folder"}}) {
    EXPECT_THAT(errorOf([p = path] { platform::changeDirectory(p); }),
                AllOf(HasSubstr(quoted(path)), HasSubstr(reason)));
    EXPECT_EQ(fs::current_path(), prefix.driveC());
  }
  // The drive is the path's first letter, when that drive exists.
  TempDir d;
  fs::create_directory_symlink(d.path(), prefix.root() / "dosdevices" / "d:");
  platform::changeDrive("D:\\Games");
  EXPECT_EQ(posix::currentDrive(), 'd');
  platform::changeDrive("");
  platform::changeDrive("/home/player/Gunship!");
  EXPECT_EQ(posix::currentDrive(), 'd');
  platform::changeDrive("c");
  EXPECT_EQ(posix::currentDrive(), 'c');
  platform::changeDirectory("d:\\");
  EXPECT_EQ(posix::currentDrive(), 'd');
  EXPECT_THAT(errorOf([] { platform::changeDrive("e:\\Games"); }),
              AllOf(HasSubstr("E:"), HasSubstr(quoted("e:\\Games"))));
  for (const char* path : {"Error", "\\Gunship!", "1:\\"})
    EXPECT_THAT(errorOf([&] { platform::changeDrive(path); }), HasSubstr(quoted(path)));
  EXPECT_EQ(posix::currentDrive(), 'd');
}

}  // namespace
