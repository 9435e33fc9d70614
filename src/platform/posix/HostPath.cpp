#include "platform/posix/HostPath.h"

#include <cstdlib>
#include <string_view>
#include <system_error>

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
    if (text::equalsIgnoringAsciiCase(name, component) && (best.empty() || name < best))
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
