#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "platform/posix/GameManagers.h"

namespace platform::posix::prefix {

std::optional<std::string> readManagerFile(const std::filesystem::path& file) {
  constexpr off_t kLimit = 1 << 20;
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<std::string> bytes;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kLimit) {
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
      const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    bytes = std::move(text);
  }
  ::close(fd);
  return bytes;
}

bool isExecutableFile(const std::filesystem::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

bool isPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

std::vector<std::filesystem::path> sortedEntries(const std::filesystem::path& folder, bool folders,
                                                 std::string_view suffix) {
  std::vector<std::filesystem::path> entries;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  for (const std::filesystem::directory_iterator end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (folders ? it->is_directory(typeError)
                : name.size() > suffix.size() && name.ends_with(suffix) &&
                      it->is_regular_file(typeError))
      entries.push_back(it->path());
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return a.filename().string() < b.filename().string();
  });
  return entries;
}

}  // namespace platform::posix::prefix
