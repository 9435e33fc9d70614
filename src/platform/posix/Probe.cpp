// The entry probe on Linux: one entry looked up by its program path, as Wine shows it to a
// Windows program.
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "platform/posix/HostPath.h"

namespace platform {
namespace {

// DOS attribute bits as Wine stores them.
constexpr long kDosHidden = 0x2;
constexpr long kDosSystem = 0x4;

// The last component of a program path as written: what follows the drive and the last
// separator. Empty for a path that ends in a separator or names only a drive.
std::string_view lastComponent(std::string_view path) {
  if (platform::posix::driveOf(path)) path.remove_prefix(2);
  const auto cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// The DOS attributes Wine keeps in user.DOSATTRIB, as text such as "0x22". The attribute is
// read through a symbolic link, from its target, as Wine does. No attribute, or one we cannot
// read, means none set.
long dosAttributes(const std::string& hostPath) {
  char text[64];
  const ssize_t size = ::getxattr(hostPath.c_str(), "user.DOSATTRIB", text, sizeof text - 1);
  if (size <= 2) return 0;
  text[size] = '\0';  // Samba stores the text with its NUL, Wine without
  if (text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return 0;
  char* end = nullptr;
  const long attributes = std::strtol(text + 2, &end, 16);
  return (end != text + 2 && *end == '\0') ? attributes : 0;
}

}  // namespace

std::string probeEntry(const std::string& path, int attributes) {
  // Windows names never hold wildcards (nor the DOS ones, < > "), so a path with one names no
  // entry. We do not expand it as a pattern: the probe looks up one entry by its name.
  if (path.find_first_of("*?<>\"") != std::string::npos) return {};

  const std::string_view written = lastComponent(path);
  if (written.empty() || written == "." || written == "..") return {};

  const std::filesystem::path host = posix::hostPath(path);
  const std::string name = host.filename().string();
  // Wine shows names that begin with a dot as hidden.
  if (name.empty() || name.front() == '.') return {};

  // stat follows a symbolic link: the entry has the kind of its target. A missing entry or a
  // broken link names nothing.
  struct stat info {};
  if (::stat(host.c_str(), &info) != 0) return {};
  const bool file = S_ISREG(info.st_mode);
  const bool folder = S_ISDIR(info.st_mode);
  if (!(file || (folder && (attributes & kAttrDirectory) != 0))) return {};

  if ((dosAttributes(host.string()) & (kDosHidden | kDosSystem)) != 0) return {};
  return name;
}

}  // namespace platform
