// "Copy": the picked flight model goes into the custom section, and nothing else changes.
#include <gtest/gtest.h>

#include <string>

#include "FormFixture.h"

namespace {

using testing_support::FormTest;
using testing_support::GameFolder;
using testing_support::threeModelProfile;

using CopyTest = FormTest;

const char* const kCopyKeys[] = {"RudderSensitivity",          "RudderKeyIncrement",
                                 "CollectiveSensitivity",      "CollectiveKeyIncrement",
                                 "CyclicLeftRightSensitivity", "CyclicForwardBackSensitivity",
                                 "GroundEffectFactor",         "TransLiftFactor"};

// The custom section of threeModelProfile after a copy of the section whose handling values
// start at base and whose helicopter is helo, with the given line ending.
std::string customSection(int base, const std::string& helo, const std::string& eol = "\r\n") {
  std::string text = "[custom]" + eol;
  for (const char* key : kCopyKeys) text += std::string(key) + "=" + std::to_string(base++) + eol;
  return text + "Helo=" + helo + eol;
}

TEST_F(CopyTest, CopyPutsThePickedModelInForceAndMovesTheMarker) {
  GameFolder game;
  const std::string before = threeModelProfile("AH-64 Apache");
  game.writeProfile(before);
  game.addExecutable();
  chooseFolder(game.path());
  ASSERT_TRUE(markerShown(0));

  form.optFM[1]->click();
  form.Command2->click();

  std::string expected = before;
  expected.replace(expected.find("[custom]"), customSection(100, "AH-64 Apache").size(),
                   customSection(300, "Tiger"));
  EXPECT_EQ(game.profile(), expected);
  EXPECT_FALSE(markerShown(0));
  EXPECT_TRUE(markerShown(1));
  EXPECT_FALSE(markerShown(2));
  EXPECT_TRUE(host.messages().empty());
}

TEST_F(CopyTest, CopyOfTheModelInForceRestoresEveryValue) {
  GameFolder game;
  // The player has tuned the handling of the helicopter in force by hand.
  std::string text = threeModelProfile("Tiger");
  text.replace(text.find("[custom]"), customSection(100, "Tiger").size(),
               customSection(900, "Tiger"));
  game.writeProfile(text);
  game.addExecutable();
  chooseFolder(game.path());
  ASSERT_TRUE(markerShown(1));

  form.optFM[1]->click();
  form.Command2->click();
  EXPECT_NE(game.profile().find(customSection(300, "Tiger")), std::string::npos);
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
  EXPECT_TRUE(markerShown(1));

  // A picked slot that a later scan disabled is not copied.
  form.optFM[2]->click();
  std::string withoutHavoc = changed;
  withoutHavoc.replace(withoutHavoc.find("Helo=Mi-28 Havoc"), 16, "Helo=");
  game.writeProfile(withoutHavoc);
  form.Option2->click();
  ASSERT_FALSE(form.optFM[2]->enabled());
  ASSERT_TRUE(form.optFM[2]->value());
  form.Command2->click();
  EXPECT_EQ(game.profile(), withoutHavoc);
}

TEST_F(CopyTest, KeysTheSectionLacksAreWrittenEmpty) {
  GameFolder game;
  std::string text = threeModelProfile("Tiger", "\n");
  text.erase(text.find("GroundEffectFactor=406\n"), 23);
  text.erase(text.find("TransLiftFactor=407\n"), 20);
  game.writeProfile(text);
  game.addExecutable();
  chooseFolder(game.path());

  form.optFM[2]->click();
  form.Command2->click();
  const std::string after = game.profile();
  EXPECT_NE(after.find("GroundEffectFactor=\nTransLiftFactor=\nHelo=Mi-28 Havoc\n"),
            std::string::npos)
      << after;
  EXPECT_TRUE(markerShown(2));
}

TEST_F(CopyTest, EveryLineTheCopyDoesNotWriteKeepsItsBytes) {
  GameFolder game;
  const std::string head =
      "\xEF\xBB\xBF; Gunship! settings\r\n"
      "[Display]\r\n"
      "Resolution = 640x480   ; leave alone\r\n"
      "\r\n";
  const std::string customBefore =
      "[Custom]\r\n"
      "  rudderSENSITIVITY = 1.5\r\n"
      "Difficulty=Hard\r\n"
      "; tuned by hand\r\n"
      "Helo = \"AH-64 Apache\"\r\n"
      "\r\n";
  const std::string models =
      threeModelProfile("unused").substr(threeModelProfile("unused").find("[ApacheFlightModel]"));
  const std::string tail = "[Keys]\nFire=Space";  // mixed endings, no final line break
  game.writeProfile(head + customBefore + models + tail);
  game.addExecutable();
  chooseFolder(game.path());
  ASSERT_TRUE(markerShown(0));

  form.optFM[1]->click();
  form.Command2->click();

  // Only the values of existing keys change: spelling, indentation and blanks around "=" stay.
  // New keys follow the last entry of the section, before its blank line, with the file's CRLF.
  const std::string customAfter =
      "[Custom]\r\n"
      "  rudderSENSITIVITY = 300\r\n"
      "Difficulty=Hard\r\n"
      "; tuned by hand\r\n"
      "Helo = Tiger\r\n"
      "RudderKeyIncrement=301\r\n"
      "CollectiveSensitivity=302\r\n"
      "CollectiveKeyIncrement=303\r\n"
      "CyclicLeftRightSensitivity=304\r\n"
      "CyclicForwardBackSensitivity=305\r\n"
      "GroundEffectFactor=306\r\n"
      "TransLiftFactor=307\r\n"
      "\r\n";
  EXPECT_EQ(game.profile(), head + customAfter + models + tail);
  EXPECT_TRUE(markerShown(1));
}

TEST_F(CopyTest, ProfileThatCannotBeWrittenIsReportedPerKeyAndLeftAlone) {
  GameFolder game;
  const std::string before = threeModelProfile("AH-64 Apache");
  game.writeProfile(before);
  game.addExecutable();
  chooseFolder(game.path());
  testing_support::fs::permissions(game.profilePath(), testing_support::fs::perms::owner_read |
                                                           testing_support::fs::perms::group_read |
                                                           testing_support::fs::perms::others_read);
  form.optFM[1]->click();
  form.Command2->click();

  ASSERT_EQ(host.messages().size(), 9u);
  for (const auto& message : host.messages()) {
    EXPECT_EQ(message.prompt, "Error  0 Writing to " + form.IniFile);
    EXPECT_EQ(message.style, 0);
    EXPECT_EQ(message.title, "Kestrun");
  }
  EXPECT_EQ(game.profile(), before);
  EXPECT_TRUE(markerShown(0));
  EXPECT_EQ(host.ends(), 0);
}

}  // namespace
