#include "platform/posix/files/TemporaryFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace platform::posix {

namespace fs = std::filesystem;

namespace {

// A temporary file's name is kPrefix, the writer's process id in decimal, '-' and kRandomDigits
// lower-case hex digits.
constexpr std::string_view kPrefix = ".kestrun-";
constexpr std::size_t kRandomDigits = 8;

// The writer's process id when name is a temporary file's name, exactly; 0 for any other name.
pid_t writerOf(std::string_view name) {
  if (!name.starts_with(kPrefix)) return 0;
  name.remove_prefix(kPrefix.size());
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || name.front() == '0' ||
      name.size() - dash - 1 != kRandomDigits ||
      name.find_first_not_of("0123456789abcdef", dash + 1) != std::string_view::npos)
    return 0;
  pid_t pid = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + dash, pid);
  return error == std::errc() && end == name.data() + dash && pid > 0 ? pid : 0;
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

}  // namespace

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

TemporaryFile::TemporaryFile(const fs::path& folder, mode_t mode) {
  static thread_local std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "%.*s%ld-%0*x", static_cast<int>(kPrefix.size()),
                  kPrefix.data(), static_cast<long>(::getpid()), static_cast<int>(kRandomDigits),
                  static_cast<unsigned>(random()));
    path_ = folder / name;
    fd_.reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (made() || errno != EEXIST) return;
  }
  errno = EEXIST;
}

TemporaryFile::~TemporaryFile() {
  if (!made() || committed_) return;
  const int error = errno;  // why the write failed, for the rewrite's caller
  ::unlink(path_.c_str());
  errno = error;
}

bool TemporaryFile::takeOwnerAndAttributes(int like, const struct stat& likeStatus) {
  struct stat made {};
  if (::fstat(fd_.get(), &made) != 0) return false;
  if ((made.st_uid != likeStatus.st_uid || made.st_gid != likeStatus.st_gid) &&
      ::fchown(fd_.get(), likeStatus.st_uid, likeStatus.st_gid) != 0)
    return false;
  return copyAttributes(like, fd_.get());
}

bool TemporaryFile::replace(const fs::path& target) {
  committed_ = ::rename(path_.c_str(), target.c_str()) == 0;
  return committed_;
}

bool TemporaryFile::create(const fs::path& target) {
  if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
    return committed_ = true;
  // A file system without that rename: a link cannot replace either.
  if ((errno != EINVAL && errno != ENOSYS) || ::link(path_.c_str(), target.c_str()) != 0)
    return false;
  ::unlink(path_.c_str());
  return committed_ = true;
}

void sweepLeftovers(const fs::path& folder) {
  static std::mutex sweptMutex;
  static std::set<fs::path> swept;
  {
    std::lock_guard<std::mutex> lock(sweptMutex);
    if (!swept.insert(folder).second) return;
  }
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const pid_t writer = writerOf(it->path().filename().native());
    std::error_code typeError;
    if (writer == 0 || writer == ::getpid() || !fs::is_regular_file(it->symlink_status(typeError)))
      continue;
    if (::kill(writer, 0) != 0 && errno == ESRCH) ::unlink(it->path().c_str());
  }
}

}  // namespace platform::posix
