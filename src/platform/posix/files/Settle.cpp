#include "platform/posix/files/Settle.h"

#include <sys/statfs.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <mutex>

#include "platform/posix/files/SafeFile.h"

namespace platform::posix {

namespace {

using Clock = std::chrono::steady_clock;

// How far the kernel's clock for file times may run behind the time of the change: a tick.
constexpr auto kTimeTick = std::chrono::milliseconds(10);

// The file as this process's last write left it: a file still so needs no settling, so a
// Copy's writes in a row never wait for each other.
std::mutex lastLeftMutex;
Identity lastLeft;

// Whether the file fd's times come from this machine's clock: a file system of its own disks or
// memory. Others (NFS, SMB, FUSE, FAT and exFAT ...) may keep coarse times or take them from a
// server whose clock is behind ours, so their times prove nothing.
bool timesFromOurClock(int fd) {
  static constexpr std::uint32_t kLocal[] = {
      0xEF53,      // ext2, ext3, ext4
      0x58465342,  // XFS
      0x9123683E,  // Btrfs
      0x01021994,  // tmpfs
      0xF2F52010,  // F2FS
      0x794C7630,  // overlayfs
      0x2FC12FC1,  // ZFS
      0xCA451A4E,  // bcachefs
  };
  struct statfs system {};
  if (::fstatfs(fd, &system) != 0) return false;
  const auto type = static_cast<std::uint32_t>(system.f_type);
  return std::find(std::begin(kLocal), std::end(kLocal), type) != std::end(kLocal);
}

// The largest power of ten, up to a second, that divides the time t (in nanoseconds).
std::int64_t stepOf(std::int64_t t) {
  std::int64_t step = 1;
  while (step < 1'000'000'000 && t % (step * 10) == 0) step *= 10;
  return step;
}

// The resolution the file system keeps the file's times in, at most: the finer step of the two
// (a second where they are whole seconds, as ext4 with small inodes keeps them), and at least
// a tick.
std::chrono::nanoseconds resolutionOf(const Identity& file) {
  const std::chrono::nanoseconds step(std::min(stepOf(file.modified), stepOf(file.changed)));
  return std::max<std::chrono::nanoseconds>(step, kTimeTick);
}

// How long until the file's times prove it has been still for the settle time (zero or less:
// they prove it now), read on a system clock; times ahead of that clock prove nothing.
std::chrono::nanoseconds untilTimesProveStill(const Identity& file) {
  const std::chrono::nanoseconds clock = std::chrono::system_clock::now().time_since_epoch();
  const auto changed = std::chrono::nanoseconds(std::max(file.modified, file.changed));
  if (changed > clock) return std::chrono::nanoseconds::max();
  return kSettleTime + resolutionOf(file) - (clock - changed);
}

}  // namespace

void rememberLeft(int fd, const struct stat& written) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return;
  const Identity now = identityOf(status), ours = identityOf(written);
  if (now.size != ours.size || now.modified != ours.modified) return;
  std::lock_guard<std::mutex> lock(lastLeftMutex);
  lastLeft = now;
}

std::chrono::nanoseconds untilSettled(int fd, const Identity& now, Watch& watch) {
  {
    std::lock_guard<std::mutex> lock(lastLeftMutex);
    if (lastLeft == now) return {};
  }
  const Clock::time_point looked = Clock::now();
  if (watch.seen != now) watch = {now, looked};
  const std::chrono::nanoseconds unwatched = kSettleTime - (looked - watch.since);
  const std::chrono::nanoseconds left =
      timesFromOurClock(fd) ? std::min(untilTimesProveStill(now), unwatched) : unwatched;
  return std::max(left, std::chrono::nanoseconds::zero());
}

}  // namespace platform::posix
