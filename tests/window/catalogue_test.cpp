// The window's folder options and the catalogue scan, through the host's real binding.
#include <gtest/gtest.h>

#include "FormFixture.h"

namespace {

using testing_support::FormTest;
using testing_support::GameFolder;
using testing_support::threeModelProfile;

using CatalogueTest = FormTest;

TEST_F(CatalogueTest, WindowStartsWithNothingScanned) {
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(form.optFM[i]->caption(), "?");
    EXPECT_TRUE(form.optFM[i]->enabled());
    EXPECT_FALSE(form.optFM[i]->value());
    EXPECT_EQ(form.optFM[i]->tag(), "");
    EXPECT_FALSE(markerShown(i));
  }
  EXPECT_EQ(form.Text1->text(), "c:\\Gunship!");
  EXPECT_EQ(form.Text2->text(), "c:\\Gunship!");
  EXPECT_FALSE(form.Option1->value());
  EXPECT_FALSE(form.Option2->value());
  EXPECT_EQ(form.chkSr->value(), 0);
  for (auto* button : {form.Command1, form.Command2, form.Command3}) EXPECT_TRUE(button->enabled());
  EXPECT_EQ(form.GamePath, "");
  EXPECT_EQ(form.IniFile, "");
  EXPECT_EQ(form.GameExe, "");
}

TEST_F(CatalogueTest, ScanListsModelsAndMarksTheOneInForce) {
  GameFolder game;
  game.writeProfile(threeModelProfile("Tiger"));
  game.addExecutable();
  chooseFolder(game.path());

  EXPECT_EQ(form.GamePath, game.path());
  EXPECT_EQ(form.IniFile, game.path() + "\\data\\custom.ini");
  EXPECT_EQ(form.GameExe, "gunship.exe");
  const char* captions[] = {"AH-64 Apache Flight Model", "Tiger Flight Model",
                            "Mi-28 Havoc Flight Model"};
  const char* tags[] = {"ApacheFlightModel", "TigerFlightModel", "HavocFlightModel"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(form.optFM[i]->enabled()) << i;
    EXPECT_EQ(form.optFM[i]->caption(), captions[i]);
    EXPECT_EQ(form.optFM[i]->tag(), tags[i]);
    EXPECT_EQ(markerShown(i), i == 1) << i;
  }
  for (auto* button : {form.Command1, form.Command2, form.Command3}) EXPECT_TRUE(button->enabled());
}

TEST_F(CatalogueTest, MarkerComparesNamesExactly) {
  struct Case {
    const char* name;
    std::string profile;
    bool expected[3];
  };
  std::string sameName = threeModelProfile("Tiger");
  sameName.replace(sameName.find("Helo=Mi-28 Havoc"), 16, "Helo=Tiger");
  const Case cases[] = {
      {"two slots share the name in force", sameName, {false, true, true}},
      {"letter case differs", threeModelProfile("tiger"), {false, false, false}},
      {"trailing blank kept by quotes", threeModelProfile("\"Tiger \""), {false, false, false}},
      {"nothing in force", threeModelProfile(""), {false, false, false}},
  };
  for (const Case& c : cases) {
    GameFolder game;
    game.writeProfile(c.profile);
    chooseFolder(game.path());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(markerShown(i), c.expected[i]) << c.name << " slot " << i;
  }
}

TEST_F(CatalogueTest, SlotNotFoundIsDisabledAndKeepsWhatTheLastScanShowed) {
  GameFolder full;
  full.writeProfile(threeModelProfile("Mi-28 Havoc"));
  chooseFolder(full.path());
  form.optFM[2]->click();
  ASSERT_TRUE(form.optFM[2]->value());

  // Another folder whose profile lacks the Havoc section and has an empty Apache name.
  GameFolder partial;
  std::string text = threeModelProfile("Tiger");
  text.erase(text.find("[HavocFlightModel]"));
  text.replace(text.find("Helo=AH-64 Apache"), 17, "Helo=");
  partial.writeProfile(text);
  chooseFolder(partial.path());

  EXPECT_FALSE(form.optFM[0]->enabled());
  EXPECT_EQ(form.optFM[0]->caption(), "AH-64 Apache Flight Model");
  EXPECT_TRUE(form.optFM[1]->enabled());
  EXPECT_TRUE(markerShown(1));
  EXPECT_FALSE(form.optFM[2]->enabled());
  EXPECT_EQ(form.optFM[2]->caption(), "Mi-28 Havoc Flight Model");
  EXPECT_EQ(form.optFM[2]->tag(), "HavocFlightModel");
  EXPECT_TRUE(markerShown(2)) << "the marker stays as the last scan that found the slot left it";
  EXPECT_TRUE(form.optFM[2]->value()) << "a disabled option button stays selected";
}

TEST_F(CatalogueTest, CommandButtonsFollowTheExecutableAlone) {
  struct Case {
    const char* name;
    bool profile;
    const char* exe;  // nullptr: none
    const char* expectedExe;
  };
  const Case cases[] = {
      {"executable without profile", false, "gunship.exe", "gunship.exe"},
      {"profile without executable", true, nullptr, ""},
      {"executable stored in capitals", true, "GUNSHIP.EXE", "GUNSHIP.EXE"},
  };
  for (const Case& c : cases) {
    GameFolder game;
    if (c.profile) game.writeProfile(threeModelProfile("Tiger"));
    if (c.exe) game.addExecutable(c.exe);
    chooseFolder(game.path());
    EXPECT_EQ(form.GameExe, c.expectedExe) << c.name;
    const bool found = c.exe != nullptr;
    for (auto* button : {form.Command1, form.Command2, form.Command3})
      EXPECT_EQ(button->enabled(), found) << c.name;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(form.optFM[i]->enabled(), c.profile) << c.name;
  }
}

TEST_F(CatalogueTest, FolderNamedLikeTheExecutableIsNotTheExecutable) {
  GameFolder game;
  testing_support::fs::create_directory(game.hostFolder() / "gunship.exe");
  chooseFolder(game.path());
  EXPECT_EQ(form.GameExe, "");
  EXPECT_FALSE(form.Command3->enabled());
}

TEST_F(CatalogueTest, FolderTextIsTakenUnchanged) {
  GameFolder game;
  game.writeProfile(threeModelProfile("Tiger"));
  game.addExecutable();

  chooseFolder(game.path() + "\\");
  EXPECT_EQ(form.IniFile, game.path() + "\\\\data\\custom.ini");
  EXPECT_TRUE(form.optFM[1]->enabled()) << "a doubled backslash still names the profile";
  EXPECT_EQ(form.GameExe, "gunship.exe");

  chooseFolder("");
  EXPECT_EQ(form.GamePath, "");
  EXPECT_EQ(form.IniFile, "\\data\\custom.ini");
}

TEST_F(CatalogueTest, FolderOptionsTakeTheirBoxWhenClicked) {
  GameFolder first;
  first.writeProfile(threeModelProfile("Tiger"));
  GameFolder second;
  second.writeProfile(threeModelProfile("AH-64 Apache"));

  chooseFolder(form.Text1, form.Option1, first.path());
  EXPECT_EQ(form.GamePath, first.path());

  // Typing into the other box changes nothing until its option is clicked.
  form.Text2->setText(second.path());
  EXPECT_EQ(form.GamePath, first.path());
  form.Option2->click();
  EXPECT_FALSE(form.Option1->value());
  EXPECT_EQ(form.GamePath, second.path());
  EXPECT_TRUE(markerShown(0));

  // A procedure whose option is clear changes nothing.
  form.Text1->setText("elsewhere");
  form.Option1_Click();
  EXPECT_EQ(form.GamePath, second.path());

  // Clicking the selected option again takes up an edited folder.
  form.Text2->setText(first.path());
  form.Option2->click();
  EXPECT_EQ(form.GamePath, first.path());
  EXPECT_TRUE(markerShown(1));
  EXPECT_FALSE(markerShown(0));
  EXPECT_TRUE(host.messages().empty());
}

}  // namespace
