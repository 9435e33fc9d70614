#include "platform/posix/HostPath.h"

#include <cstdlib>
#include <string_view>
#include <system_error>

namespace platform::posix {
namespace fs = std::filesystem;

namespace {

char currentDriveLetter = 'c';

char lowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isDriveLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

bool entryExists(const fs::path& p) {
  std::error_code ec;
  return fs::symlink_status(p, ec).type() != fs::file_type::not_found && !ec;
}

// The child of folder named like component: as spelled when it exists, else the entry whose
// name differs only in ASCII letter case (the smallest such name, so the choice is stable),
// else the component as written.
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
    if (equalsIgnoringAsciiCase(name, component) && (best.empty() || name < best))
      best = std::move(name);
  }
  return best.empty() ? spelled : folder / best;
}

}  // namespace

fs::path winePrefix() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
  const char* home = std::getenv("HOME");
  return fs::path(home ? home : "") / ".wine";
}

fs::path driveRoot(char letter) {
  const fs::path prefix = winePrefix();
  const char lower = lowerAscii(letter);
  fs::path device = prefix / "dosdevices" / std::string{lower, ':'};
  if (!entryExists(device) && lower == 'c') return prefix / "drive_c";
  return device;
}

char currentDrive() {
  return currentDriveLetter;
}

void setCurrentDrive(char letter) {
  currentDriveLetter = lowerAscii(letter);
}

fs::path hostPath(const std::string& programPath) {
  std::string_view rest = programPath;
  fs::path base;
  if (!rest.empty() && rest.front() == '/') {
    base = "/";
  } else if (rest.size() >= 2 && isDriveLetter(rest[0]) && rest[1] == ':') {
    base = driveRoot(rest[0]);
    rest.remove_prefix(2);
  } else if (!rest.empty() && rest.front() == '\\') {
    base = driveRoot(currentDrive());
  } else {
    std::error_code ec;
    base = fs::current_path(ec);
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
      // Windows folds ".." by the text, not by following links.
      if (base.has_relative_path()) base = base.parent_path();
      continue;
    }
    base = resolveComponent(base, component);
  }
  return base;
}

}  // namespace platform::posix
