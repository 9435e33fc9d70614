// Profile writes against the file system: refusals, links, modes, failures half-way and
// crashes half-way. Every failure must leave the old file byte for byte and no stray file.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

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
constexpr auto kNoWrite =
    fs::perms::all & ~fs::perms::owner_write & ~fs::perms::group_write & ~fs::perms::others_write;

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

TEST(ProfileFile, ReadOnlyFolderFailsCleanly) {
  TempDir dir;
  const auto folder = dir.path() / "data";
  fs::create_directory(folder);
  writeFile(folder / "p.ini", kOriginal);
  fs::permissions(folder / "p.ini",
                  fs::perms::owner_all | fs::perms::group_all | fs::perms::others_all);
  // An unprivileged child writes into the folder with the given mode.
  const auto unprivilegedWrite = [&](fs::perms mode) {
    fs::permissions(folder, mode);
    return inChild([&] {
      if (::unshare(CLONE_NEWUSER) != 0) return 77;
      return 10 + write(folder / "p.ini", "custom", "Helo", "Tiger");
    });
  };
  const int refused = unprivilegedWrite(kNoWrite);
  if (refused == 77) GTEST_SKIP() << "user namespaces are not available";
  EXPECT_EQ(refused, 10);
  EXPECT_EQ(readFile(folder / "p.ini"), kOriginal);
  EXPECT_EQ(entries(folder), 1u);
  // The same child in a writable folder succeeds, so the refusal above is the folder's.
  EXPECT_EQ(unprivilegedWrite(fs::perms::all), 11);
  EXPECT_EQ(readFile(folder / "p.ini"), "; mine\n[custom]\nHelo=Tiger\n");
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
  TempDir dir;
  const auto path = dir.path() / "p.ini";
  const std::string original = kOriginal + "Pad=" + std::string(3000, 'p') + "\n";
  writeFile(path, original);
  EXPECT_EQ(inChild([&] {
              ::signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{4096, 4096};
              ::setrlimit(RLIMIT_FSIZE, &limit);  // the new file cannot pass 4 KiB: "disk full"
              return 10 + write(path, "custom", "Big", std::string(2000, 'b').c_str());
            }),
            10);
  EXPECT_EQ(readFile(path), original);
  EXPECT_EQ(entries(dir.path()), 1u);
  EXPECT_EQ(inChild([&] {
              platform::posix::setBeforeProfileReplace([] { ::raise(SIGKILL); });
              write(path, "custom", "k2", "2");
              return 0;
            }),
            128 + SIGKILL);
  EXPECT_EQ(readFile(path), original);
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
  const auto leftover = [&dir](const std::string& file, pid_t pid) {
    const fs::path p = dir.path() / ("." + file + ".kestrun-" + std::to_string(pid) + "-0-1");
    writeFile(p, "half");
    return p;
  };
  const fs::path dead = leftover("p.ini", gone);
  const fs::path busy = leftover("p.ini", ::getppid());
  const fs::path other = leftover("q.ini", gone);

  ASSERT_NE(write(path, "s", "k", "2"), 0);
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_TRUE(fs::exists(busy));
  EXPECT_TRUE(fs::exists(other));
  EXPECT_EQ(readFile(path), "[s]\nk=2\n");
}

}  // namespace
