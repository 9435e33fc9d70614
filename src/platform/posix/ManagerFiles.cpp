// The helpers every place of the prefix search shares (GameManagers.h).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "platform/posix/GameManagers.h"

namespace platform::posix::prefix {

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
