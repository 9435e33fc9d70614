#include "platform/posix/files/RegularFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

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

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t inHugePages(std::size_t size) {
  return (size + kHugePage - 1) / kHugePage * kHugePage;
}

}  // namespace

void* allocateBytes(std::size_t size) {
  if (size < kHugePage) return ::operator new(size);
  // Mapped with a huge page to spare, so that a 2 MiB boundary lies in it; the rest is given back.
  const std::size_t length = inHugePages(size);
  void* mapped = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t at = (start + kHugePage - 1) & ~std::uintptr_t{kHugePage - 1};
  if (at > start) ::munmap(mapped, at - start);
  if (const std::size_t after = start + kHugePage - at)
    ::munmap(reinterpret_cast<void*>(at + length), after);
  ::madvise(reinterpret_cast<void*>(at), length, MADV_HUGEPAGE);  // a hint: 4 KiB pages without
  return reinterpret_cast<void*>(at);
}

void freeBytes(void* at, std::size_t size) {
  if (size < kHugePage)
    ::operator delete(at);
  else
    ::munmap(at, inHugePages(size));
}

namespace {

std::int64_t nanoseconds(const timespec& t) {
  return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

}  // namespace

Identity identityOf(const struct stat& status) {
  return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
          static_cast<std::uint64_t>(status.st_size), nanoseconds(status.st_mtim),
          nanoseconds(status.st_ctim)};
}

Whole readWhole(int fd, std::size_t sizeHint, std::size_t bound, Bytes& text) {
  text.resize(std::min(sizeHint, bound) + 1);
  std::size_t have = 0;
  Whole result = Whole::Read;
  for (;;) {
    if (have == text.size()) text.resize(std::min(text.size() * 2, bound + 1));
    const ssize_t got =
        ::pread(fd, text.data() + have, text.size() - have, static_cast<off_t>(have));
    if (got > 0) {
      have += static_cast<std::size_t>(got);
      if (have <= bound) continue;
      have = bound;
      result = Whole::TooBig;
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else if (got < 0) {
      result = Whole::Failed;
    }
    break;
  }
  text.resize(have);
  return result;
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

RegularFile::Whole RegularFile::readWhole(std::size_t bound, Bytes& text) const {
  text.clear();
  if (!open()) return Whole::Failed;
  return posix::readWhole(fd_.get(), static_cast<std::size_t>(status_.st_size), bound, text);
}

}  // namespace platform::posix
