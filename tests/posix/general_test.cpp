// ReadRegString over a prefix's hives: what the start-up read sees.
#include "settings/General.h"

#include <gtest/gtest.h>

#include <string>

#include "posix/WinePrefix.h"

namespace {

using testing_support::RecordingHost;
using testing_support::WinePrefix;

std::string utf16Hex(const std::string& ascii) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : ascii)
    out += std::string{digits[c >> 4], digits[c & 15], ',', '0', '0', ','};
  if (!out.empty()) out.pop_back();
  return out;
}

class ReadRegStringTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string gunship = "[Software\\\\Hasbro Interactive\\\\Gunship!] 0\n";
    prefix.writeHive(
        "system.reg",
        "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win32\n\n"
        "\"RootValue\"=\"at the root\"\n"  // before any key: belongs to none
        "[] 0\n\"RootValue\"=\"root\"\n" +
            gunship + "\"Path\"=\"C:\\\\Games\\\\Gunship!\"\n" +
            "[Values] 0\n"
            "\"Blanks\"=\"  C:\\\\Gunship!  \"\n"
            "\"Empty\"=\"\"\n"
            "\"Tab\"=\"\\tC:\\\\G\\t\"\n"
            "\"Len254\"=\"" +
            std::string(254, 'a') + "\"\n\"Len255\"=\"" + std::string(255, 'a') +
            "\"\n"
            "\"RawShort\"=hex(1):" +
            utf16Hex("  C:\\G  ") +
            "\n\"Raw255\"=hex(1):" + utf16Hex("  " + std::string(251, 'r') + "  ") +
            "\n"
            "\"Dword\"=dword:00000031\n"
            "\"Multi\"=str(7):\"first\\0second\\0\"\n"
            "\"Error\"=\"Error\"\n");
  }

  std::string read(std::string path, std::string value) { return ReadRegString(path, value); }

  WinePrefix prefix;
  RecordingHost host;
};

TEST_F(ReadRegStringTest, ReadsValuesAsTheStartUpSeesThem) {
  std::string path = "HKEY_LOCAL_MACHINE\\Software\\Hasbro Interactive\\Gunship!";
  std::string value = "Path";
  EXPECT_EQ(ReadRegString(path, value), "C:\\Games\\Gunship!");
  EXPECT_EQ(path, "Software\\Hasbro Interactive\\Gunship!");
  EXPECT_EQ(value, "Path");

  path = "HKEY_LOCAL_MACHINE";
  value = "RootValue";
  EXPECT_EQ(ReadRegString(path, value), "root");
  EXPECT_EQ(path, "");

  struct Case {
    const char* value;
    std::string expected;
  } cases[] = {
      {"Blanks", "C:\\Gunship!  "},  // the NUL shields the value's own trailing blanks
      {"Empty", ""},
      {"Tab", "\tC:\\G\t"},
      {"Len254", std::string(254, 'a')},
      {"Len255", "Error"},
      {"RawShort", "C:\\G  "},            // the platform writes a NUL after it
      {"Raw255", std::string(251, 'r')},  // fills the buffer: no NUL, trimmed at both ends
      {"Dword", "1"},
      {"Multi", "first"},
      {"Missing", "Error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(read("HKEY_LOCAL_MACHINE\\Values", c.value), c.expected);
  }
  EXPECT_EQ(read("HKEY_LOCAL_MACHINE\\NoSuchKey", "Path"), "Error");
  EXPECT_EQ(read("HKEY_CURRENT_USER\\Values", "Blanks"), "Error");  // no user.reg
  EXPECT_TRUE(host.messages().empty());
}

TEST_F(ReadRegStringTest, MalformedPathsAreReportedAndYieldNothing) {
  // A good read first, so that a later malformed path could only succeed on stale state.
  EXPECT_EQ(read("HKEY_LOCAL_MACHINE\\Values", "Error"), "Error");
  EXPECT_EQ(read("HKEY_LOCAL_MACHINE", "RootValue"), "root");
  for (const std::string bad :
       {"HKEY_LOCAL_MACHINE\\Software\\", "hkey_local_machine", "HKEY", "", "Software\\Values"}) {
    SCOPED_TRACE(bad);
    host.clear();
    std::string path = bad;
    std::string value = "RootValue";
    EXPECT_EQ(ReadRegString(path, value), "");
    EXPECT_EQ(path, bad);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].prompt, "Incorrect Format:\n\n" + bad);
    EXPECT_EQ(host.messages()[0].style, ui::kOkOnly);
    EXPECT_EQ(host.messages()[0].title, "Kestrun");
  }
  host.clear();
  for (const std::string unknown : {"HKEY_", "HKEY_local_machine\\Values", "HKEY_LOCAL\\Values"}) {
    std::string path = unknown;
    std::string value = "Blanks";
    EXPECT_EQ(ReadRegString(path, value), "") << unknown;
  }
  EXPECT_TRUE(host.messages().empty());
}

}  // namespace
