#include "platform/posix/HostPath.h"

#include <iterator>
#include <optional>
#include <string_view>
#include <system_error>

#include "platform/posix/Prefix.h"
#include "platform/posix/Text.h"

namespace platform::posix {
namespace fs = std::filesystem;

namespace {

char currentDriveLetter = 'c';

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

bool entryExists(const fs::path& p) {
  std::error_code ec;
  return fs::symlink_status(p, ec).type() != fs::file_type::not_found && !ec;
}

// The child of folder named like component: as spelled when it exists, else the entry whose
// name differs only in letter case as Wine compares names (the smallest such name, so the
// choice is stable), else the component as written.
fs::path resolveComponent(const fs::path& folder, const std::string& component) {
  fs::path spelled = folder / component;
  if (entryExists(spelled)) return spelled;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return spelled;
  std::string best;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    std::string name = it->path().filename().string();
    if (text::equalsIgnoringCase(name, component) && (best.empty() || name < best))
      best = std::move(name);
  }
  return best.empty() ? spelled : folder / best;
}

std::size_t componentCount(const fs::path& path) {
  return static_cast<std::size_t>(std::distance(path.begin(), path.end()));
}

// The components of folder (absolute, as the system gives the current folder) below the root of
// the current drive when it lies on that drive, else below "/".
std::size_t depthBelowRoot(const fs::path& folder) {
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(driveRoot(currentDrive()), ec);
  const fs::path below = folder.lexically_relative(root);
  if (!ec && !below.empty() && *below.begin() != "..")
    return below == "." ? 0 : componentCount(below);
  return folder.has_relative_path() ? componentCount(folder.relative_path()) : 0;
}

}  // namespace

fs::path winePrefix() {
  return prefix::inForce()->prefix;
}

fs::path driveRoot(char letter) {
  const fs::path prefix = winePrefix();
  const char lower = text::lowerAscii(letter);
  fs::path device = prefix / "dosdevices" / std::string{lower, ':'};
  if (!entryExists(device) && lower == 'c') return prefix / "drive_c";
  return device;
}

char driveOf(std::string_view programPath) {
  return programPath.size() >= 2 && text::isAsciiLetter(programPath[0]) && programPath[1] == ':'
             ? programPath[0]
             : 0;
}

char currentDrive() {
  return currentDriveLetter;
}

void setCurrentDrive(char letter) {
  currentDriveLetter = text::lowerAscii(letter);
}

fs::path hostPath(const std::string& programPath) {
  std::string_view rest = programPath;
  fs::path base;
  // How many components of base ".." may still take away: those below the drive's root (or
  // below "/" for a folder outside every drive). Counted on first need for the current folder.
  std::optional<std::size_t> depth = 0;
  if (!rest.empty() && rest.front() == '/') {
    base = "/";
  } else if (driveOf(rest) != 0) {
    base = driveRoot(rest[0]);
    rest.remove_prefix(2);
  } else if (!rest.empty() && rest.front() == '\\') {
    base = driveRoot(currentDrive());
  } else {
    std::error_code ec;
    base = fs::current_path(ec);
    depth.reset();
  }

  std::size_t pos = 0;
  while (pos < rest.size()) {
    while (pos < rest.size() && isSeparator(rest[pos])) ++pos;
    std::size_t end = pos;
    while (end < rest.size() && !isSeparator(rest[end])) ++end;
    const std::string component(rest.substr(pos, end - pos));
    pos = end;
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      // Windows folds ".." by the text, not by following links, and stops at the drive's root.
      if (!depth) depth = depthBelowRoot(base);
      if (*depth > 0) {
        base = base.parent_path();
        --*depth;
      }
      continue;
    }
    base = resolveComponent(base, component);
    if (depth) ++*depth;
  }
  return base;
}

}  // namespace platform::posix
