#include "FormFixture.h"

namespace testing_support {

int FreshForm::argc = 1;
char* FreshForm::argv[] = {const_cast<char*>("kestrun-tests"), nullptr};

std::string threeModelProfile(const std::string& customHelo, const std::string& eol) {
  auto section = [&eol](const std::string& name, const std::string& helo, int base) {
    std::string text = "[" + name + "]" + eol;
    const char* keys[] = {"RudderSensitivity",          "RudderKeyIncrement",
                          "CollectiveSensitivity",      "CollectiveKeyIncrement",
                          "CyclicLeftRightSensitivity", "CyclicForwardBackSensitivity",
                          "GroundEffectFactor",         "TransLiftFactor"};
    int n = base;
    for (const char* key : keys) text += std::string(key) + "=" + std::to_string(n++) + eol;
    return text + "Helo=" + helo + eol + eol;
  };
  return "; Gunship! profile" + eol + section("custom", customHelo, 100) +
         section("ApacheFlightModel", "AH-64 Apache", 200) +
         section("TigerFlightModel", "Tiger", 300) +
         section("HavocFlightModel", "Mi-28 Havoc", 400);
}

}  // namespace testing_support
