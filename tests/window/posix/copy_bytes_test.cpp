// On Linux a copy changes the values of custom in place and adds the keys it lacks; every other
// byte of the game's profile stays as it was.
#include <gtest/gtest.h>

#include "FormFixture.h"

namespace {

using namespace testing_support;

using CopyBytesTest = FormTest;

TEST_F(CopyBytesTest, EveryByteTheCopyDoesNotWriteIsKept) {
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

  form.optFM[1]->click();
  form.Command2->click();
  // Existing keys get the new value in place; the others follow the section's last entry, in
  // the order they are copied, with the file's line ending.
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
}

}  // namespace
