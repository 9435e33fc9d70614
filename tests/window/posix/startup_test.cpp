// Start-up finds the game from the registry and the default folder, in a throw-away prefix.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include "FormFixture.h"
#include "WinePrefix.h"

namespace {

using testing_support::FormTest;
using testing_support::threeModelProfile;
using testing_support::WinePrefix;
namespace fs = std::filesystem;

// A string as Wine's hives write it.
std::string hiveString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// system.reg in the layout Wine 8 writes, holding the game's folder (nullptr: no game key).
std::string systemReg(const char* folder, bool win64 = false) {
  std::string text =
      "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=" +
      std::string(win64 ? "win64" : "win32") + "\n\n" +
      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion] 1796656850\n#time=1dd865e8d1ebd50\n"
      "\"ProgramFilesDir\"=\"C:\\\\Program Files\"\n\n";
  if (folder) {
    text += std::string("[Software\\\\") + (win64 ? "Wow6432Node\\\\" : "") +
            "Hasbro Interactive\\\\Gunship!] 1796656888\n#time=1dd865ea0a1b2c4\n\"Path\"=" +
            hiveString(folder) + "\n\n";
  }
  return text;
}

class StartupTest : public FormTest {
 protected:
  // A game folder below drive_c whose profile names its helicopters after tag.
  void game(const std::string& folder, bool withHavoc = true) {
    std::string profile = threeModelProfile("Tiger");
    if (!withHavoc) profile.erase(profile.find("[HavocFlightModel]"));
    prefix_.file(folder + "/data/custom.ini", profile);
    prefix_.file(folder + "/gunship.exe", "MZ");
  }

  WinePrefix prefix_;
};

TEST_F(StartupTest, RegistryFolderAloneIsSelectedAndScanned) {
  game("Games/Gunship!");
  prefix_.writeHive("system.reg", systemReg("C:\\Games\\Gunship!"));
  form.Form_Load();

  EXPECT_TRUE(form.Option2->value());
  EXPECT_FALSE(form.Option1->value());
  EXPECT_EQ(form.Text2->text(), "C:\\Games\\Gunship!");
  EXPECT_EQ(form.Text1->text(), "c:\\Gunship!");
  EXPECT_EQ(form.GamePath, "C:\\Games\\Gunship!");
  EXPECT_EQ(form.GameExe, "gunship.exe");
  EXPECT_TRUE(markerShown(1));
  EXPECT_TRUE(host.messages().empty());
}

TEST_F(StartupTest, BothCandidatesAreScannedRegistryFirstAndTheDefaultEndsSelected) {
  game("Games/Gunship!", /*withHavoc=*/true);
  game("Gunship!", /*withHavoc=*/false);
  prefix_.writeHive("system.reg", systemReg("C:\\Games\\Gunship!", /*win64=*/true));
  form.Form_Load();

  EXPECT_TRUE(form.Option1->value());
  EXPECT_FALSE(form.Option2->value());
  EXPECT_EQ(form.Text2->text(), "C:\\Games\\Gunship!");
  EXPECT_EQ(form.Text1->text(), "c:\\Gunship!");
  EXPECT_EQ(form.GamePath, "c:\\Gunship!");
  // The default folder lacks Havoc: the slot keeps what the registry folder's scan showed,
  // which proves that scan ran first.
  EXPECT_FALSE(form.optFM[2]->enabled());
  EXPECT_EQ(form.optFM[2]->caption(), "Mi-28 Havoc Flight Model");
}

TEST_F(StartupTest, RegistryResultsThatAreNotOfferedLeaveTheSecondBoxAlone) {
  struct Case {
    const char* name;
    const char* registry;  // nullptr: no key; "" : empty value
    bool defaultFolder;
    bool option1;
    std::string gamePath;
  };
  const Case cases[] = {
      {"registry names the default folder", "c:\\Gunship!", true, true, "c:\\Gunship!"},
      {"empty registry value", "", true, true, "c:\\Gunship!"},
      {"default folder named but gone", "c:\\Gunship!", false, false, ""},
      {"empty value and no folder", "", false, false, ""},
  };
  for (const Case& c : cases) {
    WinePrefix prefix;
    if (c.defaultFolder) {
      prefix.file("Gunship!/data/custom.ini", threeModelProfile("Tiger"));
      prefix.file("Gunship!/gunship.exe", "MZ");
    }
    prefix.writeHive("system.reg", systemReg(c.registry));
    testing_support::FreshForm window;
    Form1& fresh = window.form;
    fresh.Form_Load();
    EXPECT_FALSE(fresh.Option2->value()) << c.name;
    EXPECT_EQ(fresh.Text2->text(), "c:\\Gunship!") << c.name;
    EXPECT_EQ(fresh.Option1->value(), c.option1) << c.name;
    EXPECT_EQ(fresh.GamePath, c.gamePath) << c.name;
    if (!c.option1) {
      // Nothing was scanned: the window keeps its first state.
      EXPECT_EQ(fresh.IniFile, "") << c.name;
      EXPECT_EQ(fresh.optFM[0]->caption(), "?") << c.name;
      EXPECT_TRUE(fresh.optFM[0]->enabled()) << c.name;
      EXPECT_TRUE(fresh.Command3->enabled()) << c.name;
    }
  }
}

TEST_F(StartupTest, RegistryFoldersDifferingByAnyCharacterAreOffered) {
  const char* folders[] = {"C:\\Gunship!", "c:\\Gunship!\\"};
  for (const char* folder : folders) {
    WinePrefix prefix;
    prefix.file("Gunship!/data/custom.ini", threeModelProfile("Tiger"));
    prefix.writeHive("system.reg", systemReg(folder));
    testing_support::FreshForm window;
    Form1& fresh = window.form;
    fresh.Form_Load();
    EXPECT_EQ(fresh.Text2->text(), folder);
    EXPECT_TRUE(fresh.Option1->value()) << folder;
    EXPECT_FALSE(fresh.Option2->value()) << folder;
    EXPECT_EQ(fresh.GamePath, "c:\\Gunship!");
  }
}

TEST_F(StartupTest, MissingGameKeyOffersErrorAsAFolder) {
  prefix_.writeHive("system.reg", systemReg(nullptr));
  form.Form_Load();
  EXPECT_TRUE(form.Option2->value());
  EXPECT_EQ(form.Text2->text(), "Error");
  EXPECT_EQ(form.GamePath, "Error");
  EXPECT_EQ(form.IniFile, "Error\\data\\custom.ini");
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(form.optFM[i]->enabled());
  EXPECT_FALSE(form.Command1->enabled());
  EXPECT_TRUE(host.messages().empty());
}

TEST_F(StartupTest, DefaultEntryIsTakenAsStoredOnDisk) {
  struct Case {
    const char* name;
    bool folder;
    const char* stored;
    const char* text1;
    bool exeFound;
  };
  const Case cases[] = {
      {"folder stored in capitals", true, "GUNSHIP!", "c:\\GUNSHIP!", true},
      {"an ordinary file named like the folder", false, "Gunship!", "c:\\Gunship!", false},
  };
  for (const Case& c : cases) {
    WinePrefix prefix;
    if (c.folder) {
      prefix.file(std::string(c.stored) + "/data/custom.ini", threeModelProfile("Tiger"));
      prefix.file(std::string(c.stored) + "/gunship.exe", "MZ");
    } else {
      prefix.file(c.stored, "not a folder");
    }
    testing_support::FreshForm window;
    Form1& fresh = window.form;
    fresh.Form_Load();
    EXPECT_TRUE(fresh.Option1->value()) << c.name;
    EXPECT_EQ(fresh.Text1->text(), c.text1) << c.name;
    EXPECT_EQ(fresh.GamePath, c.text1) << c.name;
    EXPECT_EQ(!fresh.GameExe.empty(), c.exeFound) << c.name;
    EXPECT_EQ(fresh.Command2->enabled(), c.exeFound) << c.name;
    // No hive in this prefix: the registry candidate is "Error", scanned first.
    EXPECT_EQ(fresh.Text2->text(), "Error") << c.name;
  }
}

TEST_F(StartupTest, HiddenDefaultFolderIsNotFound) {
  game("Gunship!");
  const fs::path folder = prefix_.driveC() / "Gunship!";
  const char hidden[] = "0x12";  // folder + hidden, as Wine records it
  if (::setxattr(folder.c_str(), "user.DOSATTRIB", hidden, sizeof hidden - 1, 0) != 0)
    GTEST_SKIP() << "this file system keeps no user extended attributes";
  prefix_.writeHive("system.reg", systemReg(""));
  form.Form_Load();
  EXPECT_FALSE(form.Option1->value());
  EXPECT_EQ(form.GamePath, "");
}

}  // namespace
