// "Launch" and "Copy && Launch" start the game through a stand-in wine that records its start.
#include <gtest/gtest.h>

#include "FormFixture.h"
#include "WinePrefix.h"

namespace {

using namespace testing_support;

class LaunchTest : public FormTest {
 protected:
  // The game installed at c:\<folder> of the prefix, with its profile and executable.
  fs::path install(const std::string& folder = "Gunship!", const std::string& exe = "gunship.exe") {
    prefix.file(folder + "/data/custom.ini", threeModelProfile("AH-64 Apache"));
    return prefix.file(folder + "/" + exe, "MZ");
  }
  std::string profile() { return readFile(prefix.driveC() / "Gunship!/data/custom.ini"); }

  CurrentFolderGuard guard;
  WinePrefix prefix;
  StandInWine wine;
};

TEST_F(LaunchTest, LaunchStartsTheGameAsStoredFromItsFolderAndEndsKestrun) {
  const fs::path exe = install("Program Files/Gunship!", "GUNSHIP.EXE");
  chooseFolder("c:\\program files\\gunship!");
  form.Command3->click();
  const auto starts = wine.starts(1);
  ASSERT_EQ(starts.size(), 1u);
  // The folder with a blank is one argument, never split into a command line.
  ASSERT_EQ(starts[0].args.size(), 1u);
  EXPECT_EQ(fs::canonical(starts[0].args[0]), exe);
  EXPECT_EQ(starts[0].cwd, exe.parent_path().string());
  EXPECT_EQ(starts[0].prefix, prefix.root().string());
  EXPECT_EQ(host.ends(), 1);
  EXPECT_TRUE(host.messages().empty());
}

TEST_F(LaunchTest, CopyAndLaunchCopiesFirstWithoutARescanAndStayResidentKeepsKestrun) {
  install();
  chooseFolder("c:\\Gunship!");
  form.optFM[1]->click();
  form.chkSr->click();
  ASSERT_EQ(form.chkSr->value(), 1);
  form.Command1->click();
  form.Command3->click();
  EXPECT_EQ(wine.starts(2).size(), 2u);
  EXPECT_NE(profile().find("[custom]\r\nRudderSensitivity=300\r\n"), std::string::npos);
  EXPECT_TRUE(form.lblCurrent[0]->visible()) << "the markers show the state before the copy";
  EXPECT_EQ(host.ends(), 0);
}

TEST_F(LaunchTest, NoWineIsReportedAndKestrunStays) {
  install();
  chooseFolder("c:\\Gunship!");
  fs::remove(wine.program());
  form.Command3->click();
  EXPECT_EQ(host.messages(),
            (std::vector<ShownMessage>{{"Unable to start gunship.exe", 16, "Kestrun"}}));
  EXPECT_EQ(host.ends(), 0);
}

TEST_F(LaunchTest, AGameThatCannotBeEnteredEndsKestrunWithTheErrorReport) {
  const struct {
    const char *name, *removed, *folder, *named;  // removed below drive_c after the scan
  } cases[] = {
      {"folder removed", "Gunship!", "c:\\Gunship!", "Gunship!"},
      {"executable removed", "Gunship!/gunship.exe", "c:\\Gunship!", "Gunship!"},
      // "Games\Gunship!" names drive G:, which this prefix lacks.
      {"relative folder", nullptr, "Games\\Gunship!", "G:"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host.clear();
    install();
    install("Games/Gunship!");
    fs::current_path(prefix.driveC());
    chooseFolder(c.folder);
    ASSERT_EQ(form.GameExe, "gunship.exe");
    if (c.removed) fs::remove_all(prefix.driveC() / c.removed);
    form.Command1->click();
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].style, 16);
    EXPECT_EQ(host.messages()[0].title, "Kestrun");
    EXPECT_NE(host.messages()[0].prompt.find(c.named), std::string::npos)
        << host.messages()[0].prompt;
    EXPECT_EQ(host.ends(), 1);
    EXPECT_TRUE(wine.starts(0).empty());
  }
}

// Started from the desktop menu: a home of its own, none of the variables that name a prefix
// or a Wine, and a stand-in wine first on PATH.
class LaunchFromTheMenu : public ::testing::Test {
 protected:
  // The game with its profile and executable in the folder game.
  static void installIn(const fs::path& game) {
    fs::create_directories(game / "data");
    writeFile(game / "data/custom.ini", threeModelProfile("AH-64 Apache"));
    writeFile(game / "gunship.exe", "MZ");
  }

  CurrentFolderGuard guard;
  TempDir home;
  ScopedEnv homeEnv{"HOME", home.path().string()};
  ScopedEnv unset[4] = {{"WINEPREFIX", std::nullopt},
                        {"WINE", std::nullopt},
                        {"XDG_CONFIG_HOME", std::nullopt},
                        {"XDG_DATA_HOME", std::nullopt}};
  StandInWine pathWine;
};

// No WINEPREFIX: the game in a Lutris prefix with its own Wine.
TEST_F(LaunchFromTheMenu, FindsTheGameInAGameManagersPrefixAndStartsItWithThatPrefixsWine) {
  StandInWine runner(home.path() / ".local/share/lutris/runners/wine/lutris-8/bin/wine");
  const fs::path prefix = home.path() / "Games/gunship", game = prefix / "drive_c/Gunship!";
  installIn(game);
  fs::create_directories(home.path() / ".config/lutris/games");
  writeFile(home.path() / ".config/lutris/games/gunship-1.yml",
            "game:\n  exe: " + (game / "gunship.exe").string() + "\n  prefix: ~/Games/gunship\n" +
                "wine:\n  version: lutris-8\n");

  FreshForm window;
  window.form.Form_Load();
  EXPECT_EQ(window.form.GamePath, "c:\\Gunship!");
  window.form.Command3->click();
  const auto starts = runner.starts(1);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].program, runner.program().string());
  EXPECT_EQ(starts[0].prefix, prefix.string());
  EXPECT_EQ(starts[0].args, std::vector<std::string>{(game / "gunship.exe").string()});
  EXPECT_EQ(starts[0].cwd, game.string());
  EXPECT_TRUE(pathWine.starts(0).empty());
  EXPECT_TRUE(window.host.messages().empty());
}

// Started from the desktop menu for a game the player added to Steam: Launch asks Steam to
// start it, and that start counts as the game's (Kestrun ends, as after any start).
TEST_F(LaunchFromTheMenu, HandsAGameAddedToSteamToSteamAndCountsThatAsTheStart) {
  StandInWine steam(pathWine.program().parent_path() / "steam");
  const fs::path compat = home.path() / ".local/share/Steam/steamapps/compatdata/3391826345";
  const fs::path game = compat / "pfx/drive_c/Gunship!";
  installIn(game);
  buildHome(home.path(),
            {"st/userdata/1/config/shortcuts.vdf=" +
             shortcutsVdf({{"3391826345", "Gunship!", (game / "gunship.exe").string()}})});

  FreshForm window;
  window.form.Form_Load();
  window.form.Command3->click();
  const auto starts = steam.starts(1);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].args, std::vector<std::string>{"steam://rungameid/14567783225519767552"});
  EXPECT_EQ(starts[0].cwd, game.string());
  EXPECT_TRUE(pathWine.starts(0).empty());
  EXPECT_TRUE(window.host.messages().empty());
  EXPECT_EQ(window.host.ends(), 1);
}

}  // namespace
