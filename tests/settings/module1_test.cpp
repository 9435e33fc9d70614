// Module1 over the real profile functions: the key-list switch, the buffer's limit and the
// message of a failed write.
#include "settings/Module1.h"

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

namespace {

using testing_support::RecordingHost;
using testing_support::TempDir;
using testing_support::writeFile;

struct KeyCase {
  const char* key;
  std::string expected;
};

void PrintTo(const KeyCase& c, std::ostream* out) {
  *out << '"' << c.key << '"';
}

class Module1Key : public ::testing::TestWithParam<KeyCase> {};

TEST_P(Module1Key, OnlyEmptyAndUpperNullListTheKeys) {
  TempDir dir;
  writeFile(dir.path() / "custom.ini", "[custom]\r\nHelo=Apache\r\nnull=lower\r\n");
  std::string section = "custom", key = GetParam().key, fallback = "dflt";
  std::string file = dir.programPath("custom.ini");
  RecordingHost host;
  EXPECT_EQ(ReadIniString(section, key, fallback, file), GetParam().expected);
  EXPECT_TRUE(host.messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Keys, Module1Key,
                         ::testing::Values(KeyCase{"", std::string("Helo\0null\0", 10)},
                                           KeyCase{"NULL", std::string("Helo\0null\0", 10)},
                                           KeyCase{"null", "lower"}, KeyCase{"Null", "lower"},
                                           KeyCase{"Rudder", "dflt"}));

TEST(Module1, LongValueReadsAsItsFirst1023Characters) {
  TempDir dir;
  const std::string value = std::string(1000, 'a') + std::string(1000, 'b');
  writeFile(dir.path() / "custom.ini", "[custom]\nHelo=" + value + "\n");
  std::string section = "custom", key = "Helo", fallback, file = dir.programPath("custom.ini");
  EXPECT_EQ(ReadIniString(section, key, fallback, file), value.substr(0, 1023));
}

TEST(Module1, WriteReportsOnlyFailures) {
  TempDir dir;
  RecordingHost host;
  std::string section = "custom", key = "Helo", value = "Tiger";
  std::string good = dir.programPath("custom.ini");
  EXPECT_NE(WriteIniString(section, key, value, good), 0);
  EXPECT_TRUE(host.messages().empty());
  std::string fallback;
  EXPECT_EQ(ReadIniString(section, key, fallback, good), "Tiger");

  std::string bad = dir.programPath("missing/custom.ini");
  EXPECT_EQ(WriteIniString(section, key, value, bad), 0);
  ASSERT_EQ(host.messages().size(), 1u);
  EXPECT_EQ(host.messages()[0].prompt, "Error  0 Writing to " + bad);
  EXPECT_EQ(host.messages()[0].style, 0);
  EXPECT_EQ(host.messages()[0].title, "Kestrun");
  EXPECT_EQ(host.ends(), 0);
}

}  // namespace
