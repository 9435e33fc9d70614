// What the readers of the places share (ManagerFiles.h), and where a Flatpak app's files land
// (Places.h).
#include "platform/posix/managers/ManagerFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "platform/posix/files/RegularFile.h"
#include "platform/posix/managers/Places.h"

namespace platform::posix::managers {

namespace fs = std::filesystem;

Places Places::ofFlatpak(std::string_view app) const {
  const fs::path appHome = home / ".var/app" / app;
  return {appHome, appHome / "data", appHome / "config", path, steamExtraCompatTools};
}

std::array<Places, 2> Places::nativeThenFlatpak(std::string_view app) const {
  return {*this, ofFlatpak(app)};
}

std::optional<std::string> readManagerFile(const fs::path& file) {
  const RegularFile opened(file);
  if (!opened.open() || opened.status().st_size > kManagerFileLimit) return std::nullopt;
  // Read to the end, but never past the limit: the file may grow while it is read.
  Bytes text;
  if (opened.readWhole(kManagerFileLimit, text) != RegularFile::Whole::Read) return std::nullopt;
  return std::string(view(text));
}

bool isExecutableFile(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

fs::path findInPath(const std::optional<std::string>& path, std::string_view name) {
  if (!path) return {};
  std::string_view rest = *path;
  while (true) {
    const std::size_t colon = rest.find(':');
    const std::string_view entry = rest.substr(0, colon);
    if (!entry.empty() && entry.front() == '/') {
      const fs::path candidate = fs::path(entry) / name;
      if (isExecutableFile(candidate)) return candidate;
    }
    if (colon == std::string_view::npos) return {};
    rest.remove_prefix(colon + 1);
  }
}

bool sameEntry(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

bool isPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

fs::path runnerBelow(const fs::path& folder, const std::string& name, const fs::path& below) {
  return isPlainName(name) ? folder / name / below : fs::path();
}

std::vector<fs::path> sortedEntries(const fs::path& folder, bool folders, std::string_view suffix) {
  std::vector<fs::path> entries;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
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

fs::path fromHome(const std::string& recorded, const fs::path& home) {
  if (recorded == "~") return home;
  if (!recorded.starts_with("~/")) return recorded;
  // The rest, less the slashes that begin it: appended as it is, "/x" would replace the home.
  const std::size_t rest = recorded.find_first_not_of('/', 1);
  return home / (rest == std::string::npos ? std::string() : recorded.substr(rest));
}

bool isVariableName(std::string_view name) {
  return !name.empty() && name.find_first_of(std::string_view("=\0", 2)) == std::string_view::npos;
}

}  // namespace platform::posix::managers
