// Profile writes against the file system: refusals, links, modes, failures half-way and
// crashes half-way. Every failure must leave the old file byte for byte and no stray file.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "TestSupport.h"
#include "platform/Platform.h"
#include "platform/posix/profile/ProfileHooks.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

// Runs body in a forked child; its exit code, or 128 + the signal that ended it.
int inChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int write(const fs::path& file, const char* section, const char* key, const char* value) {
  return platform::writePrivateProfileString(section, key, value, file.c_str());
}

std::size_t entries(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
}

const std::string kOriginal = "; mine\n[custom]\nHelo=Apache\n";

TEST(ProfileFile, ReadOnlyFilesFolderAndEmptyPathsAreRefusedEvenForRoot) {
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  writeFile(path, kOriginal);
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(write(path, "custom", "Helo", "Tiger"), 0);
  EXPECT_EQ(write(path, "custom", "Helo", "Apache"), 0);  // even when nothing would change
  EXPECT_EQ(write(path, "new", "k", "v"), 0);
  EXPECT_EQ(write(dir.path(), "s", "k", "v"), 0);
  EXPECT_EQ(write("", "s", "k", "v"), 0);
  char buffer[16];
  EXPECT_EQ(platform::getPrivateProfileString("s", "k", "dflt", buffer, 16, ""), 4u);
  EXPECT_EQ(readFile(path), kOriginal);
  EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(ProfileFile, WritesThroughLinksAndKeepsTheMode) {
  TempDir dir;
  const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::create_directory(dir.path() / "real");
  writeFile(dir.path() / "real/t.ini", kOriginal);
  fs::permissions(dir.path() / "real/t.ini", mode);
  fs::create_symlink("real/t.ini", dir.path() / "link.ini");
  fs::create_symlink(dir.path() / "link.ini", dir.path() / "chain.ini");
  EXPECT_NE(write(dir.path() / "chain.ini", "custom", "Helo", "Havoc"), 0);
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.ini"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "chain.ini"));
  EXPECT_EQ(readFile(dir.path() / "real/t.ini"), "; mine\n[custom]\nHelo=Havoc\n");
  EXPECT_EQ(fs::status(dir.path() / "real/t.ini").permissions(), mode);
  EXPECT_EQ(entries(dir.path() / "real"), 1u);
  EXPECT_EQ(entries(dir.path()), 3u);
}

TEST(ProfileFile, ShortWriteOrCrashBeforeTheReplaceLeavesTheOldFile) {
  for (const bool linked : {false, true}) {  // a hard-linked profile is written in place
    SCOPED_TRACE(linked ? "in place" : "replaced");
    TempDir dir;
    const auto path = dir.path() / "p.ini";
    const std::string original = kOriginal + "Pad=" + std::string(3000, 'p') + "\n";
    writeFile(path, original);
    if (linked) fs::create_hard_link(path, dir.path() / "link.ini");
    EXPECT_EQ(inChild([&] {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{4096, 4096};
                ::setrlimit(RLIMIT_FSIZE, &limit);  // the file cannot pass 4 KiB: "disk full"
                return 10 + write(path, "custom", "Big", std::string(2000, 'b').c_str());
              }),
              10);
    EXPECT_EQ(readFile(path), original);
    EXPECT_EQ(entries(dir.path()), linked ? 2u : 1u);
    EXPECT_EQ(inChild([&] {
                platform::posix::setBeforeProfileReplace([] { ::raise(SIGKILL); });
                write(path, "custom", "k2", "2");
                return 0;
              }),
              128 + SIGKILL);
    EXPECT_EQ(readFile(path), original);
  }
}

TEST(ProfileFile, KilledBetweenWritesLeavesTheKeysWrittenSoFar) {
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  int done[2];
  ASSERT_EQ(::pipe(done), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    platform::posix::setProfileSync(false);
    for (int i = 0;; ++i) {
      write(path, "custom", ("k" + std::to_string(i)).c_str(), std::to_string(i).c_str());
      if (::write(done[1], "x", 1) != 1) ::_exit(1);
    }
  }
  char sink[25];
  for (std::size_t got = 0; got < sizeof sink;)
    got += static_cast<std::size_t>(::read(done[0], sink, sizeof sink - got));
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  ::close(done[0]);
  ::close(done[1]);

  const std::string now = readFile(path);
  std::string expected = "[custom]\r\n";
  for (int i = 0; expected.size() < now.size(); ++i)
    expected += "k" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
  EXPECT_EQ(now, expected);
  EXPECT_GE(now.size(), std::string("[custom]\r\n").size() + 25 * 5);
}

// Only the temporary files of writers that no longer run are removed: regular files named
// exactly as they are made. Everything else beside the profile is the player's.
TEST(ProfileFile, LeftoversOfGoneWritersAreRemovedAndNothingElse) {
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string g = std::to_string(gone), live = std::to_string(::getppid());
  const struct {
    std::string name;
    bool removed;
    bool link = false;  // a symbolic link of that name, else a regular file
  } cases[] = {
      {".kestrun-" + g + "-0badf00d", true},
      {".kestrun-" + live + "-0badf00d", false},  // its writer runs
      {".kestrun-" + g + "-0badf00d.bak", false},
      {".kestrun-" + g + "-0BADF00D", false},
      {".kestrun-" + g + "-0badf0", false},
      {".kestrun-0" + g + "-0badf00d", false},
      {".kestrun-" + g + "-notes.txt", false},
      {".kestrun-" + g + ".ini.bak", false},
      {".kestrun-" + g, false},
      {".p.ini.kestrun-" + g + "-0-1", false},
      {"kestrun-" + g + "-0badf00d", false},
      {".kestrun-" + g + "-1badf00d", false, true},
  };
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  writeFile(path, "[s]\nk=1\n");
  for (const auto& c : cases) {
    const fs::path at = dir.path() / c.name;
    if (c.link)
      fs::create_symlink("p.ini", at);
    else
      writeFile(at, "half");
  }
  ASSERT_NE(write(path, "s", "k", "2"), 0);
  for (const auto& c : cases)
    EXPECT_EQ(fs::exists(fs::symlink_status(dir.path() / c.name)), !c.removed) << c.name;
  EXPECT_EQ(readFile(path), "[s]\nk=2\n");
}

// ---- Concurrent writers, metadata, access, special files, names ----------------------------

constexpr uid_t kNobody = 65534;

TEST(ProfileFile, ConcurrentWritersLoseNothing) {
  for (const bool linked : {false, true}) {  // a hard-linked profile is written in place
    SCOPED_TRACE(linked ? "hard-linked profile" : "profile");
    TempDir dir;
    const auto path = dir.path() / "p.ini";
    std::string expected = "[custom]\r\nHelo=Apache\r\n";
    writeFile(path, expected);
    if (linked) fs::create_hard_link(path, dir.path() / "other.ini");
    pid_t writers[2];
    for (const char prefix : {'a', 'b'}) {
      writers[prefix - 'a'] = ::fork();
      if (writers[prefix - 'a'] != 0) continue;
      platform::posix::setProfileSync(false);
      for (int i = 0; i < 200; ++i) {
        const std::string key = prefix + std::to_string(i);
        if (write(path, "custom", key.c_str(), key.c_str()) == 0) ::_exit(1);
      }
      ::_exit(0);
    }
    for (const pid_t pid : writers) {
      int status = -1;
      ::waitpid(pid, &status, 0);
      EXPECT_EQ(status, 0);
    }
    const std::string now = readFile(path);
    int missing = 0;
    for (const char prefix : {'a', 'b'})
      for (int i = 0; i < 200; ++i) {
        const std::string key = prefix + std::to_string(i), line = key + "=" + key + "\r\n";
        missing += now.find("\n" + line) == std::string::npos;
        expected += line;
      }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(now.size(), expected.size());  // and nothing twice
    EXPECT_EQ(entries(dir.path()), linked ? 2u : 1u);
    EXPECT_EQ(readFile(dir.path() / (linked ? "other.ini" : "p.ini")), now);
  }
}

std::string attribute(const fs::path& path, const char* name) {
  char value[256];
  const ssize_t n = ::lgetxattr(path.c_str(), name, value, sizeof value);
  return n < 0 ? "<none>" : std::string(value, static_cast<std::size_t>(n));
}

void setAttribute(const fs::path& path, const char* name, const std::string& value) {
  ASSERT_EQ(::setxattr(path.c_str(), name, value.data(), value.size(), 0), 0) << name;
}

// A POSIX ACL as Linux stores it in system.posix_acl_access / _default: a version, then tag,
// permission (2 bytes each) and id (4) of owner, the named user (perm), group, mask and others.
std::string aclFor(uid_t user, std::uint32_t perm) {
  std::string acl;
  const auto put = [&acl](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) acl.push_back(static_cast<char>(v >> (8 * i)));
  };
  put(2, 4);
  const std::uint32_t entries[][3] = {
      {0x01, 6, ~0u}, {0x02, perm, user}, {0x04, 4, ~0u}, {0x10, 6, ~0u}, {0x20, 4, ~0u}};
  for (const auto& e : entries) put(e[0], 2), put(e[1], 2), put(e[2], 4);
  return acl;
}

// What must survive a write, as text: owner, group, mode, link count and the attributes.
std::string metadataOf(const fs::path& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  std::ostringstream out;
  out << st.st_uid << ":" << st.st_gid << " " << std::oct << st.st_mode << std::dec << " links "
      << st.st_nlink;
  for (const char* name : {"user.DOSATTRIB", "user.x", "system.posix_acl_access"})
    out << " " << name << "=" << testing::PrintToString(attribute(path, name));
  return out.str();
}

ino_t inodeOf(const fs::path& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_ino;
}

using Prepare = std::function<void(const fs::path& file)>;

// A profile owned by owner:group with mode, in a folder with folderMode.
Prepare owned(uid_t owner, gid_t group, mode_t mode, mode_t folderMode) {
  return [=](const fs::path& f) {
    ASSERT_EQ(::chown(f.c_str(), owner, group), 0);
    ASSERT_EQ(::chmod(f.c_str(), mode), 0);
    ASSERT_EQ(::chmod(f.parent_path().c_str(), folderMode), 0);
  };
}

// A profile owned by root in a setgid folder of another group, which new files would get.
Prepare inSetgidFolder(gid_t group) {
  return [=](const fs::path& f) {
    owned(0, 0, 0640, 02777)(f);
    ASSERT_EQ(::chown(f.parent_path().c_str(), 0, group), 0);
    ASSERT_EQ(::chmod(f.parent_path().c_str(), 02777), 0);
  };
}

// A profile with the extended attribute name, or a folder with it.
Prepare attributed(const char* name, const std::string& value, bool onFolder = false) {
  return [=](const fs::path& f) { setAttribute(onFolder ? f.parent_path() : f, name, value); };
}

// A write keeps what makes the file the same file to everyone: owner, mode, attributes, ACL and
// links; and, as an ordinary user, it is allowed exactly when the system would allow it.
TEST(ProfileFile, WritesKeepMetadataAndAreJudgedAsTheSystemJudgesTheUser) {
  constexpr gid_t kGroup = 4242;
  const std::string aclNobodyRw = aclFor(kNobody, 6);
  const Prepare linked = [](const fs::path& f) { fs::create_hard_link(f, f.parent_path() / "l"); };
  const Prepare nobodyMayWrite = [&](const fs::path& f) {
    owned(0, 0, 0644, 0755)(f);
    setAttribute(f, "system.posix_acl_access", aclNobodyRw);
  };
  const struct {
    const char* what;
    Prepare prepare;
    uid_t user;    // who writes: root or nobody
    gid_t group;   // the user's extra group, or none (0)
    int written;   // the write's status
    bool inPlace;  // the same inode afterwards
  } cases[] = {
      {"DOS attributes", attributed("user.DOSATTRIB", "0x22"), 0, 0, 1, false},
      {"a user attribute", attributed("user.x", std::string("a\0b", 3)), 0, 0, 1, false},
      {"ACL entry for another user", attributed("system.posix_acl_access", aclNobodyRw), 0, 0, 1,
       false},
      {"the folder's default ACL is not given to the new file",
       attributed("system.posix_acl_default", aclFor(kNobody, 7), true), 0, 0, 1, false},
      {"another owner and group, odd mode", owned(kNobody, kNobody, 0640, 0755), 0, 0, 1, false},
      {"the writer's own file in a setgid folder", inSetgidFolder(kGroup), 0, 0, 1, false},
      {"second hard link", linked, 0, 0, 1, true},
      {"root's 0644 file, world-writable folder", owned(0, 0, 0644, 0777), kNobody, 0, 0, true},
      {"root's 0644 file, closed folder", owned(0, 0, 0644, 0755), kNobody, 0, 0, true},
      {"writable through the group", owned(0, kGroup, 0664, 0777), kNobody, kGroup, 1, true},
      {"not in the writing group", owned(0, kGroup, 0664, 0777), kNobody, 0, 0, true},
      {"writable file in a closed folder", owned(0, 0, 0666, 0755), kNobody, 0, 1, true},
      {"writable file in another's sticky folder", owned(0, 0, 0666, 01777), kNobody, 0, 1, true},
      {"writable through an ACL", nobodyMayWrite, kNobody, 0, 1, true},
      {"the user's own file", owned(kNobody, kNobody, 0644, 0777), kNobody, 0, 1, false},
      {"the user's own read-only file", owned(kNobody, kNobody, 0444, 0777), kNobody, 0, 0, true},
  };
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as an ordinary user";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    fs::create_directory(dir.path() / "data");
    const auto path = dir.path() / "data/p.ini";
    writeFile(path, kOriginal);
    c.prepare(path);
    const std::string before = metadataOf(path);
    const ino_t inode = inodeOf(path);
    const std::size_t names = entries(path.parent_path());
    EXPECT_EQ(inChild([&] {
                if (c.user != 0 && (::setgroups(c.group ? 1 : 0, &c.group) != 0 ||
                                    ::setresgid(c.user, c.user, c.user) != 0 ||
                                    ::setresuid(c.user, c.user, c.user) != 0))
                  return 78;
                return write(path, "custom", "Helo", "Tiger");
              }),
              c.written);
    EXPECT_EQ(readFile(path), c.written ? "; mine\n[custom]\nHelo=Tiger\n" : kOriginal);
    EXPECT_EQ(metadataOf(path), before);
    EXPECT_EQ(inodeOf(path) == inode, c.inPlace);
    EXPECT_EQ(entries(path.parent_path()), names);
  }
}

void bindSocket(const fs::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.string().size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, path.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

TEST(ProfileFile, OnlyRegularFilesUpTo64MiBAreProfiles) {
  const std::string head = "[custom]\r\nHelo=Apache\r\n";
  const auto sized = [&head](std::uintmax_t size) {
    return [&head, size](const fs::path& p) {
      writeFile(p, head);
      fs::resize_file(p, size);  // sparse
    };
  };
  const struct {
    const char* what;
    Prepare make;
    bool profile;  // read as a profile
    const char* value = "Tiger";
    bool written = profile;  // otherwise left alone
    bool grows = false;      // by a byte once the read has taken its size
  } cases[] = {
      {"FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0666), 0); }, false},
      {"/dev/zero through a link", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
       false},
      {"folder", [](const fs::path& p) { fs::create_directory(p); }, false},
      {"socket", bindSocket, false},
      {"sparse 4 GiB", sized(std::uintmax_t{4} << 30), false},
      {"one byte over 64 MiB", sized((std::uintmax_t{64} << 20) + 1), false},
      {"exactly 64 MiB", sized(std::uintmax_t{64} << 20), true},
      {"exactly 64 MiB, past it while read", sized(std::uintmax_t{64} << 20), false, "Tiger", false,
       true},
      {"exactly 64 MiB, a write that would pass it", sized(std::uintmax_t{64} << 20), true,
       "Tiger64", false},
      {"small file", sized(head.size()), true},
  };
  platform::posix::setProfileSync(false);  // the 64 MiB file is written whole
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const auto path = dir.path() / "custom.ini";
    c.make(path);
    if (c.grows)
      platform::posix::setAfterProfileOpen([&path] { std::ofstream(path, std::ios::app) << 'x'; });
    ::alarm(20);  // a read or write that blocks ends the test run
    char buffer[64];
    const auto n =
        platform::getPrivateProfileString("custom", "Helo", "none", buffer, 64, path.c_str());
    platform::posix::setAfterProfileOpen({});
    EXPECT_EQ(std::string(buffer, n), c.profile ? "Apache" : "none");
    struct stat before {};
    ASSERT_EQ(::lstat(path.c_str(), &before), 0);
    EXPECT_EQ(write(path, "custom", "Helo", c.value), c.written ? 1 : 0);
    ::alarm(0);
    struct stat after {};
    ASSERT_EQ(::lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    if (c.written) {
      std::string start(22, '\0');
      std::ifstream(path, std::ios::binary).read(start.data(), 22);
      EXPECT_EQ(start, "[custom]\r\nHelo=Tiger\r\n");
    } else {
      EXPECT_EQ(std::tie(after.st_ino, after.st_size, after.st_mtime),
                std::tie(before.st_ino, before.st_size, before.st_mtime));
    }
    EXPECT_EQ(entries(dir.path()), 1u);
  }
  platform::posix::setProfileSync(true);
}

TEST(ProfileFile, NamesUpToTheFileSystemsLimitAreWritten) {
  TempDir dir;
  const auto path = dir.path() / std::string(255, 'n');
  ASSERT_NE(write(path, "custom", "Helo", "Apache"), 0);  // made
  ASSERT_NE(write(path, "custom", "Helo", "Tiger"), 0);   // replaced
  EXPECT_EQ(readFile(path), "[custom]\r\nHelo=Tiger\r\n");
  EXPECT_EQ(entries(dir.path()), 1u);
}

}  // namespace
