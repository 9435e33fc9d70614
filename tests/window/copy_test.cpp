// "Copy": the picked flight model goes into the custom section, and nothing else changes.
#include <gtest/gtest.h>

#include <string>

#include "FormFixture.h"
#include "platform/Platform.h"

namespace {

using namespace testing_support;

using CopyTest = FormTest;

TEST_F(CopyTest, CopyWritesThePickedModelIntoCustomAndRescans) {
  GameFolder game;
  std::string text = threeModelProfile("AH-64 Apache");
  text.insert(text.find("Helo=AH-64 Apache"), "Difficulty=Hard\r\n");
  game.writeProfile(text);
  game.addExecutable();
  chooseFolder(game.path());
  ASSERT_EQ(slots(form),
            "AH-64 Apache Flight Model* | Tiger Flight Model | Mi-28 Havoc Flight Model");

  auto models = [&game] {
    std::string all;
    for (const char* section : {"ApacheFlightModel", "TigerFlightModel", "HavocFlightModel"})
      all += readSection(game.profilePath(), section);
    return all;
  };
  const std::string modelsBefore = models();

  form.optFM[1]->click();
  form.Command2->click();
  // Every value of the copy list now comes from the picked section; other keys of custom and
  // the flight-model sections stay as they were.
  EXPECT_EQ(readSection(game.profilePath(), "custom"),
            "RudderSensitivity=300\nRudderKeyIncrement=301\nCollectiveSensitivity=302\n"
            "CollectiveKeyIncrement=303\nCyclicLeftRightSensitivity=304\n"
            "CyclicForwardBackSensitivity=305\nGroundEffectFactor=306\nTransLiftFactor=307\n"
            "Difficulty=Hard\nHelo=Tiger\n");
  EXPECT_EQ(models(), modelsBefore);
  EXPECT_EQ(slots(form),
            "AH-64 Apache Flight Model | >Tiger Flight Model* | Mi-28 Havoc Flight Model");
  EXPECT_TRUE(host.messages().empty());
}

TEST_F(CopyTest, TheModelInForceIsCopiedAgainAndKeysItLacksAreWrittenEmpty) {
  GameFolder game;
  std::string text = threeModelProfile("Mi-28 Havoc");  // custom: tuned values 100...
  text.erase(text.find("GroundEffectFactor=406\r\n"), 24);
  text.erase(text.find("TransLiftFactor=407\r\n"), 21);
  game.writeProfile(text);
  game.addExecutable();
  chooseFolder(game.path());
  form.optFM[2]->click();
  form.Command2->click();
  EXPECT_EQ(readSection(game.profilePath(), "custom"),
            "RudderSensitivity=400\nRudderKeyIncrement=401\nCollectiveSensitivity=402\n"
            "CollectiveKeyIncrement=403\nCyclicLeftRightSensitivity=404\n"
            "CyclicForwardBackSensitivity=405\nGroundEffectFactor=\nTransLiftFactor=\n"
            "Helo=Mi-28 Havoc\n");
}

TEST_F(CopyTest, NothingIsCopiedWithoutAnEnabledSelectedSlotButTheScanRuns) {
  GameFolder game;
  game.writeProfile(threeModelProfile("AH-64 Apache"));
  game.addExecutable();
  chooseFolder(game.path());
  // The game changed the profile since the scan; "Copy" with nothing picked shows it.
  const std::string changed = threeModelProfile("Tiger");
  game.writeProfile(changed);
  form.Command2->click();
  EXPECT_EQ(game.profile(), changed);
  EXPECT_TRUE(form.lblCurrent[1]->visible());
  // A picked slot that a later scan disabled is not copied.
  form.optFM[2]->click();
  std::string withoutHavoc = changed;
  withoutHavoc.replace(withoutHavoc.find("Helo=Mi-28 Havoc"), 16, "Helo=");
  game.writeProfile(withoutHavoc);
  form.Option2->click();
  form.Command2->click();
  EXPECT_EQ(slots(form),
            "AH-64 Apache Flight Model | Tiger Flight Model* | >Mi-28 Havoc Flight Model (off)");
  EXPECT_EQ(game.profile(), withoutHavoc);
}

TEST_F(CopyTest, AProfileThatCannotBeWrittenStopsTheCopyWithOneMessageAndNoStart) {
  const struct {
    const char* name;
    ui::CommandButton* Form1::*button;
  } cases[] = {
      {"Copy rescans", &Form1::Command2},
      {"Copy && Launch starts nothing", &Form1::Command1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host.clear();
    GameFolder game;
    const std::string before = threeModelProfile("AH-64 Apache");
    game.writeProfile(before);
    game.addExecutable();
    chooseFolder(game.path());
    fs::permissions(game.profilePath(),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    form.optFM[1]->click();
    (form.*c.button)->click();
    // One message, naming the reason; a start would show a second one or end the program.
    EXPECT_EQ(host.messages(),
              (std::vector<ShownMessage>{
                  {"Error  0 Writing to " + form.IniFile + "\n" +
                       platform::errorMessage(platform::kErrorAccessDenied) +
                       "\nNothing was copied: the flight model in force is as it was.",
                   0, "Kestrun"}}));
    EXPECT_EQ(host.ends(), 0);
    EXPECT_EQ(game.profile(), before);
    EXPECT_TRUE(form.lblCurrent[0]->visible());
  }
}

}  // namespace
