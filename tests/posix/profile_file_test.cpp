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
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/Platform.h"
#include "platform/posix/ProfileHooks.h"

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

TEST(ProfileFile, LeftoversOfKilledWritersAreRemovedAndALiveWritersKept) {
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  writeFile(path, "[s]\nk=1\n");
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const auto leftover = [&dir](const std::string& name) {
    writeFile(dir.path() / name, "half");
    return dir.path() / name;
  };
  const std::string gonePid = std::to_string(gone);
  const fs::path dead = leftover(".kestrun-" + gonePid + "-0badf00d");
  const fs::path older = leftover(".p.ini.kestrun-" + gonePid + "-0-1");  // earlier versions' name
  const fs::path busy = leftover(".kestrun-" + std::to_string(::getppid()) + "-0badf00d");
  const fs::path other = leftover(".q.ini.kestrun-" + gonePid + "-0-1");  // not ours to judge
  const fs::path unrelated = leftover("kestrun-" + gonePid);

  ASSERT_NE(write(path, "s", "k", "2"), 0);
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_FALSE(fs::exists(older));
  EXPECT_TRUE(fs::exists(busy));
  EXPECT_TRUE(fs::exists(other));
  EXPECT_TRUE(fs::exists(unrelated));
  EXPECT_EQ(readFile(path), "[s]\nk=2\n");
}

// ---- Concurrent writers, metadata, access, special files, names ----------------------------

constexpr uid_t kNobody = 65534;

std::string attribute(const fs::path& path, const char* name) {
  char value[256];
  const ssize_t n = ::lgetxattr(path.c_str(), name, value, sizeof value);
  return n < 0 ? "<none>" : std::string(value, static_cast<std::size_t>(n));
}

void setAttribute(const fs::path& path, const char* name, const std::string& value) {
  ASSERT_EQ(::setxattr(path.c_str(), name, value.data(), value.size(), 0), 0) << name;
}

// A POSIX ACL as Linux stores it in system.posix_acl_access / _default: owner, the named user
// (mode perm), group, mask and others.
std::string aclFor(uid_t user, unsigned perm) {
  std::string acl;
  const auto put = [&acl](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) acl.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  const auto entry = [&](std::uint16_t tag, std::uint16_t entryPerm, std::uint32_t id) {
    put(tag, 2), put(entryPerm, 2), put(id, 4);
  };
  put(2, 4);  // version
  entry(0x01, 6, ~0u);
  entry(0x02, static_cast<std::uint16_t>(perm), user);
  entry(0x04, 4, ~0u);
  entry(0x10, 6, ~0u);
  entry(0x20, 4, ~0u);
  return acl;
}

// What must survive a write: owner, group, mode, link count and the attributes.
struct Metadata {
  uid_t uid;
  gid_t gid;
  mode_t mode;
  nlink_t links;
  std::string dos, user, acl;
  bool operator==(const Metadata&) const = default;
};

void PrintTo(const Metadata& m, std::ostream* out) {
  *out << m.uid << ":" << m.gid << " " << std::oct << m.mode << std::dec << " links " << m.links
       << " dos " << m.dos << " user.x " << m.user << " acl " << m.acl.size() << " bytes";
}

Metadata metadataOf(const fs::path& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return {st.st_uid,
          st.st_gid,
          st.st_mode,
          st.st_nlink,
          attribute(path, "user.DOSATTRIB"),
          attribute(path, "user.x"),
          attribute(path, "system.posix_acl_access")};
}

ino_t inodeOf(const fs::path& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_ino;
}

TEST(ProfileFile, ConcurrentWritersLoseNothing) {
  for (const bool linked : {false, true}) {  // a hard-linked profile is written in place
    SCOPED_TRACE(linked ? "hard-linked profile" : "profile");
    TempDir dir;
    const auto path = dir.path() / "p.ini";
    writeFile(path, "[custom]\r\nHelo=Apache\r\n");
    if (linked) fs::create_hard_link(path, dir.path() / "other.ini");
    const auto writer = [&](char prefix) {
      return [&, prefix] {
        platform::posix::setProfileSync(false);
        for (int i = 0; i < 200; ++i) {
          const std::string key = prefix + std::to_string(i);
          if (write(path, "custom", key.c_str(), key.c_str()) == 0) return 1;
        }
        return 0;
      };
    };
    int statuses[2];
    pid_t pids[2];
    for (int w = 0; w < 2; ++w) {
      pids[w] = ::fork();
      if (pids[w] == 0) ::_exit(writer(w == 0 ? 'a' : 'b')());
    }
    for (int w = 0; w < 2; ++w) ::waitpid(pids[w], &statuses[w], 0);
    EXPECT_EQ(statuses[0], 0);
    EXPECT_EQ(statuses[1], 0);
    const std::string now = readFile(path);
    int missing = 0;
    std::size_t size = std::string("[custom]\r\nHelo=Apache\r\n").size();
    for (const char* prefix : {"a", "b"})
      for (int i = 0; i < 200; ++i) {
        const std::string line =
            "\r\n" + (prefix + std::to_string(i)) + "=" + prefix + std::to_string(i) + "\r\n";
        missing += now.find(line) == std::string::npos;
        size += line.size() - 2;
      }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(now.size(), size);  // and nothing twice
    EXPECT_EQ(entries(dir.path()), linked ? 2u : 1u);
    if (linked) {
      EXPECT_EQ(readFile(dir.path() / "other.ini"), now);
    }
  }
}

TEST(ProfileFile, WritesKeepOwnerModeAttributesAndLinks) {
  const struct {
    const char* what;
    std::function<void(const fs::path& folder, const fs::path& file)> prepare;
    bool sameInode;  // written in place
  } cases[] = {
      {"DOS attributes and a user attribute",
       [](const fs::path&, const fs::path& f) {
         setAttribute(f, "user.DOSATTRIB", "0x22");
         setAttribute(f, "user.x", std::string("a\0b", 3));
       },
       false},
      {"ACL entry for another user",
       [](const fs::path&, const fs::path& f) {
         setAttribute(f, "system.posix_acl_access", aclFor(kNobody, 6));
       },
       false},
      {"the folder's default ACL is not given to the new file",
       [](const fs::path& d, const fs::path&) {
         setAttribute(d, "system.posix_acl_default", aclFor(kNobody, 7));
       },
       false},
      {"another owner and group, odd mode",
       [](const fs::path&, const fs::path& f) {
         ASSERT_EQ(::chown(f.c_str(), kNobody, kNobody), 0);
         ASSERT_EQ(::chmod(f.c_str(), 0640), 0);
       },
       false},
      {"second hard link",
       [](const fs::path& d, const fs::path& f) { fs::create_hard_link(f, d / "link.ini"); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const auto path = dir.path() / "p.ini";
    writeFile(path, kOriginal);
    c.prepare(dir.path(), path);
    const Metadata before = metadataOf(path);
    const ino_t inode = inodeOf(path);
    const std::size_t names = entries(dir.path());
    ASSERT_NE(write(path, "custom", "Helo", "Tiger"), 0);
    EXPECT_EQ(readFile(path), "; mine\n[custom]\nHelo=Tiger\n");
    EXPECT_EQ(metadataOf(path), before);
    EXPECT_EQ(inodeOf(path) == inode, c.sameInode);
    EXPECT_EQ(entries(dir.path()), names);
    if (c.sameInode) {
      EXPECT_EQ(readFile(dir.path() / "link.ini"), readFile(path));
    }
  }
}

// Runs body in a child as the ordinary user nobody, with the given extra groups. 77 when this
// process may not switch users.
int asNobody(const std::vector<gid_t>& groups, const std::function<int()>& body) {
  if (::geteuid() != 0) return 77;
  return inChild([&] {
    if (::setgroups(groups.size(), groups.data()) != 0 ||
        ::setresgid(kNobody, kNobody, kNobody) != 0 || ::setresuid(kNobody, kNobody, kNobody) != 0)
      return 78;
    return body();
  });
}

TEST(ProfileFile, AccessIsJudgedAsTheSystemDoesForAnOrdinaryUser) {
  constexpr gid_t kGroup = 4242;
  const struct {
    const char* what;
    mode_t folderMode;
    uid_t owner;
    gid_t group;
    mode_t fileMode;
    std::vector<gid_t> groups;
    bool aclForNobody;
    int written;     // the write's status
    bool sameInode;  // when written: in place
  } cases[] = {
      {"root's 0644 file, world-writable folder", 0777, 0, 0, 0644, {}, false, 0, true},
      {"root's 0644 file, closed folder", 0755, 0, 0, 0644, {}, false, 0, true},
      {"writable through the group", 0777, 0, kGroup, 0664, {kGroup}, false, 1, true},
      {"not in the writing group", 0777, 0, kGroup, 0664, {}, false, 0, true},
      {"writable file in a closed folder", 0755, 0, 0, 0666, {}, false, 1, true},
      {"writable through an ACL", 0755, 0, 0, 0644, {}, true, 1, true},
      {"the user's own file", 0777, kNobody, kNobody, 0644, {}, false, 1, false},
      {"the user's own read-only file", 0777, kNobody, kNobody, 0444, {}, false, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const auto folder = dir.path() / "data";
    const auto path = folder / "p.ini";
    fs::create_directory(folder);
    writeFile(path, kOriginal);
    ASSERT_EQ(::chown(path.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(::chmod(path.c_str(), c.fileMode), 0);
    if (c.aclForNobody) setAttribute(path, "system.posix_acl_access", aclFor(kNobody, 6));
    ASSERT_EQ(::chmod(folder.c_str(), c.folderMode), 0);
    const Metadata before = metadataOf(path);
    const ino_t inode = inodeOf(path);
    const int status =
        asNobody(c.groups, [&] { return 10 + write(path, "custom", "Helo", "Tiger"); });
    if (status == 77) GTEST_SKIP() << "needs root to act as an ordinary user";
    EXPECT_EQ(status, 10 + c.written);
    EXPECT_EQ(readFile(path), c.written ? "; mine\n[custom]\nHelo=Tiger\n" : kOriginal);
    EXPECT_EQ(metadataOf(path), before);
    EXPECT_EQ(inodeOf(path) == inode, c.sameInode);
    EXPECT_EQ(entries(folder), 1u);
  }
}

std::uint32_t readHelo(const fs::path& file, char (&buffer)[64]) {
  return platform::getPrivateProfileString("custom", "Helo", "none", buffer, 64, file.c_str());
}

TEST(ProfileFile, OnlyRegularFilesUpTo64MiBAreProfiles) {
  const std::string head = "[custom]\r\nHelo=Apache\r\n";
  const struct {
    const char* what;
    std::function<void(const fs::path&)> make;
    const char* read;  // what a read of [custom] Helo gives
    int status;        // of a write of Tiger
  } cases[] = {
      {"FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0666), 0); }, "none", 0},
      {"/dev/zero through a link", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
       "none", 0},
      {"folder", [](const fs::path& p) { fs::create_directory(p); }, "none", 0},
      {"socket",
       [](const fs::path& p) {
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         ASSERT_LT(p.string().size(), sizeof address.sun_path);
         std::strcpy(address.sun_path, p.c_str());
         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
         ::close(fd);
       },
       "none", 0},
      {"sparse 4 GiB",
       [&](const fs::path& p) {
         writeFile(p, head);
         fs::resize_file(p, std::uintmax_t{4} << 30);
       },
       "none", 0},
      {"one byte over 64 MiB",
       [&](const fs::path& p) {
         writeFile(p, head);
         fs::resize_file(p, (std::uintmax_t{64} << 20) + 1);
       },
       "none", 0},
      {"exactly 64 MiB",
       [&](const fs::path& p) {
         writeFile(p, head);
         fs::resize_file(p, std::uintmax_t{64} << 20);
       },
       "Apache", 1},
      {"small file", [&](const fs::path& p) { writeFile(p, head); }, "Apache", 1},
  };
  platform::posix::setProfileSync(false);  // the 64 MiB file is written whole
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const auto path = dir.path() / "custom.ini";
    c.make(path);
    struct stat before {};
    ASSERT_EQ(::lstat(path.c_str(), &before), 0);
    ::alarm(20);  // a read or write that blocks ends the test run
    char buffer[64];
    EXPECT_EQ(readHelo(path, buffer), std::strlen(c.read));
    EXPECT_STREQ(buffer, c.read);
    EXPECT_EQ(write(path, "custom", "Helo", "Tiger"), c.status);
    ::alarm(0);
    struct stat after {};
    ASSERT_EQ(::lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    if (c.status != 0) {
      char start[32] = {};
      std::ifstream(path, std::ios::binary).read(start, sizeof start - 1);
      EXPECT_EQ(std::string(start).substr(0, 22), "[custom]\r\nHelo=Tiger\r\n");
    } else {
      EXPECT_EQ(after.st_ino, before.st_ino);
      EXPECT_EQ(after.st_size, before.st_size);
      EXPECT_EQ(after.st_mtime, before.st_mtime);
    }
    EXPECT_EQ(entries(dir.path()), 1u);
  }
  platform::posix::setProfileSync(true);
}

TEST(ProfileFile, NamesUpToTheFileSystemsLimitAreWritten) {
  for (const std::size_t length : {1u, 200u, 240u, 255u}) {
    SCOPED_TRACE(length);
    TempDir dir;
    const auto path = dir.path() / std::string(length, 'n');
    ASSERT_NE(write(path, "custom", "Helo", "Apache"), 0);  // made
    ASSERT_NE(write(path, "custom", "Helo", "Tiger"), 0);   // replaced
    EXPECT_EQ(readFile(path), "[custom]\r\nHelo=Tiger\r\n");
    EXPECT_EQ(entries(dir.path()), 1u);
  }
}

}  // namespace
