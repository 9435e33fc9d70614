#include "platform/posix/RegularFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

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
