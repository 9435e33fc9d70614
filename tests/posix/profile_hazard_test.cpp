// Profile writes meeting what other programs and the system do to the file meanwhile: a game
// that saves the profile without a lock, a lock held by another program, a file-size limit, a
// full file system that cannot reserve space, a profile that is a mount point. Each write must
// end in time, report what happened, and leave the profile either whole and new or as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "platform/Platform.h"
#include "platform/posix/ProfileHooks.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

const std::string kOriginal = "; mine\n[custom]\nHelo=Apache\nPad=" + std::string(3000, 'p') + "\n";

std::string withHelo(const std::string& value) {
  std::string text = kOriginal;
  return text.replace(text.find("Apache"), 6, value);
}

int write(const fs::path& file, const std::string& value) {
  return platform::writePrivateProfileString("custom", "Helo", value.c_str(), file.c_str());
}

std::size_t entries(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
}

bool run(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Starts a process that holds a POSIX read lock on file until seconds pass or its parent ends.
// Returns file.
fs::path holdReadLock(const fs::path& file, int seconds) {
  int ready[2];
  if (::pipe(ready) != 0) return {};
  if (::fork() == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int fd = ::open(file.c_str(), O_RDONLY);
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    if (fd < 0 || ::fcntl(fd, F_SETLK, &lock) != 0) ::_exit(1);
    (void)!::write(ready[1], "x", 1);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    ::_exit(0);
  }
  char sink;
  (void)!::read(ready[0], &sink, 1);
  ::close(ready[0]);
  ::close(ready[1]);
  return file;
}

// A small ext2 (no fallocate) mounted at dir/mnt in this process's mount namespace; the profile
// and a second hard link to it (so it is written in place) inside. full: filled to the last
// block. Empty when it cannot be made.
fs::path onExt2(const fs::path& dir, bool full) {
  const fs::path image = dir / "ext2.img", mount = dir / "mnt";
  fs::create_directory(mount);
  if (!run("truncate -s 2M " + image.string()) ||
      !run("mkfs.ext2 -q -F -m 0 -b 4096 " + image.string()) ||
      !run("mount -o loop " + image.string() + " " + mount.string()))
    return {};
  const fs::path profile = mount / "p.ini";
  writeFile(profile, kOriginal);
  fs::create_hard_link(profile, mount / "link.ini");
  if (full) {
    const int fd = ::open((mount / "filler").c_str(), O_WRONLY | O_CREAT, 0644);
    const std::string block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);
  }
  return profile;
}

// The profile bind-mounted from a file elsewhere: it cannot be renamed over.
fs::path bindMounted(const fs::path& dir) {
  writeFile(dir / "elsewhere.ini", kOriginal);
  fs::create_directory(dir / "data");
  writeFile(dir / "data/p.ini", "");
  if (::mount((dir / "elsewhere.ini").c_str(), (dir / "data/p.ini").c_str(), nullptr, MS_BIND,
              nullptr) != 0)
    return {};
  return dir / "data/p.ini";
}

fs::path plain(const fs::path& dir) {
  writeFile(dir / "p.ini", kOriginal);
  return dir / "p.ini";
}

fs::path hardLinked(const fs::path& dir) {
  fs::create_hard_link(plain(dir), dir / "link.ini");
  return dir / "p.ini";
}

fs::path sizeLimited(fs::path profile) {
  const rlimit limit{4096, 4096};  // as `ulimit -f 4`; SIGXFSZ keeps its default
  ::setrlimit(RLIMIT_FSIZE, &limit);
  return profile;
}

TEST(ProfileHazard, WritesEndInTimeAndLeaveTheProfileWholeOrAsItWas) {
  const std::string longValue(2000, 'L');
  const struct {
    const char* what;
    std::function<fs::path(const fs::path& dir)> make;  // the profile; empty: cannot be made
    std::string value;
    int written;  // the write's status; the profile holds the value exactly when written
  } cases[] = {
      {"full ext2 (no fallocate), in place", [](auto& d) { return onExt2(d, true); }, longValue, 0},
      {"ext2 with room, in place", [](auto& d) { return onExt2(d, false); }, longValue, 1},
      {"file-size limit, replaced", [](auto& d) { return sizeLimited(plain(d)); }, longValue, 0},
      {"file-size limit, in place", [](auto& d) { return sizeLimited(hardLinked(d)); }, longValue,
       0},
      {"read lock held for 1 s", [](auto& d) { return holdReadLock(plain(d), 1); }, "Tiger", 1},
      {"read lock held past the wait", [](auto& d) { return holdReadLock(plain(d), 8); }, "Tiger",
       0},
      {"bind-mounted profile", bindMounted, "Tiger", 1},
  };
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    // In a child with mounts of its own, which end with it.
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::unshare(CLONE_NEWNS) != 0 ||
          ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        ::_exit(77);
      const fs::path profile = c.make(dir.path());
      if (profile.empty()) ::_exit(77);
      const std::size_t before = entries(profile.parent_path());
      const auto start = std::chrono::steady_clock::now();
      const int status = write(profile, c.value);
      if (std::chrono::steady_clock::now() - start > std::chrono::seconds(7)) ::_exit(3);
      if (status != c.written) ::_exit(4);
      if (readFile(profile) != (c.written ? withHelo(c.value) : kOriginal)) ::_exit(5);
      if (entries(profile.parent_path()) != before) ::_exit(6);
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (code == 77) {
      ADD_FAILURE() << "could not be set up here (mount, loop device or mkfs.ext2 missing)";
      continue;
    }
    EXPECT_EQ(code, 0) << "3: took too long, 4: wrong status, 5: wrong bytes, 6: a file left, "
                          "else 128 + the signal that ended the writer";
  }
}

// A stand-in for the game: saves the profile as Wine does (truncate, then a line at a time, no
// lock), now and then, and checks right after each save that its whole save is in the file. Its
// exit code is the count of saves it found lost or cut.
int gameSaving(const fs::path& profile, int saves) {
  std::mt19937 random(7);
  int lost = 0;
  for (int save = 0; save < saves; ++save) {
    std::string text;
    for (int s = 0; s < 20; ++s)
      text += "[game" + std::to_string(s) + "]\r\nsave=" + std::to_string(save) + "\r\n";
    const int fd = ::open(profile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = text.find('\n', at) + 1;
      if (::write(fd, text.data() + at, end - at) != static_cast<ssize_t>(end - at)) ++lost;
      at = end;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::close(fd);
    lost += readFile(profile) != text;
    std::this_thread::sleep_for(std::chrono::milliseconds(30 + random() % 90));
  }
  return lost;
}

// Kestrun writes now and then while the game saves. What remains possible (README) is a save that
// begins in the microseconds between a write's last check and its rename: here about one run in a
// hundred or fewer; before the writes waited for a settled profile, nearly every save was lost.
TEST(ProfileHazard, AGameSavingMeanwhileLosesNoSave) {
  TempDir dir;
  const fs::path profile = dir.path() / "custom.ini";
  writeFile(profile, "[custom]\r\nHelo=Apache\r\n");
  const pid_t game = ::fork();
  if (game == 0) ::_exit(gameSaving(profile, 30));
  std::mt19937 random(11);
  int written = 0, failed = 0;
  int status = 0;
  for (int i = 0; ::waitpid(game, &status, WNOHANG) == 0; ++i) {
    (write(profile, "v" + std::to_string(i)) != 0 ? written : failed) += 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 60));
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "saves lost or cut";
  EXPECT_GT(written, 10) << "the writes found no still moment between the saves";
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(entries(dir.path()), 1u);
}

}  // namespace
