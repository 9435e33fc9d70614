#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>

#include "platform/Platform.h"
#include "posix/WinePrefix.h"

namespace {

using namespace testing_support;
using platform::kAttrDirectory;
using platform::kAttrNormal;
using platform::probeEntry;

class ProbeTest : public ::testing::Test {
 protected:
  ProbeTest() {
    prefix.file("Gunship!/gunship.exe", "MZ");
    prefix.file("Gunship!/.secret.exe", "MZ");
    prefix.file("Shouting/GUNSHIP.EXE", "MZ");
    prefix.file(".wine-ish/gunship.exe", "MZ");
    prefix.folder("Gunship!/data");
    fs::create_symlink("gunship.exe", prefix.driveC() / "Gunship!/link.exe");
    fs::create_directory_symlink("data", prefix.driveC() / "Gunship!/datalink");
    fs::create_symlink("gone.exe", prefix.driveC() / "Gunship!/broken.exe");
    ::mkfifo((prefix.driveC() / "Gunship!/pipe.exe").c_str(), 0644);
  }
  WinePrefix prefix;
};

TEST_F(ProbeTest, MatchesByKindAndMaskAndYieldsTheStoredName) {
  struct Case {
    const char* path;
    const char* asFile;    // mask kAttrNormal
    const char* asFolder;  // mask kAttrDirectory
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(probeEntry(c.path, kAttrNormal), c.asFile);
    EXPECT_EQ(probeEntry(c.path, kAttrDirectory), c.asFolder);
  }
  // A host path is looked up as it is.
  EXPECT_EQ(probeEntry((prefix.driveC() / "Gunship!/gunship.exe").string(), kAttrNormal),
            "gunship.exe");
}

TEST_F(ProbeTest, HiddenAndSystemAttributesHideTheEntry) {
  struct Case {
    const char* attributes;
    bool hidden;
  };
  const Case cases[] = {{"0x2", true},  {"0x22", true},  {"0x4", true},   {"0x26", true},
                        {"0x1", false}, {"0x20", false}, {"junk", false}, {"0x", false}};
  const fs::path exe = prefix.driveC() / "Gunship!/gunship.exe";
  const fs::path folder = prefix.driveC() / "Gunship!";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attributes);
    for (const fs::path& entry : {exe, folder}) {
      if (::setxattr(entry.c_str(), "user.DOSATTRIB", c.attributes, std::strlen(c.attributes), 0) !=
          0)
        GTEST_SKIP() << "the temporary file system refuses user attributes: "
                     << std::strerror(errno);
    }
    EXPECT_EQ(probeEntry("c:\\Gunship!\\gunship.exe", kAttrNormal), c.hidden ? "" : "gunship.exe");
    EXPECT_EQ(probeEntry("c:\\Gunship!", kAttrDirectory), c.hidden ? "" : "Gunship!");
    // Through a link the target's attributes count, as Wine reads them.
    EXPECT_EQ(probeEntry("c:\\Gunship!\\link.exe", kAttrNormal), c.hidden ? "" : "link.exe");
  }
  // Samba stores the text with its terminating NUL.
  ASSERT_EQ(::setxattr(exe.c_str(), "user.DOSATTRIB", "0x2", 4, 0), 0);
  EXPECT_EQ(probeEntry("c:\\Gunship!\\gunship.exe", kAttrNormal), "");
}

}  // namespace
