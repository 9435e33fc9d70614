// ReadRegString over a prefix's hives: what the start-up read sees.
#include "settings/General.h"

#include <gtest/gtest.h>

#include <string>

#include "posix/WinePrefix.h"

namespace {

using testing_support::RecordingHost;
using testing_support::ShownMessage;
using testing_support::utf16Hex;

std::string read(std::string path, std::string value) {
  return ReadRegString(path, value);
}

TEST(ReadRegString, ReadsValuesAsTheStartUpSeesThem) {
  std::string euros, euro254;  // 254 euro signs: 3 bytes each in UTF-8, 1 in cp1252
  for (int i = 0; i < 254; ++i) euros += "\\x20ac", euro254 += "\xe2\x82\xac";
  testing_support::WinePrefix prefix;
  prefix.writeHive(
      "system.reg",
      testing_support::hive(
          "\"RootValue\"=\"at the root\"\n"  // before any key: belongs to none
          "[] 0\n\"RootValue\"=\"root\"\n[Software\\\\Hasbro Interactive\\\\Gunship!] 0\n"
          "\"Path\"=\"C:\\\\Games\\\\Gunship!\"\n[Values] 0\n\"Blanks\"=\"  C:\\\\Gunship!  \"\n"
          "\"Empty\"=\"\"\n\"Tab\"=\"\\tC:\\\\G\\t\"\n\"Len254\"=\"" +
          std::string(254, 'a') + "\"\n\"Len255\"=\"" + std::string(255, 'a') + "\"\n\"E253\"=\"" +
          std::string(253, 'e') + "\\xe9\"\n\"E254\"=\"" + std::string(254, 'e') +
          "\\xe9\"\n\"Euros\"=\"" + euros + "\"\n\"RawShort\"=hex(1):" + utf16Hex("  C:\\G  ") +
          "\n\"Raw255\"=hex(1):" + utf16Hex("  " + std::string(251, 'r') + "  ") +
          "\n\"Dword\"=dword:00000031\n\"Multi\"=str(7):\"first\\0second\\0\"\n"));
  RecordingHost host;
  std::string path = "HKEY_LOCAL_MACHINE\\Software\\Hasbro Interactive\\Gunship!", value = "Path";
  EXPECT_EQ(ReadRegString(path, value), "C:\\Games\\Gunship!");
  EXPECT_EQ(path, "Software\\Hasbro Interactive\\Gunship!");
  path = "HKEY_LOCAL_MACHINE";
  value = "RootValue";
  EXPECT_EQ(ReadRegString(path, value), "root");
  EXPECT_EQ(path, "");

  const std::pair<const char*, std::string> cases[] = {
      {"Blanks", "C:\\Gunship!  "},  // the NUL shields the value's own trailing blanks
      {"Empty", ""},
      {"Tab", "\tC:\\G\t"},
      {"Len254", std::string(254, 'a')},
      {"Len255", "Error"},
      // The buffer counts cp1252 bytes; the text comes as UTF-8, longer than the 255 counted.
      {"E253", std::string(253, 'e') + "\xc3\xa9"},
      {"E254", "Error"},
      {"Euros", euro254},
      {"RawShort", "C:\\G  "},            // the platform writes a NUL after it
      {"Raw255", std::string(251, 'r')},  // fills the buffer: no NUL, trimmed at both ends
      {"Dword", "1"},
      {"Multi", "first"},
      {"Missing", "Error"},
  };
  for (const auto& [name, expected] : cases)
    EXPECT_EQ(read("HKEY_LOCAL_MACHINE\\Values", name), expected) << name;
  EXPECT_EQ(read("HKEY_LOCAL_MACHINE\\NoSuchKey", "Path"), "Error");
  EXPECT_EQ(read("HKEY_CURRENT_USER\\Values", "Blanks"), "Error");  // no user.reg
  EXPECT_TRUE(host.messages().empty());

  // Malformed paths are reported; unknown roots are not. Neither reads on stale state.
  for (const std::string bad :
       {"HKEY_LOCAL_MACHINE\\Software\\", "hkey_local_machine", "HKEY", "", "Software\\Values"}) {
    host.clear();
    std::string text = bad, name = "RootValue";
    EXPECT_EQ(ReadRegString(text, name), "") << bad;
    EXPECT_EQ(text, bad);
    EXPECT_EQ(host.messages(),
              (std::vector<ShownMessage>{{"Incorrect Format:\n\n" + bad, ui::kOkOnly, "Kestrun"}}));
  }
  host.clear();
  for (const char* unknown : {"HKEY_", "HKEY_local_machine\\Values", "HKEY_LOCAL\\Values"})
    EXPECT_EQ(read(unknown, "Blanks"), "") << unknown;
  EXPECT_TRUE(host.messages().empty());
}

}  // namespace
