#include "platform/posix/SafeFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "platform/posix/ProfileHooks.h"

namespace platform::posix {

namespace fs = std::filesystem;

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    reset(other.fd_);
    other.fd_ = -1;
  }
  return *this;
}

void Fd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

RegularFile::RegularFile(const fs::path& path)
    : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)) {
  if (fd_.get() < 0) return;
  if (::fstat(fd_.get(), &status_) != 0 || !S_ISREG(status_.st_mode)) {
    fd_.reset();
    return;
  }
  left_ = static_cast<std::uint64_t>(status_.st_size);
}

std::size_t RegularFile::read(char* into, std::size_t room) {
  room = static_cast<std::size_t>(std::min<std::uint64_t>(room, left_));
  while (room > 0) {
    const ssize_t got = ::read(fd_.get(), into, room);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    left_ -= static_cast<std::uint64_t>(got);
    return static_cast<std::size_t>(got);
  }
  left_ = 0;
  return 0;
}

bool RegularFile::seek(std::uint64_t offset) {
  const auto size = static_cast<std::uint64_t>(status_.st_size);
  if (!open() || offset > size || ::lseek(fd_.get(), static_cast<off_t>(offset), SEEK_SET) < 0)
    return false;
  left_ = size - offset;
  return true;
}

namespace {

// The whole content of the open file fd from its first byte, at most bound bytes, into text.
RegularFile::Whole readFrom(int fd, std::size_t sizeHint, std::size_t bound, Bytes& text) {
  text.resize(std::min(sizeHint, bound) + 1);
  std::size_t have = 0;
  RegularFile::Whole result = RegularFile::Whole::Read;
  for (;;) {
    if (have == text.size()) text.resize(std::min(text.size() * 2, bound + 1));
    const ssize_t got =
        ::pread(fd, text.data() + have, text.size() - have, static_cast<off_t>(have));
    if (got > 0) {
      have += static_cast<std::size_t>(got);
      if (have <= bound) continue;
      have = bound;
      result = RegularFile::Whole::TooBig;
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else if (got < 0) {
      result = RegularFile::Whole::Failed;
    }
    break;
  }
  text.resize(have);
  return result;
}

}  // namespace

RegularFile::Whole RegularFile::readWhole(std::size_t bound, Bytes& text) const {
  text.clear();
  if (!open()) return Whole::Failed;
  return readFrom(fd_.get(), static_cast<std::size_t>(status_.st_size), bound, text);
}

namespace {

// Temporary files are named kTemporaryPrefix, the writer's process id, '-' and random hex digits:
// short enough to fit beside any name the file system allows.
constexpr std::string_view kTemporaryPrefix = ".kestrun-";

std::atomic<bool> syncWrites{true};
std::mutex hookMutex;
std::function<void()> beforeReplace;

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool writeAll(int fd, std::string_view data, off_t at) {
  while (!data.empty()) {
    const ssize_t put = ::pwrite(fd, data.data(), data.size(), at);
    if (put > 0) {
      data.remove_prefix(static_cast<std::size_t>(put));
      at += put;
    } else if (put < 0 && errno == EINTR) {
      continue;
    } else {
      return false;  // disk full, file size limit, I/O error
    }
  }
  return true;
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

void runHook() {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    hook = beforeReplace;
  }
  if (hook) hook();
}

// Removes the temporary files that writers killed mid-write left in folder: those whose writer's
// process no longer exists. A live writer's file is never touched. Once per folder and run, so a
// copy's nine writes look at the folder once.
void sweepLeftovers(const fs::path& folder) {
  static std::mutex sweptMutex;
  static std::set<fs::path> swept;
  {
    std::lock_guard<std::mutex> lock(sweptMutex);
    if (!swept.insert(folder).second) return;
  }
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(kTemporaryPrefix)) continue;
    const long pid = std::strtol(name.c_str() + kTemporaryPrefix.size(), nullptr, 10);
    if (pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      ::unlink(it->path().c_str());
  }
}

// A new, empty temporary file in folder, opened for writing with the given mode; its path in
// temporary. -1 with errno set when none can be made.
int makeTemporary(const fs::path& folder, mode_t mode, fs::path& temporary) {
  static thread_local std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "%.*s%ld-%08x", static_cast<int>(kTemporaryPrefix.size()),
                  kTemporaryPrefix.data(), static_cast<long>(::getpid()),
                  static_cast<unsigned>(random()));
    temporary = folder / name;
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

std::vector<std::string> attributeNames(int fd) {
  std::vector<std::string> names;
  std::string list;
  for (;;) {
    const ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size <= 0) return names;  // none, or a file system without them
    list.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::flistxattr(fd, list.data(), list.size());
    if (got >= 0) {
      list.resize(static_cast<std::size_t>(got));
      break;
    }
    if (errno != ERANGE) return names;  // ERANGE: the list grew meanwhile, so ask again
  }
  for (std::size_t at = 0; at < list.size();) {
    const std::size_t end = list.find('\0', at);
    names.emplace_back(list.substr(at, end - at));
    at = end == std::string::npos ? list.size() : end + 1;
  }
  return names;
}

// Gives the file to every extended attribute of the file from, and no other. False when one
// cannot be given.
bool copyAttributes(int from, int to) {
  const std::vector<std::string> names = attributeNames(from);
  // A new file may have inherited some, e.g. the folder's default ACL.
  for (const std::string& name : attributeNames(to))
    if (std::find(names.begin(), names.end(), name) == names.end() &&
        ::fremovexattr(to, name.c_str()) != 0)
      return false;
  std::string value;
  for (const std::string& name : names) {
    ssize_t size;
    while ((size = ::fgetxattr(from, name.c_str(), nullptr, 0)) >= 0) {
      value.resize(static_cast<std::size_t>(size));
      size = ::fgetxattr(from, name.c_str(), value.data(), value.size());
      if (size >= 0 || errno != ERANGE) break;
    }
    if (size < 0) return false;
    if (::fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(size), 0) != 0)
      return false;
  }
  return true;
}

enum class Outcome {
  Done,     // written (or nothing to write)
  Failed,   // refused or failed; the file as it was
  Again,    // the path names another file than the one read: start again
  InPlace,  // a replacement would not be the same file: write in place
  Wait,     // the file is being written by someone else: start again once it has been still
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

// How long a file must have been still before a write builds on it: longer than a program's
// save of a small file takes (Wine truncates the file, then writes its lines, without a lock).
constexpr auto kSettle = std::chrono::milliseconds(50);
// How often a held lock is tried again.
constexpr auto kLockRetry = std::chrono::milliseconds(5);

// What a file is: which file, how long, and when its content and status last changed. Two equal
// identities mean nobody wrote the file in between (to the resolution of its times). All zero is
// no file (no file has inode 0).
struct Identity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified = 0, changed = 0;  // nanoseconds since the epoch

  bool operator==(const Identity&) const = default;
};

std::int64_t nanoseconds(const timespec& t) {
  return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

Identity identityOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

// The file as this process's last write left it: a file still so needs no settling, so a
// Copy's writes in a row never wait for each other.
std::mutex lastLeftMutex;
Identity lastLeft;

// Remembers the file fd as this process left it, written as ours (status written, taken before
// it was renamed into place or flushed). Not when it has another length or modification time by
// now: then another program wrote it meanwhile, and the next write must see it settle.
void rememberLeft(int fd, const struct stat& written) {
  struct stat now {};
  if (::fstat(fd, &now) != 0 || now.st_size != written.st_size ||
      nanoseconds(now.st_mtim) != nanoseconds(written.st_mtim))
    return;
  std::lock_guard<std::mutex> lock(lastLeftMutex);
  lastLeft = identityOf(now);
}

// The status of the open file fd; all zero when it cannot be had.
struct stat statusOf(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) st = {};
  return st;
}

// One write's waiting: when it gives up, the file as it was before its last wait, and how long
// to pause before the next attempt.
struct Waiting {
  Clock::time_point deadline;
  Identity seen;
  Clock::duration pause = kSettle;
};

// Whether a write may build on the file now: as this process left it, changed longer than the
// settle time ago, or unchanged through a wait of that long (a file whose times lie ahead of the
// clock). Otherwise sets the pause until it may have settled.
bool settled(const Identity& now, Waiting& waiting) {
  {
    std::lock_guard<std::mutex> lock(lastLeftMutex);
    if (lastLeft == now) return true;
  }
  const std::int64_t clock = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
  const auto age = std::chrono::nanoseconds(clock - std::max(now.modified, now.changed));
  if (age >= kSettle || waiting.seen == now) return true;
  waiting.seen = now;
  waiting.pause = age > age.zero() ? kSettle - age : kSettle;
  return false;
}

// The answer when the file changed while it was being edited: wait until it is still.
Outcome changedMeanwhile(Waiting& waiting) {
  waiting.seen = {};
  waiting.pause = kSettle;
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

// Writes data in place of the locked file fd (read as old, status st) at target, from the first
// byte that differs. Nothing is written unless the bytes fit.
Outcome writeInPlace(const fs::path& target, int fd, const struct stat& st, std::string_view old,
                     std::string_view data, Waiting& waiting) {
  const std::size_t same = static_cast<std::size_t>(
      std::mismatch(old.begin(), old.end(), data.begin(), data.end()).first - old.begin());
  if (!withinSizeLimit(data.size())) return Outcome::Failed;
  runHook();
  // Another program may have put a new file in its place meanwhile (the change goes there), or
  // written this one.
  struct stat named {};
  struct stat now {};
  if (::lstat(target.c_str(), &named) != 0 || !sameFile(named, st)) return Outcome::Again;
  if (::fstat(fd, &now) != 0 || identityOf(now) != identityOf(st)) return changedMeanwhile(waiting);
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

// Puts data in place of the locked file fd (status old) at target through a temporary file
// beside it that is given all of the file's metadata. On any failure the file is untouched and
// no temporary file is left.
Outcome replaceFile(const fs::path& target, int fd, const struct stat& old, std::string_view data,
                    Waiting& waiting) {
  if (!withinSizeLimit(data.size())) return Outcome::Failed;
  const fs::path folder = folderOf(target);
  fs::path temporary;
  const Fd out(makeTemporary(folder, 0600, temporary));
  if (out.get() < 0) return errno == EACCES || errno == EPERM ? Outcome::InPlace : Outcome::Failed;
  const auto fail = [&](Outcome why) {
    const int error = errno;  // why it failed, for the caller
    ::unlink(temporary.c_str());
    errno = error;
    return why;
  };
  const bool sync = syncWrites.load();
  if (!writeAll(out.get(), data, 0)) return fail(Outcome::Failed);
  // The owner and group first (a setgid folder gives new files its group; a change of owner
  // clears set-id bits), then the attributes, then the mode (which also sets the ACL's mask, as
  // the old file has it).
  struct stat made {};
  if (::fstat(out.get(), &made) != 0) return fail(Outcome::Failed);
  if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
      ::fchown(out.get(), old.st_uid, old.st_gid) != 0)
    return fail(Outcome::InPlace);
  if (!copyAttributes(fd, out.get())) return fail(Outcome::InPlace);
  if (::fchmod(out.get(), old.st_mode & 07777) != 0) return fail(Outcome::Failed);
  if (sync && ::fsync(out.get()) != 0) return fail(Outcome::Failed);
  const struct stat written = statusOf(out.get());

  runHook();
  // The path may name another file by now, the file may have been made read-only, or written.
  struct stat named {};
  struct stat now {};
  if (::lstat(target.c_str(), &named) != 0 || !sameFile(named, old)) return fail(Outcome::Again);
  if (::fstat(fd, &now) != 0) return fail(Outcome::Failed);
  if (!(now.st_mode & S_IWUSR)) return fail(failWith(EACCES));
  if (identityOf(now) != identityOf(old)) return fail(changedMeanwhile(waiting));
  if (::rename(temporary.c_str(), target.c_str()) != 0)
    // A sticky folder lets only the file's owner replace it; a mount point (EBUSY) or a file
    // bind-mounted from elsewhere (EXDEV) cannot be replaced at all: Wine writes those in place.
    return fail(errno == EPERM || errno == EACCES || errno == EBUSY || errno == EXDEV
                    ? Outcome::InPlace
                    : Outcome::Failed);
  rememberLeft(out.get(), written);
  if (sync) syncFolder(folder);
  sweepLeftovers(folder);
  return Outcome::Done;
}

// Makes the file at target, which did not exist, with data. Again when another writer made it
// first.
Outcome createFile(const fs::path& target, std::string_view data) {
  if (!withinSizeLimit(data.size())) return Outcome::Failed;
  const fs::path folder = folderOf(target);
  fs::path temporary;
  const Fd out(makeTemporary(folder, 0666, temporary));
  if (out.get() < 0) return Outcome::Failed;
  const auto fail = [&](Outcome why) {
    const int error = errno;  // why it failed, for the caller
    ::unlink(temporary.c_str());
    errno = error;
    return why;
  };
  const bool sync = syncWrites.load();
  if (!writeAll(out.get(), data, 0) || (sync && ::fsync(out.get()) != 0))
    return fail(Outcome::Failed);
  const struct stat written = statusOf(out.get());
  runHook();
  // Never over a file that appeared meanwhile: its writer's change would be lost.
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno != EINVAL && errno != ENOSYS)
      return fail(errno == EEXIST ? Outcome::Again : Outcome::Failed);
    // A file system without that rename: a link cannot replace either.
    if (::link(temporary.c_str(), target.c_str()) != 0)
      return fail(errno == EEXIST ? Outcome::Again : Outcome::Failed);
    ::unlink(temporary.c_str());
  }
  rememberLeft(out.get(), written);
  if (sync) syncFolder(folder);
  sweepLeftovers(folder);
  return Outcome::Done;
}

using Edit = std::function<NewContent(std::string_view)>;

// One attempt at the rewrite of the file at target, a regular file of at most largest bytes.
Outcome writeOnce(const fs::path& target, std::size_t largest, const Edit& edit, Waiting& waiting) {
  const auto fits = [largest](const struct stat& st) {
    return S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) <= largest;
  };
  struct stat seen {};
  if (::lstat(target.c_str(), &seen) != 0) {
    if (errno != ENOENT) return Outcome::Failed;
    const NewContent made = edit({});
    if (made.kind == NewContent::Kind::Refused || made.bytes.size() > largest)
      return failWith(made.kind == NewContent::Kind::Refused ? EINVAL : EFBIG);
    return createFile(target, made.bytes);
  }
  if (S_ISLNK(seen.st_mode)) return Outcome::Again;  // made a link since it was followed
  // Read-only as Wine shows the Windows attribute: the owner may not write. Root is refused too.
  if (!fits(seen) || !(seen.st_mode & S_IWUSR)) return failWith(unfit(seen, largest));
  if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return Outcome::Failed;

  const Fd fd(::open(target.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) return errno == ENOENT || errno == ELOOP ? Outcome::Again : Outcome::Failed;
  struct stat locked {};
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
  if (!settled(identityOf(locked), waiting)) return Outcome::Wait;

  Bytes text;
  struct stat read {};
  const RegularFile::Whole whole =
      readFrom(fd.get(), static_cast<std::size_t>(locked.st_size), largest, text);
  if (whole == RegularFile::Whole::TooBig) return failWith(EFBIG);
  if (whole != RegularFile::Whole::Read || ::fstat(fd.get(), &read) != 0) return Outcome::Failed;
  if (identityOf(read) != identityOf(locked)) return changedMeanwhile(waiting);
  const NewContent change = edit(view(text));
  if (change.kind == NewContent::Kind::Refused || change.bytes.size() > largest)
    return failWith(change.kind == NewContent::Kind::Refused ? EINVAL : EFBIG);
  if (change.kind == NewContent::Kind::Same) return Outcome::Done;

  Outcome outcome = Outcome::InPlace;
  if (locked.st_nlink == 1 &&
      ::faccessat(AT_FDCWD, folderOf(target).c_str(), W_OK | X_OK, AT_EACCESS) == 0)
    outcome = replaceFile(target, fd.get(), locked, change.bytes, waiting);
  if (outcome == Outcome::InPlace)
    outcome = writeInPlace(target, fd.get(), locked, view(text), change.bytes, waiting);
  return outcome;
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
    const Outcome outcome = writeOnce(target, largest, edit, waiting);
    if (outcome == Outcome::Wait) {
      if (Clock::now() + waiting.pause > waiting.deadline) return EAGAIN;
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

}  // namespace platform::posix
