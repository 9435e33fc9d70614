// "Copy": the picked flight model goes into the custom section, and nothing else changes.
#include <gtest/gtest.h>

#include <string>

#include "FormFixture.h"

namespace {

using namespace testing_support;

using CopyTest = FormTest;

TEST_F(CopyTest, CopyWritesThePickedModelIntoCustomInOrderAndRescans) {
  GameFolder game;
  const std::string head = "\xEF\xBB\xBF; Gunship! settings\r\n[Display]\r\nResolution=640\r\n\r\n";
  const std::string models = threeModelProfile("").substr(threeModelProfile("").find("[Apache"));
  const std::string tail = "[Keys]\nFire=Space";  // mixed endings, no final line break
  game.writeProfile(
      head +
      "[Custom]\r\n  rudderSENSITIVITY = 1.5\r\nDifficulty=Hard\r\n; tuned by hand\r\n"
      "Helo = \"AH-64 Apache\"\r\n\r\n" +
      models + tail);
  game.addExecutable();
  chooseFolder(game.path());
  ASSERT_EQ(slots(form),
            "AH-64 Apache Flight Model* | Tiger Flight Model | Mi-28 Havoc Flight Model");

  form.optFM[1]->click();
  form.Command2->click();
  // Existing keys get the new value in place; the others follow the section's last entry, in
  // the order they are copied.
  EXPECT_EQ(game.profile(), head +
                                "[Custom]\r\n  rudderSENSITIVITY = 300\r\nDifficulty=Hard\r\n"
                                "; tuned by hand\r\nHelo = Tiger\r\nRudderKeyIncrement=301\r\n"
                                "CollectiveSensitivity=302\r\nCollectiveKeyIncrement=303\r\n"
                                "CyclicLeftRightSensitivity=304\r\n"
                                "CyclicForwardBackSensitivity=305\r\nGroundEffectFactor=306\r\n"
                                "TransLiftFactor=307\r\n\r\n" +
                                models + tail);
  EXPECT_EQ(slots(form),
            "AH-64 Apache Flight Model | >Tiger Flight Model* | Mi-28 Havoc Flight Model");
  EXPECT_TRUE(host.messages().empty());
}

TEST_F(CopyTest, TheModelInForceIsCopiedAgainAndKeysItLacksAreWrittenEmpty) {
  GameFolder game;
  std::string text = threeModelProfile("Mi-28 Havoc", "\n");  // custom: tuned values 100...
  text.erase(text.find("GroundEffectFactor=406\n"), 23);
  text.erase(text.find("TransLiftFactor=407\n"), 20);
  game.writeProfile(text);
  game.addExecutable();
  chooseFolder(game.path());
  form.optFM[2]->click();
  form.Command2->click();
  EXPECT_NE(game.profile().find("[custom]\nRudderSensitivity=400\nRudderKeyIncrement=401\n"
                                "CollectiveSensitivity=402\nCollectiveKeyIncrement=403\n"
                                "CyclicLeftRightSensitivity=404\nCyclicForwardBackSensitivity=405\n"
                                "GroundEffectFactor=\nTransLiftFactor=\nHelo=Mi-28 Havoc\n\n"),
            std::string::npos)
      << game.profile();
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

TEST_F(CopyTest, ProfileThatCannotBeWrittenIsReportedPerKeyAndLeftAlone) {
  GameFolder game;
  const std::string before = threeModelProfile("AH-64 Apache");
  game.writeProfile(before);
  game.addExecutable();
  chooseFolder(game.path());
  fs::permissions(game.profilePath(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  form.optFM[1]->click();
  form.Command2->click();
  EXPECT_EQ(host.messages(),
            std::vector<ShownMessage>(9, {"Error  0 Writing to " + form.IniFile, 0, "Kestrun"}));
  EXPECT_EQ(game.profile(), before);
  EXPECT_TRUE(form.lblCurrent[0]->visible());
  EXPECT_EQ(host.ends(), 0);
}

}  // namespace
