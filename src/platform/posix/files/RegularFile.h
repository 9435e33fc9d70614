// Reading small regular files on the Linux host without ever blocking: every reader of a file
// that may be a FIFO, a device or huge opens through RegularFile. Identity says which file was
// read, and as what.
//
// RegularFile opens without blocking (a FIFO never stalls the open), follows symbolic links, and
// takes regular files only: a folder, a FIFO, a socket or a device is no file. Its reads never
// block either and stop where the caller's bound says.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <new>
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

// Room for bytes that are read over at once. Below 2 MiB, from the heap; from 2 MiB on, a mapping
// of its own at a 2 MiB boundary that asks for huge pages: every fresh 4 KiB page costs a fault
// when it is first written, and where a host's virtual machine shadows the page tables, those
// faults cost a whole read of a 20 MB hive ten times over.
void* allocateBytes(std::size_t size);
void freeBytes(void* at, std::size_t size);

// The bytes of a file. Growing it leaves the new bytes unset, as they are read over at once:
// clearing a large file's buffer first would cost a good part of a read.
template <class T>
struct UnsetAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UnsetAllocator<U>;
  };
  T* allocate(std::size_t n) { return static_cast<T*>(allocateBytes(n * sizeof(T))); }
  void deallocate(T* at, std::size_t n) { freeBytes(at, n * sizeof(T)); }
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

// What a file is: which file, how long, and when its content and its status last changed. Two
// equal identities mean nobody wrote the file in between, to the resolution of its times (a file
// system may keep whole seconds, or coarser). All zero is no file (no file has inode 0).
struct Identity {
  std::uint64_t device = 0, inode = 0, size = 0;
  std::int64_t modified = 0, changed = 0;  // nanoseconds since the epoch

  bool operator==(const Identity&) const = default;
};

Identity identityOf(const struct stat& status);

// How a whole-file read ended.
enum class Whole {
  Read,    // text holds the whole file
  TooBig,  // the file holds more than bound bytes: text holds the first bound
  Failed,  // not open, or a read failed: text holds the bytes before the failure
};

// The open file fd from its first byte to its end, at most bound bytes, into text; sizeHint is
// what the file is expected to hold (the first read asks for that much).
Whole readWhole(int fd, std::size_t sizeHint, std::size_t bound, Bytes& text);

// A regular file opened for reading without blocking.
class RegularFile {
 public:
  // Opens path (through symbolic links). Not open() when it cannot be opened or is no regular
  // file.
  explicit RegularFile(const std::filesystem::path& path);

  bool open() const { return fd_.get() >= 0; }
  int fd() const { return fd_.get(); }
  // The file's status, and its identity, when it was opened.
  const struct stat& status() const { return status_; }
  Identity identity() const { return identityOf(status_); }

  // Up to room further bytes into into, never past the size the file had when opened (a file
  // that grows while it is read ends there). 0 at the end, on a read error, or when not open.
  std::size_t read(char* into, std::size_t room);
  // Goes on reading at byte offset, no further than the size the file had when opened; false
  // when it cannot (not open, offset past that size, or the seek fails).
  bool seek(std::uint64_t offset);

  using Whole = posix::Whole;
  // The file from its first byte to its end (also past the size it had when opened), at most
  // bound bytes, into text.
  Whole readWhole(std::size_t bound, Bytes& text) const;

 private:
  Fd fd_;
  struct stat status_ {};
  std::uint64_t left_ = 0;  // what read may still give
};

}  // namespace platform::posix
