// Module1 over the real profile functions: the key-list switch, the buffer's limit and the
// message of a failed write.
#include "settings/Module1.h"

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "platform/Platform.h"

namespace {

using namespace std::string_literals;
using testing_support::RecordingHost;
using testing_support::ShownMessage;
using testing_support::TempDir;

TEST(Module1, OnlyEmptyAndUpperNullListTheKeysAndLongValuesAreCut) {
  TempDir dir;
  testing_support::writeFile(dir.path() / "custom.ini",
                             "[custom]\r\nHelo=Apache\r\nnull=lower\r\n"
                             "Long=" +
                                 std::string(2000, 'a') + "\r\n");
  RecordingHost host;
  const std::pair<const char*, std::string> cases[] = {
      {"", "Helo\0null\0Long\0"s}, {"NULL", "Helo\0null\0Long\0"s},
      {"null", "lower"},           {"Null", "lower"},
      {"Rudder", "dflt"},          {"Long", std::string(1023, 'a')}};
  for (const auto& [name, expected] : cases) {
    std::string section = "custom", key = name, fallback = "dflt";
    std::string file = dir.programPath("custom.ini");
    EXPECT_EQ(ReadIniString(section, key, fallback, file), expected) << '"' << name << '"';
  }
  EXPECT_TRUE(host.messages().empty());
}

TEST(Module1, WriteReportsOnlyFailures) {
  TempDir dir;
  RecordingHost host;
  std::string section = "custom", key = "Helo", value = "Tiger", fallback;
  std::string good = dir.programPath("custom.ini");
  EXPECT_NE(WriteIniString(section, key, value, good), 0);
  EXPECT_TRUE(host.messages().empty());
  EXPECT_EQ(ReadIniString(section, key, fallback, good), "Tiger");

  std::string bad = dir.programPath("missing/custom.ini");
  EXPECT_EQ(WriteIniString(section, key, value, bad), 0);
  EXPECT_EQ(host.messages(),
            (std::vector<ShownMessage>{{"Error  0 Writing to " + bad + "\n" +
                                            platform::errorMessage(platform::kErrorPathNotFound),
                                        0, "Kestrun"}}));
  EXPECT_EQ(host.ends(), 0);
}

}  // namespace
