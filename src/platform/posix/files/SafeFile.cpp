#include "platform/posix/files/SafeFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/posix/files/RegularFile.h"
#include "platform/posix/files/Settle.h"
#include "platform/posix/files/TemporaryFile.h"
#include "platform/posix/profile/ProfileHooks.h"

namespace platform::posix {

namespace fs = std::filesystem;

namespace {

std::atomic<bool> syncWrites{true};
std::mutex hookMutex;
std::function<void()> beforeReplace, whenWaiting;

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The file a write must change: path itself, or the final target of the symbolic links it
// names (relative links resolve against the link's folder). Empty for a loop of links.
fs::path finalTarget(fs::path path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::error_code ec;
    const fs::path link = fs::read_symlink(path, ec);
    if (ec) return {};
    path = link.is_absolute() ? link : path.parent_path() / link;
  }
  return {};
}

fs::path folderOf(const fs::path& target) {
  return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

void syncFolder(const fs::path& folder) {
  const Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) ::fsync(fd.get());
}

void runHook(const std::function<void()>& slot) {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    hook = slot;
  }
  if (hook) hook();
}

enum class Outcome {
  Done,    // written (or nothing to write)
  Failed,  // refused or failed; the file as it was
  Again,   // the path names another file than the one read: start again
  Wait,    // the file is being written by someone else: start again once it has been still
};

using Clock = std::chrono::steady_clock;

// Failed, with why in errno for the caller of rewriteFile.
Outcome failWith(int error) {
  errno = error;
  return Outcome::Failed;
}

// Why a write may not build on the file of status st, when it may not: EISDIR no regular file,
// EFBIG more than largest bytes, EACCES read-only.
int unfit(const struct stat& st, std::size_t largest) {
  if (!S_ISREG(st.st_mode)) return EISDIR;
  return static_cast<std::uint64_t>(st.st_size) > largest ? EFBIG : EACCES;
}

// How often a held lock is tried again.
constexpr auto kLockRetry = std::chrono::milliseconds(5);

// The status of the open file fd; all zero when it cannot be had.
struct stat statusOf(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) st = {};
  return st;
}

// One write's waiting: when it gives up, its watch over the file, and how long to pause before
// the next attempt.
struct Waiting {
  Clock::time_point deadline;
  Watch watch;
  Clock::duration pause = kSettleTime;
};

// The answer when the file changed while it was being edited: wait until it is still.
Outcome changedMeanwhile(Waiting& waiting) {
  waiting.watch = {};
  waiting.pause = kSettleTime;
  return Outcome::Wait;
}

// Takes the write lock on the whole file fd, retrying while another holds it (any lock, a read
// lock too) until the deadline. False when it is still held then, or the lock fails.
bool lockWhole(int fd, Clock::time_point deadline) {
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  for (;;) {
    if (::fcntl(fd, F_OFD_SETLK, &whole) == 0) return true;
    // A file system that keeps no locks still gets the write, as before locks were taken.
    if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL) return true;
    if (errno == EINTR) continue;
    if ((errno != EAGAIN && errno != EACCES) || Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kLockRetry);
  }
}

// Whether a file of size bytes stays within this process's file-size limit (ulimit -f); false
// with errno set when not.
bool withinSizeLimit(std::size_t size) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
  if (limit.rlim_cur == RLIM_INFINITY || size <= limit.rlim_cur) return true;
  errno = EFBIG;
  return false;
}

// A write past the file-size limit fails with EFBIG instead of ending the program (SIGXFSZ's
// default). A handler someone else installed is left alone.
void ignoreFileSizeSignal() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction current {};
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
      ::signal(SIGXFSZ, SIG_IGN);
  });
}

// Whether the file fd (status st) can be written up to size bytes without running out of space.
// Space is reserved where the file system can; elsewhere its free space must cover the blocks
// the file lacks, with room for the blocks that map them (ext2's indirect blocks: one per 256
// at most, and a few). False with errno set when not.
bool spaceFor(int fd, const struct stat& st, std::size_t size) {
  const auto held = static_cast<std::uint64_t>(st.st_blocks) * 512;
  if (size <= held) return true;
  if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) return true;
  if (errno != EOPNOTSUPP && errno != ENOSYS) return false;
  struct statvfs space {};
  if (::fstatvfs(fd, &space) != 0) return false;
  const std::uint64_t missing = size - held;
  if (std::uint64_t{space.f_bavail} * space.f_frsize >=
      missing + missing / 256 + 4 * std::uint64_t{space.f_frsize})
    return true;
  errno = ENOSPC;
  return false;
}

// Whether the locked file fd (status st) at target is still the file that was read: the path
// names it, nobody wrote it, and it was not made read-only meanwhile. Done when it is.
Outcome stillAsRead(const fs::path& target, int fd, const struct stat& st, Waiting& waiting) {
  struct stat named {};
  struct stat now {};
  if (::lstat(target.c_str(), &named) != 0 || !sameFile(named, st)) return Outcome::Again;
  if (::fstat(fd, &now) != 0) return Outcome::Failed;
  if (!(now.st_mode & S_IWUSR)) return failWith(EACCES);
  if (identityOf(now) != identityOf(st)) return changedMeanwhile(waiting);
  return Outcome::Done;
}

// Writes data in place of the locked file fd (read as old, status st) at target, from the first
// byte that differs. Nothing is written unless the bytes fit.
Outcome writeInPlace(const fs::path& target, int fd, const struct stat& st, std::string_view old,
                     std::string_view data, Waiting& waiting) {
  const std::size_t same = static_cast<std::size_t>(
      std::mismatch(old.begin(), old.end(), data.begin(), data.end()).first - old.begin());
  runHook(beforeReplace);
  // Another program may have put a new file in its place meanwhile (the change goes there), or
  // written this one.
  if (const Outcome still = stillAsRead(target, fd, st, waiting); still != Outcome::Done)
    return still;
  // Last, as a reservation changes the file's status time.
  if (!spaceFor(fd, st, data.size())) return Outcome::Failed;
  if (!writeAll(fd, data.substr(same), static_cast<off_t>(same))) return Outcome::Failed;
  if (data.size() < old.size() && ::ftruncate(fd, static_cast<off_t>(data.size())) != 0)
    return Outcome::Failed;
  const struct stat written = statusOf(fd);
  if (syncWrites.load() && ::fsync(fd) != 0) return Outcome::Failed;
  rememberLeft(fd, written);
  return Outcome::Done;
}

// Puts the complete, flushed file `made` (status written) in place at target: replaces the file
// there, or creates it. Then the folder is flushed and swept.
Outcome commit(TemporaryFile& made, const struct stat& written, const fs::path& target,
               bool replace) {
  if (!(replace ? made.replace(target) : made.create(target)))
    return errno == EEXIST && !replace ? Outcome::Again : Outcome::Failed;
  rememberLeft(made.fd(), written);
  const fs::path folder = folderOf(target);
  if (syncWrites.load()) syncFolder(folder);
  sweepLeftovers(folder);
  return Outcome::Done;
}

// Whether a new file can take the place of the file at target (status st) as the same file to
// everyone who looks: it has no other hard links, its folder may be written by us, and it can
// be renamed over (it is no mount point or file bind-mounted from elsewhere, and no sticky
// folder keeps it for its owner).
bool replaceable(const fs::path& target, const struct stat& st) {
  const fs::path folder = folderOf(target);
  struct stat in {};
  struct statx mount {};
  if (st.st_nlink != 1 || ::stat(folder.c_str(), &in) != 0 ||
      ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0 ||
      ::statx(AT_FDCWD, target.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &mount) != 0)
    return false;
  // Kernels that cannot tell a mount's root: a file from another file system is one.
  const bool mountRoot = (mount.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0
                             ? (mount.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0
                             : in.st_dev != st.st_dev;
  const uid_t me = ::geteuid();
  const bool keptForOwner = (in.st_mode & S_ISVTX) && me != 0 && me != st.st_uid && me != in.st_uid;
  return !mountRoot && !keptForOwner;
}

// Writes data in place of the locked file fd (read as old, status st) at target. The way is
// chosen once, before anything is written: a new file beside it, given all of its metadata and
// renamed over it; or in place, where a new file could not be the same file (replaceable says
// when), or could not be given its owner or an attribute.
Outcome writeChange(const fs::path& target, int fd, const struct stat& st, std::string_view old,
                    std::string_view data, Waiting& waiting) {
  if (!withinSizeLimit(data.size())) return Outcome::Failed;
  if (!replaceable(target, st)) return writeInPlace(target, fd, st, old, data, waiting);
  TemporaryFile made(folderOf(target), 0600);
  if (!made.made() && errno != EACCES && errno != EPERM) return Outcome::Failed;
  if (!made.made() || !made.takeOwnerAndAttributes(fd, st))
    return writeInPlace(target, fd, st, old, data, waiting);
  // The mode last: it also sets the ACL's mask, as the old file has it.
  if (!writeAll(made.fd(), data, 0) || ::fchmod(made.fd(), st.st_mode & 07777) != 0 ||
      (syncWrites.load() && ::fsync(made.fd()) != 0))
    return Outcome::Failed;
  const struct stat written = statusOf(made.fd());
  runHook(beforeReplace);
  if (const Outcome still = stillAsRead(target, fd, st, waiting); still != Outcome::Done)
    return still;
  return commit(made, written, target, true);
}

// Makes the file at target, which did not exist, with data. Again when another writer made it
// first: never over a file that appeared meanwhile, as its writer's change would be lost.
Outcome createFile(const fs::path& target, std::string_view data) {
  if (!withinSizeLimit(data.size())) return Outcome::Failed;
  TemporaryFile made(folderOf(target), 0666);
  if (!made.made() || !writeAll(made.fd(), data, 0) ||
      (syncWrites.load() && ::fsync(made.fd()) != 0))
    return Outcome::Failed;
  const struct stat written = statusOf(made.fd());
  runHook(beforeReplace);
  return commit(made, written, target, false);
}

using Edit = std::function<NewContent(std::string_view)>;

// Opens the file at target (status seen) for writing and takes its lock: fd and its status
// locked then. Done when the path still names it and it may be written.
Outcome openLocked(const fs::path& target, const struct stat& seen, std::size_t largest,
                   const Waiting& waiting, Fd& fd, struct stat& locked) {
  const auto fits = [largest](const struct stat& st) {
    return S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) <= largest;
  };
  if (S_ISLNK(seen.st_mode)) return Outcome::Again;  // made a link since it was followed
  // Read-only as Wine shows the Windows attribute: the owner may not write. Root is refused too.
  if (!fits(seen) || !(seen.st_mode & S_IWUSR)) return failWith(unfit(seen, largest));
  if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return Outcome::Failed;
  fd.reset(::open(target.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) return errno == ENOENT || errno == ELOOP ? Outcome::Again : Outcome::Failed;
  if (::fstat(fd.get(), &locked) != 0) return Outcome::Failed;
  if (!fits(locked)) return failWith(unfit(locked, largest));
  // A lock held elsewhere fails with EACCES or EAGAIN alike: the file is busy, not read-only.
  if (!lockWhole(fd.get(), waiting.deadline)) return failWith(errno == EACCES ? EAGAIN : errno);
  // Another writer may have replaced the file while this one waited.
  struct stat named {};
  if (::fstat(fd.get(), &locked) != 0 || ::lstat(target.c_str(), &named) != 0 ||
      !sameFile(named, locked) || locked.st_nlink == 0)
    return Outcome::Again;
  if (!fits(locked) || !(locked.st_mode & S_IWUSR)) return failWith(unfit(locked, largest));
  return Outcome::Done;
}

// One attempt at the rewrite of the file at target, a regular file of at most largest bytes.
Outcome writeOnce(const fs::path& target, std::size_t largest, const Edit& edit, Waiting& waiting) {
  struct stat seen {};
  if (::lstat(target.c_str(), &seen) != 0) {
    if (errno != ENOENT) return Outcome::Failed;
    const NewContent made = edit({});
    if (made.kind == NewContent::Kind::Refused || made.bytes.size() > largest)
      return failWith(made.kind == NewContent::Kind::Refused ? EINVAL : EFBIG);
    return createFile(target, made.bytes);
  }
  Fd fd;
  struct stat locked {};
  if (const Outcome open = openLocked(target, seen, largest, waiting, fd, locked);
      open != Outcome::Done)
    return open;
  waiting.pause = untilSettled(fd.get(), identityOf(locked), waiting.watch);
  if (waiting.pause > waiting.pause.zero()) return Outcome::Wait;

  Bytes text;
  struct stat read {};
  const Whole whole = readWhole(fd.get(), static_cast<std::size_t>(locked.st_size), largest, text);
  if (whole == Whole::TooBig) return failWith(EFBIG);
  if (whole != Whole::Read || ::fstat(fd.get(), &read) != 0) return Outcome::Failed;
  if (identityOf(read) != identityOf(locked)) return changedMeanwhile(waiting);
  const NewContent change = edit(view(text));
  if (change.kind == NewContent::Kind::Refused || change.bytes.size() > largest)
    return failWith(change.kind == NewContent::Kind::Refused ? EINVAL : EFBIG);
  if (change.kind == NewContent::Kind::Same) return Outcome::Done;
  return writeChange(target, fd.get(), locked, view(text), change.bytes, waiting);
}

}  // namespace

int rewriteFile(const fs::path& path, std::size_t largest, const Edit& edit,
                Clock::time_point deadline) {
  ignoreFileSizeSignal();
  Waiting waiting;
  waiting.deadline = deadline;
  // Each new attempt follows the path afresh: another writer replaced the file meanwhile, so
  // every lost attempt is another writer's finished write. The lock is not fair between writers
  // of one path (the winner re-opens the new file before a waiter wakes), so a writer may lose
  // as many times in a row as another has writes to make: the bound only stops a path that
  // something replaces without end.
  for (int attempt = 0; attempt < 100'000; ++attempt) {
    const fs::path target = finalTarget(path);
    if (target.empty()) return ELOOP;
    errno = 0;  // a failure that sets none is told as EIO
    const Outcome outcome = writeOnce(target, largest, edit, waiting);
    if (outcome == Outcome::Wait) {
      if (Clock::now() + waiting.pause > waiting.deadline) return EAGAIN;
      runHook(whenWaiting);
      std::this_thread::sleep_for(waiting.pause);
    } else if (outcome == Outcome::Done) {
      return 0;
    } else if (outcome != Outcome::Again) {
      return errno != 0 ? errno : EIO;
    }
  }
  return EAGAIN;
}

void setProfileSync(bool on) {
  syncWrites.store(on);
}

void setBeforeProfileReplace(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  beforeReplace = std::move(hook);
}

void setWhenProfileWaits(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  whenWaiting = std::move(hook);
}

}  // namespace platform::posix
