// Profile writes meeting what other programs and the system do to the file meanwhile: a game
// that saves the profile without a lock, a lock held by another program, a file-size limit, a
// full file system that cannot reserve space, a profile that is a mount point. Each write must
// end in time, report what happened, and leave the profile either whole and new or as it was.
// The waits are the rewrite's own (kSettleTime, kLongestWait); the saves are held and finished
// by the test at set points of the write, so no row depends on how the threads are scheduled.
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
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "platform/Platform.h"
#include "platform/posix/files/SafeFile.h"
#include "platform/posix/profile/ProfileHooks.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::posix::kLongestWait;
using platform::posix::kSettleTime;
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

// Starts a process that holds a POSIX read lock on file until held passes or its parent ends.
// Returns file.
fs::path holdReadLock(const fs::path& file, std::chrono::milliseconds held) {
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
    std::this_thread::sleep_for(held);
    ::_exit(0);
  }
  char sink;
  (void)!::read(ready[0], &sink, 1);
  ::close(ready[0]);
  ::close(ready[1]);
  return file;
}

// Runs body in a child with mounts of its own, which end with it: its exit code, 77 when the
// child cannot have them, or 128 + the signal that ended it.
int inOwnMounts(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      ::_exit(77);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A 4 MiB file system made by mkfs (its command line, the image's path added) and mounted at
// dir/mnt in this process's mount namespace. Empty when it cannot be made.
fs::path loopMounted(const fs::path& dir, const std::string& mkfs) {
  const fs::path image = dir / "fs.img", mount = dir / "mnt";
  fs::create_directory(mount);
  if (!run("truncate -s 4M " + image.string()) || !run(mkfs + " " + image.string()) ||
      !run("mount -o loop " + image.string() + " " + mount.string()))
    return {};
  return mount;
}

// A small ext2 (no fallocate) holding the profile and a second hard link to it (so it is written
// in place). full: filled to the last block. Empty when it cannot be made.
fs::path onExt2(const fs::path& dir, bool full) {
  const fs::path mount = loopMounted(dir, "mkfs.ext2 -q -F -m 0 -b 4096");
  if (mount.empty()) return {};
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
      {"read lock held a fifth of the wait",
       [](auto& d) { return holdReadLock(plain(d), kLongestWait / 5); }, "Tiger", 1},
      {"read lock held past the wait",
       [](auto& d) { return holdReadLock(plain(d), kLongestWait + 3s); }, "Tiger", 0},
      {"bind-mounted profile", bindMounted, "Tiger", 1},
  };
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const int code = inOwnMounts([&] {
      const fs::path profile = c.make(dir.path());
      if (profile.empty()) return 77;
      const std::size_t before = entries(profile.parent_path());
      const auto start = std::chrono::steady_clock::now();
      const int status = write(profile, c.value);
      if (std::chrono::steady_clock::now() - start > kLongestWait + 2s) return 3;
      if (status != c.written) return 4;
      if (readFile(profile) != (c.written ? withHelo(c.value) : kOriginal)) return 5;
      if (entries(profile.parent_path()) != before) return 6;
      return 0;
    });
    if (code == 77) {
      ADD_FAILURE() << "could not be set up here (mount, loop device or mkfs missing)";
      continue;
    }
    EXPECT_EQ(code, 0) << "3: took too long, 4: wrong status, 5: wrong bytes, 6: a file left, "
                          "else 128 + the signal that ended the writer";
  }
}

// The game's save as Wine makes it, without a lock: the file truncated, then its lines. The test
// begins it (the first half of the lines) and finishes it at set points of a write.
class Save {
 public:
  static std::string text() {
    std::string text = "[custom]\r\nHelo=Apache\r\n";
    for (int i = 0; i < 200; ++i)
      text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    return text;
  }
  static std::string half() { return text().substr(0, text().find("k100=")); }

  // Begins the save, kSettleTime or more into a second of the system clock: whole-second times
  // then make the half save look older than the settle time. ahead: its times are then set an
  // hour ahead of the clock.
  void begin(const fs::path& profile, bool ahead) {
    const auto second = std::chrono::system_clock::now().time_since_epoch() % 1s;
    if (second < 2 * kSettleTime) std::this_thread::sleep_for(2 * kSettleTime - second);
    fd_ = ::open(profile.c_str(), O_WRONLY | O_TRUNC);
    put(half());
    const timespec hourAhead{std::time(nullptr) + 3600, 0}, times[2] = {hourAhead, hourAhead};
    if (ahead) ::futimens(fd_, times);
  }
  void finish() {
    put(text().substr(half().size()));
    ::close(fd_);
    fd_ = -1;
  }
  bool underWay() const { return fd_ >= 0; }
  std::chrono::steady_clock::time_point lastChange() const { return lastChange_; }

 private:
  void put(const std::string& lines) {
    lastChange_ = std::chrono::steady_clock::now();
    if (::write(fd_, lines.data(), lines.size()) != static_cast<ssize_t>(lines.size())) ::_exit(9);
  }
  int fd_ = -1;
  std::chrono::steady_clock::time_point lastChange_;
};

// ext4 made with 128-byte inodes, which keep whole-second times (older installs, SD cards).
fs::path onCoarseExt4(const fs::path& dir) {
  const fs::path mount = loopMounted(dir, "mkfs.ext4 -q -F -I 128");
  if (!mount.empty()) writeFile(mount / "p.ini", Save::text());
  return mount.empty() ? mount : mount / "p.ini";
}

fs::path withSave(const fs::path& dir) {
  writeFile(dir / "p.ini", Save::text());
  return dir / "p.ini";
}

// A write never builds on a save changed less than kSettleTime before, on any disk; a save that
// goes on while the write waits is never lost; a write in a row after it does not wait.
TEST(ProfileHazard, ASaveUnderWayIsNotBuiltOn) {
  enum Begins { BeforeTheWrite, JustBeforeTheReplace };
  const struct {
    const char* what;
    std::function<fs::path(const fs::path& dir)> make;
    Begins begins;
    bool ahead;     // the save's times an hour ahead of the clock
    bool finishes;  // while the write waits; else it is held until the write is done
  } cases[] = {
      {"whole-second times (ext4 -I 128)", onCoarseExt4, BeforeTheWrite, false, true},
      {"times ahead of the clock", withSave, BeforeTheWrite, true, true},
      {"a save that begins just before the replace", withSave, JustBeforeTheReplace, false, true},
      {"a save held past the settle time", withSave, BeforeTheWrite, false, false},
  };
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const int code = inOwnMounts([&] {
      const fs::path profile = c.make(dir.path());
      if (profile.empty()) return 77;
      Save save;
      std::chrono::steady_clock::time_point replaced;
      int waits = 0;
      platform::posix::setBeforeProfileReplace([&] {
        if (c.begins == JustBeforeTheReplace && !save.underWay() && waits == 0)
          return save.begin(profile, c.ahead);
        replaced = std::chrono::steady_clock::now();
      });
      platform::posix::setWhenProfileWaits([&] {
        ++waits;
        if (c.finishes && save.underWay()) save.finish();
      });
      if (c.begins == BeforeTheWrite) save.begin(profile, c.ahead);
      if (write(profile, "Tiger") != 1) return 3;
      if (replaced - save.lastChange() < kSettleTime) return 4;
      if (save.underWay()) save.finish();  // the game ends its save in its own time
      std::string kept = c.finishes ? Save::text() : Save::half();
      if (readFile(profile) != kept.replace(kept.find("Apache"), 6, "Tiger")) return 5;
      const int before = waits;
      if (write(profile, "Havoc") != 1 || waits != before) return 6;
      return 0;
    });
    if (code == 77) {
      ADD_FAILURE() << "could not be set up here (mount, loop device or mkfs.ext4 missing)";
      continue;
    }
    EXPECT_EQ(code, 0) << "3: the write failed, 4: it built on a save changed less than the "
                          "settle time before, 5: a save lost, 6: a write in a row waited";
  }
}

}  // namespace
