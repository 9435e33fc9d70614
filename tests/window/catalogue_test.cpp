// The window's folder options and the catalogue scan, through the host's real binding.
#include <gtest/gtest.h>

#include <optional>

#include "FormFixture.h"

namespace {

using namespace testing_support;

using CatalogueTest = FormTest;

TEST_F(CatalogueTest, WindowStartsWithNothingScanned) {
  EXPECT_EQ(slots(form), "? | ? | ?");
  EXPECT_EQ(form.Text1->text(), "c:\\Gunship!");
  EXPECT_EQ(form.Text2->text(), "c:\\Gunship!");
  EXPECT_FALSE(form.Option1->value() || form.Option2->value() || form.chkSr->value());
  for (auto* button : {form.Command1, form.Command2, form.Command3}) EXPECT_TRUE(button->enabled());
  EXPECT_EQ(form.GamePath + form.IniFile + form.GameExe, "");
}

TEST(Catalogue, ScanShowsTheModelsMarksTheOneInForceAndFindsTheExecutable) {
  const std::string tiger = threeModelProfile("Tiger");
  std::string twice = tiger;
  twice.replace(twice.find("Helo=Mi-28 Havoc"), 16, "Helo=Tiger");
  const std::string all =
      "AH-64 Apache Flight Model | Tiger Flight Model* | Mi-28 Havoc Flight Model";
  const std::string none =
      "AH-64 Apache Flight Model | Tiger Flight Model | Mi-28 Havoc Flight Model";
  const struct {
    const char* name;
    std::optional<std::string> profile;
    const char* exe;  // nullptr: none; ending in '/': a folder of that name
    std::string slots, gameExe;
  } cases[] = {
      {"Tiger in force", tiger, "gunship.exe", all, "gunship.exe"},
      {"two slots share the name", twice, "gunship.exe",
       "AH-64 Apache Flight Model | Tiger Flight Model* | Tiger Flight Model*", "gunship.exe"},
      {"letter case differs", threeModelProfile("tiger"), "gunship.exe", none, "gunship.exe"},
      {"blank kept by quotes", threeModelProfile("\"Tiger \""), "gunship.exe", none, "gunship.exe"},
      {"no profile", std::nullopt, "gunship.exe", "? (off) | ? (off) | ? (off)", "gunship.exe"},
      {"no executable", tiger, nullptr, all, ""},
      {"executable in capitals", tiger, "GUNSHIP.EXE", all, "GUNSHIP.EXE"},
      {"a folder named like it", tiger, "gunship.exe/", all, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FreshForm window;
    GameFolder game;
    if (c.profile) game.writeProfile(*c.profile);
    if (c.exe && std::string(c.exe).back() == '/')
      fs::create_directory(game.hostFolder() / c.exe);
    else if (c.exe)
      game.addExecutable(c.exe);
    chooseFolder(window.form, game.path());
    EXPECT_EQ(window.form.GamePath, game.path());
    EXPECT_EQ(window.form.IniFile, game.path() + "\\data\\custom.ini");
    EXPECT_EQ(slots(window.form), c.slots);
    EXPECT_EQ(window.form.GameExe, c.gameExe);
    for (auto* button : {window.form.Command1, window.form.Command2, window.form.Command3})
      EXPECT_EQ(button->enabled(), !c.gameExe.empty());
  }
}

TEST_F(CatalogueTest, SlotNotFoundIsDisabledAndKeepsWhatTheLastScanShowed) {
  GameFolder full;
  full.writeProfile(threeModelProfile("Mi-28 Havoc"));
  chooseFolder(full.path());
  form.optFM[2]->click();
  // Another folder whose profile lacks the Havoc section and has an empty Apache name.
  GameFolder partial;
  std::string text = threeModelProfile("Tiger");
  text.erase(text.find("[HavocFlightModel]"));
  text.replace(text.find("Helo=AH-64 Apache"), 17, "Helo=");
  partial.writeProfile(text);
  chooseFolder(partial.path());
  EXPECT_EQ(slots(form),
            "AH-64 Apache Flight Model (off) | Tiger Flight Model* | >Mi-28 Havoc Flight Model* "
            "(off)");
}

TEST_F(CatalogueTest, FolderOptionsTakeTheirBoxUnchangedWhenClicked) {
  GameFolder first, second;
  first.writeProfile(threeModelProfile("Tiger"));
  second.writeProfile(threeModelProfile("AH-64 Apache"));
  testing_support::chooseFolder(form, first.path(), /*first=*/true);
  EXPECT_EQ(form.GamePath, first.path());
  // Typing into the other box changes nothing until its option is clicked.
  form.Text2->setText(second.path());
  EXPECT_EQ(form.GamePath, first.path());
  form.Option2->click();
  EXPECT_FALSE(form.Option1->value());
  EXPECT_EQ(form.GamePath, second.path());
  EXPECT_EQ(slots(form),
            "AH-64 Apache Flight Model* | Tiger Flight Model | Mi-28 Havoc Flight Model");
  // A procedure whose option is clear changes nothing.
  form.Text1->setText("elsewhere");
  form.Option1_Click();
  EXPECT_EQ(form.GamePath, second.path());
  // Clicking the selected option again takes up an edited folder, as typed.
  form.Text2->setText(first.path() + "\\");
  form.Option2->click();
  EXPECT_EQ(form.IniFile, first.path() + "\\\\data\\custom.ini");
  EXPECT_EQ(slots(form),
            "AH-64 Apache Flight Model | Tiger Flight Model* | Mi-28 Havoc Flight Model");
  chooseFolder("");
  EXPECT_EQ(form.IniFile, "\\data\\custom.ini");
  EXPECT_TRUE(host.messages().empty());
}

}  // namespace
