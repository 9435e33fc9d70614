// The entry probe: masks, stored names, links, hidden entries and dot-names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstring>

#include "platform/Platform.h"
#include "posix/WinePrefix.h"

namespace {

using platform::kAttrDirectory;
using platform::kAttrNormal;
using platform::probeEntry;
namespace fs = std::filesystem;

class Probe : public ::testing::Test {
 protected:
  Probe() {
    for (const char* exe : {"Gunship!/gunship.exe", "Gunship!/.secret.exe", "Shouting/GUNSHIP.EXE",
                            ".wine-ish/gunship.exe"})
      prefix.file(exe, "MZ");
    prefix.folder("Gunship!/data");
    fs::create_symlink("gunship.exe", game / "link.exe");
    fs::create_directory_symlink("data", game / "datalink");
    fs::create_symlink("gone.exe", game / "broken.exe");
    ::mkfifo((game / "pipe.exe").c_str(), 0644);
  }
  testing_support::WinePrefix prefix;
  fs::path game = prefix.driveC() / "Gunship!";
};

TEST_F(Probe, MatchesByKindAndMaskAndYieldsTheStoredName) {
  const struct {
    const char *path, *asFile, *asFolder;  // masks kAttrNormal and kAttrDirectory
  } cases[] = {
      {"c:\\Gunship!\\gunship.exe", "gunship.exe", "gunship.exe"},
      {"C:/gunship!/GunShip.Exe", "gunship.exe", "gunship.exe"},
      {"c:\\Gunship!", "", "Gunship!"},
      {"c:\\Shouting\\gunship.exe", "GUNSHIP.EXE", "GUNSHIP.EXE"},
      {"c:\\shouting", "", "Shouting"},
      {"c:\\Gunship!\\link.exe", "link.exe", "link.exe"},  // a link has its target's kind
      {"c:\\Gunship!\\datalink", "", "datalink"},
      {"c:\\Gunship!\\broken.exe", "", ""},
      {"c:\\Gunship!\\pipe.exe", "", ""},  // not an ordinary file
      {"c:\\Gunship!\\missing.exe", "", ""},
      {"c:\\Missing\\gunship.exe", "", ""},
      {"c:\\Gunship!\\gunship.exe\\", "", ""},  // a trailing separator names no entry
      {"c:\\Gunship!\\", "", ""},
      {"c:\\", "", ""},
      {"c:", "", ""},
      {"", "", ""},
      {"c:\\Gunship!\\.secret.exe", "", ""},  // dot-names are hidden
      {"c:\\Gunship!\\data\\..", "", ""},
      {"c:\\.wine-ish\\gunship.exe", "gunship.exe", "gunship.exe"},  // only the entry counts
      {"c:\\Gunship!\\gunship.*", "", ""},                           // wildcards are never expanded
      {"c:\\Gunship!\\gunship.ex?", "", ""},
      {"c:\\Gun*\\gunship.exe", "", ""},
      {"c:\\Gunship!\\gunship<exe", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(probeEntry(c.path, kAttrNormal), c.asFile);
    EXPECT_EQ(probeEntry(c.path, kAttrDirectory), c.asFolder);
  }
  EXPECT_EQ(probeEntry((game / "gunship.exe").string(), kAttrNormal), "gunship.exe");  // host path
}

TEST_F(Probe, HiddenAndSystemAttributesHideTheEntry) {
  const std::pair<const char*, bool> cases[] = {{"0x2", true},   {"0x22", true}, {"0x4", true},
                                                {"0x26", true},  {"0x1", false}, {"0x20", false},
                                                {"junk", false}, {"0x", false}};
  for (const auto& [attributes, hidden] : cases) {
    SCOPED_TRACE(attributes);
    for (const fs::path& entry : {game / "gunship.exe", game})
      if (::setxattr(entry.c_str(), "user.DOSATTRIB", attributes, std::strlen(attributes), 0) != 0)
        GTEST_SKIP() << "the temporary file system refuses user attributes";
    EXPECT_EQ(probeEntry("c:\\Gunship!\\gunship.exe", kAttrNormal), hidden ? "" : "gunship.exe");
    EXPECT_EQ(probeEntry("c:\\Gunship!", kAttrDirectory), hidden ? "" : "Gunship!");
    // Through a link the target's attributes count, as Wine reads them.
    EXPECT_EQ(probeEntry("c:\\Gunship!\\link.exe", kAttrNormal), hidden ? "" : "link.exe");
  }
  // Samba stores the text with its terminating NUL.
  ASSERT_EQ(::setxattr((game / "gunship.exe").c_str(), "user.DOSATTRIB", "0x2", 4, 0), 0);
  EXPECT_EQ(probeEntry("c:\\Gunship!\\gunship.exe", kAttrNormal), "");
}

}  // namespace
