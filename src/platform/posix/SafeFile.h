// Reading and replacing small regular files safely on the Linux host: the profile writes use it,
// and any reader of a file that may be a FIFO, a device or huge opens through it.
//
// Reading. RegularFile opens without blocking (a FIFO never stalls the open), follows symbolic
// links, and takes regular files only: a folder, a FIFO, a socket or a device is no file. Its
// reads never block either and stop where the caller's bound says.
//
// Replacing. rewriteFile(path, largest, edit) reads the file whole, asks edit for its new bytes
// and puts them in its place so that the file is always either the old one or the new one:
//   - It writes through symbolic links to their final target (relative links resolve against
//     the link's folder; a loop of links fails).
//   - Only regular files of at most largest bytes are rewritten, and only into at most largest
//     bytes; a missing file is made (edit is given no bytes), never over a file that appears
//     meanwhile.
//   - A file whose owner may not write it (the Windows read-only attribute, as Wine shows it) is
//     never written, even by root; otherwise access is as the system judges it (owner, group,
//     others and ACL, with the effective ids).
//   - Writers take an open-file-description lock on the file for the whole read, edit and
//     replace, so two writers (two Kestruns, or Kestrun and a program that locks) never lose each
//     other's change. A writer that waited while another replaced the file starts again on the
//     new one. A lock another program holds (a read lock too) is waited for, not without end.
//   - It builds only on a settled file. Programs that do not lock (Wine saves a profile by
//     truncating it and writing its lines) are seen by what the file is: inode, size,
//     modification and change times, taken before the edit and again just before the replace.
//     A file changed meanwhile, or modified less than 50 ms ago, is waited for until it has been
//     still that long and then read again; a file exactly as this process's last write left it
//     needs no wait, so writes in a row run at full speed. Left: a save that begins in the
//     microseconds between the last check and the rename goes to the replaced file.
//   - Waiting for a lock and for the file to settle ends at the caller's deadline; then the
//     write fails.
//   - Normally the new bytes go to a temporary file beside the old one (named ".kestrun-", the
//     writer's process id, '-' and random hex digits), which is given the old file's owner and
//     group (also where the folder would give another group), extended attributes (Wine's
//     user.DOSATTRIB, the POSIX ACL) and mode, flushed and renamed over it.
//   - In place (new bytes from the first change on, then the length, then a flush) when a
//     replacement could not be the same file to everyone who looks: the file has several hard
//     links, its folder may not be written by us, its owner or an attribute cannot be given to a
//     new file, or it cannot be renamed over (a mount point, a file bind-mounted from elsewhere),
//     as Wine writes those. A crash or power cut during an in-place write can leave the file
//     damaged from the changed byte on; nothing is written unless the bytes fit: space is
//     reserved first, and where the file system cannot reserve (ext2, some NFS and FUSE), its
//     free space must cover the bytes, or the write fails before the file is touched.
//   - The file-size limit (ulimit -f) is checked before either way; SIGXFSZ, whose default would
//     end the program, is ignored from the first write on (unless the program handles it), so a
//     write past the limit is a failed write.
//   - Each folder written into is swept once per run of the temporary files of writers that no
//     longer run (killed mid-write); a live writer's file, and any other name, is never touched.
// Every failure leaves the old file as it was and no temporary file behind.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::posix {

// Owns an open file descriptor.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept;
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void reset(int fd = -1);

 private:
  int fd_;
};

// The bytes of a file. Growing it leaves the new bytes unset, as they are read over at once:
// clearing a large file's buffer first would cost a good part of a read.
template <class T>
struct UnsetAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UnsetAllocator<U>;
  };
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
  template <class U>
  void construct(U* at) {
    ::new (static_cast<void*>(at)) U;  // default-initialised: left unset
  }
};
using Bytes = std::vector<char, UnsetAllocator<char>>;

inline std::string_view view(const Bytes& bytes) {
  return std::string_view(bytes.data(), bytes.size());
}

// A regular file opened for reading without blocking.
class RegularFile {
 public:
  // Opens path (through symbolic links). Not open() when it cannot be opened or is no regular
  // file.
  explicit RegularFile(const std::filesystem::path& path);

  bool open() const { return fd_.get() >= 0; }
  int fd() const { return fd_.get(); }
  // The file's status when it was opened.
  const struct stat& status() const { return status_; }

  // Up to room further bytes into into, never past the size the file had when opened (a file
  // that grows while it is read ends there). 0 at the end, on a read error, or when not open.
  std::size_t read(char* into, std::size_t room);
  // Goes on reading at byte offset, no further than the size the file had when opened; false
  // when it cannot (not open, offset past that size, or the seek fails).
  bool seek(std::uint64_t offset);

  enum class Whole {
    Read,    // text holds the whole file
    TooBig,  // the file holds more than bound bytes: text holds the first bound
    Failed,  // not open, or a read failed: text holds the bytes before the failure
  };
  // The file from its first byte to its end (also past the size it had when opened), at most
  // bound bytes, into text.
  Whole readWhole(std::size_t bound, Bytes& text) const;

 private:
  Fd fd_;
  struct stat status_ {};
  std::uint64_t left_ = 0;  // what read may still give
};

// What an edit makes of a file's bytes.
struct NewContent {
  enum class Kind {
    Same,     // nothing to write: the write succeeds without touching the file
    Refused,  // the write fails without touching the file
    Changed,  // bytes replace the file's content
  };
  Kind kind = Kind::Same;
  std::string bytes;
};

// Rewrites the regular file at path (made when missing) with edit's result for its current
// bytes, as the top of this header says. edit may be called more than once (once per attempt,
// each time with the bytes then read). 0 when written or nothing was to be written; otherwise,
// the file as it was, why not as an errno value: EAGAIN locked by another program or written
// by one until deadline, EACCES read-only (or not to be written by us), EISDIR no regular file,
// EFBIG more than largest bytes or past the file-size limit, EINVAL refused by edit, ELOOP a
// loop of links, ENOSPC, EIO... as the system gave it. Blocks the caller while it waits, until
// deadline at most.
int rewriteFile(const std::filesystem::path& path, std::size_t largest,
                const std::function<NewContent(std::string_view current)>& edit,
                std::chrono::steady_clock::time_point deadline);

}  // namespace platform::posix
