// Profile writes against the file system: refusals, links, modes, failures half-way and
// crashes half-way. Every failure must leave the old file byte for byte and no stray file.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "TestSupport.h"
#include "platform/Platform.h"
#include "platform/posix/Profile.h"

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

TEST(ProfileFile, ReadOnlyFileIsRefusedEvenForRoot) {
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  writeFile(path, kOriginal);
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(write(path, "custom", "Helo", "Tiger"), 0);
  EXPECT_EQ(write(path, "custom", "Helo", "Apache"), 0);
  EXPECT_EQ(write(path, "new", "k", "v"), 0);
  EXPECT_EQ(readFile(path), kOriginal);
  EXPECT_EQ(entries(dir.path()), 1u);
}

// Writes from a child that runs as an unprivileged user, into a folder of the given mode.
int unprivilegedWrite(const fs::path& folder, fs::perms mode) {
  fs::permissions(folder, mode);
  return inChild([&] {
    if (::unshare(CLONE_NEWUSER) != 0) return 77;
    return 10 + write(folder / "p.ini", "custom", "Helo", "Tiger");
  });
}

TEST(ProfileFile, ReadOnlyFolderFailsCleanly) {
  TempDir dir;
  const auto folder = dir.path() / "data";
  fs::create_directory(folder);
  writeFile(folder / "p.ini", kOriginal);
  fs::permissions(folder / "p.ini", fs::perms::all & ~fs::perms::owner_exec &
                                        ~fs::perms::group_exec & ~fs::perms::others_exec);
  const int refused =
      unprivilegedWrite(folder, fs::perms::all & ~fs::perms::owner_write & ~fs::perms::group_write &
                                    ~fs::perms::others_write);
  if (refused == 77) GTEST_SKIP() << "user namespaces are not available";
  EXPECT_EQ(refused, 10);
  EXPECT_EQ(readFile(folder / "p.ini"), kOriginal);
  EXPECT_EQ(entries(folder), 1u);
  // The same child in a writable folder succeeds, so the refusal above is the folder's.
  EXPECT_EQ(unprivilegedWrite(folder, fs::perms::all), 11);
  EXPECT_EQ(readFile(folder / "p.ini"), "; mine\n[custom]\nHelo=Tiger\n");
}

TEST(ProfileFile, WritesThroughLinksAndKeepsTheMode) {
  TempDir dir;
  fs::create_directory(dir.path() / "real");
  writeFile(dir.path() / "real" / "t.ini", kOriginal);
  fs::permissions(dir.path() / "real" / "t.ini",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("real/t.ini", dir.path() / "link.ini");
  fs::create_symlink(dir.path() / "link.ini", dir.path() / "chain.ini");
  EXPECT_NE(write(dir.path() / "chain.ini", "custom", "Helo", "Havoc"), 0);
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.ini"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "chain.ini"));
  EXPECT_EQ(readFile(dir.path() / "real" / "t.ini"), "; mine\n[custom]\nHelo=Havoc\n");
  EXPECT_EQ(fs::status(dir.path() / "real" / "t.ini").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(entries(dir.path() / "real"), 1u);
  EXPECT_EQ(entries(dir.path()), 3u);
}

TEST(ProfileFile, FolderAndEmptyPathsFail) {
  TempDir dir;
  EXPECT_EQ(write(dir.path(), "s", "k", "v"), 0);
  EXPECT_EQ(platform::writePrivateProfileString("s", "k", "v", ""), 0);
  char buffer[16];
  EXPECT_EQ(platform::getPrivateProfileString("s", "k", "dflt", buffer, 16, ""), 4u);
  EXPECT_EQ(platform::getPrivateProfileString("s", "k", "dflt", buffer, 16, dir.path().c_str()),
            4u);
  EXPECT_EQ(entries(dir.path()), 0u);
}

TEST(ProfileFile, ShortWriteLeavesTheOldFile) {
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  const std::string original = kOriginal + "Pad=" + std::string(3000, 'p') + "\n";
  writeFile(path, original);
  const int result = inChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);  // the new file cannot grow past 4 KiB: "disk full"
    return 10 + write(path, "custom", "Big", std::string(2000, 'b').c_str());
  });
  EXPECT_EQ(result, 10);
  EXPECT_EQ(readFile(path), original);
  EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(ProfileFile, CrashBeforeReplaceKeepsTheOldFile) {
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  const int result = inChild([&] {
    write(path, "custom", "k1", "1");
    platform::posix::setBeforeProfileReplace([] { ::raise(SIGKILL); });
    write(path, "custom", "k2", "2");
    return 0;
  });
  EXPECT_EQ(result, 128 + SIGKILL);
  EXPECT_EQ(readFile(path), "[custom]\r\nk1=1\r\n");
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
      const std::string key = "k" + std::to_string(i);
      write(path, "custom", key.c_str(), std::to_string(i).c_str());
      if (::write(done[1], "x", 1) != 1) ::_exit(1);
    }
  }
  char sink[25];
  std::size_t got = 0;
  while (got < sizeof sink)
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

TEST(ProfileFile, FiftyMebibyteProfile) {
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  std::string big;
  for (int i = 0; big.size() < (50u << 20); ++i)
    big += "[s" + std::to_string(i) + "]\r\nkey=" + std::string(1000, 'v') + "\r\n\r\n";
  big += "[last]\r\nk=1\r\n";
  writeFile(path, big);
  EXPECT_NE(write(path, "LAST", "n", "2"), 0);
  EXPECT_NE(write(path, "s0", "key", "w"), 0);
  char buffer[8];
  EXPECT_EQ(platform::getPrivateProfileString("last", "n", "", buffer, 8, path.c_str()), 1u);
  const std::string after = readFile(path);
  const std::size_t cut = std::string("[s0]\r\nkey=").size();
  EXPECT_EQ(after, big.substr(0, cut) + "w" + big.substr(cut + 1000) + "n=2\r\n");
}

}  // namespace
