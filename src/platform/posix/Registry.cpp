// The registry functions over the Wine prefix's text hives: read-only, as a 32-bit program in
// that prefix sees them.
//
//   HKEY_LOCAL_MACHINE   system.reg
//   HKEY_CURRENT_USER    user.reg
//   HKEY_USERS           one subkey, .Default, which is userdef.reg. The current user's own
//                        subkey (named by a SID we cannot know without Wine) is not offered;
//                        HKEY_CURRENT_USER reaches it.
//   HKEY_CLASSES_ROOT    system.reg, Software\Classes
//   HKEY_CURRENT_CONFIG  system.reg, System\CurrentControlSet\Hardware Profiles\Current
//
// Each hive is parsed on first use and kept, keyed by its host path, until the file's
// identity, size or times change. Open keys hold the parsed hive they point into, so a re-parse
// never leaves a handle dangling.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/Platform.h"
#include "platform/posix/Hive.h"
#include "platform/posix/HostPath.h"
#include "platform/posix/Text.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using posix::hive::Hive;
using posix::hive::Key;
using posix::hive::Value;

constexpr RegKey kClassesRoot = 0x80000000;
constexpr RegKey kCurrentUser = 0x80000001;
constexpr RegKey kLocalMachine = 0x80000002;
constexpr RegKey kUsers = 0x80000003;
constexpr RegKey kCurrentConfig = 0x80000005;
constexpr RegKey kLastRoot = 0x80000006;
constexpr RegKey kFirstRoot = kClassesRoot;

constexpr std::int32_t kErrorInvalidParameter = 87;

// Symbolic links followed in one open, before it gives up on a loop.
constexpr int kMaxLinks = 16;

const std::u16string kWow6432Node = u"WOW6432NODE";
const std::u16string kDefaultUser = u".DEFAULT";

enum class HiveFile { System, User, UserDefault };

const char* fileName(HiveFile file) {
  switch (file) {
    case HiveFile::System:
      return "system.reg";
    case HiveFile::User:
      return "user.reg";
    case HiveFile::UserDefault:
      break;
  }
  return "userdef.reg";
}

// What tells one version of a hive file from another.
struct Stamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modifiedSec = 0, modifiedNsec = 0, changedSec = 0, changedNsec = 0;
  bool operator==(const Stamp&) const = default;
};

struct Cached {
  Stamp stamp;
  std::shared_ptr<const Hive> hive;  // nullptr: the file is not a hive
};

// Where an open key points: a key of a parsed hive, or the top of HKEY_USERS.
struct Place {
  std::shared_ptr<const Hive> hive;
  const Key* key = nullptr;
  bool users = false;
};

std::mutex registryMutex;
std::map<std::string, Cached> hiveCache;
std::map<RegKey, Place> openKeys;
RegKey nextHandle = 1;

std::shared_ptr<const Hive> loadHive(HiveFile file) {
  const fs::path path = posix::winePrefix() / fileName(file);
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    hiveCache.erase(path.string());
    return nullptr;
  }
  const Stamp stamp{info.st_dev,         info.st_ino,          info.st_size,
                    info.st_mtim.tv_sec, info.st_mtim.tv_nsec, info.st_ctim.tv_sec,
                    info.st_ctim.tv_nsec};
  auto found = hiveCache.find(path.string());
  if (found != hiveCache.end() && found->second.stamp == stamp) return found->second.hive;

  // Read as it stands: a hive being rewritten may be shorter than stat said.
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  std::string text(static_cast<std::size_t>(info.st_size), '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  std::shared_ptr<const Hive> hive = posix::hive::parse(text);
  hiveCache[path.string()] = Cached{stamp, hive};
  return hive;
}

// The folded, non-empty components of a backslash-separated path.
std::vector<std::u16string> splitPath(std::u16string_view path) {
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = std::min(path.find(u'\\', start), path.size());
    if (end > start) parts.push_back(posix::text::upperCase(path.substr(start, end - start)));
    start = end + 1;
  }
  return parts;
}

std::u16string utf16Of(const std::vector<std::uint8_t>& bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return text;
}

bool isStringType(std::uint32_t type) {
  return type == posix::hive::kRegSz || type == posix::hive::kRegExpandSz ||
         type == posix::hive::kRegMultiSz;
}

std::int32_t walk(Place& place, const std::vector<std::u16string>& parts, std::size_t from,
                  bool view32, int& linksLeft);

// Replaces place, a #link key, by the key its SymbolicLinkValue names
// (\Registry\Machine\..., \Registry\User\.Default\... or \Registry\User\<user.reg's SID>\...).
std::int32_t followLink(Place& place, int& linksLeft) {
  if (--linksLeft < 0) return kErrorFileNotFound;
  const auto target = place.key->values.find(u"SYMBOLICLINKVALUE");
  if (target == place.key->values.end() || target->second.type != posix::hive::kRegLink)
    return kErrorFileNotFound;
  const std::vector<std::u16string> parts = splitPath(utf16Of(target->second.data));
  if (parts.size() < 2 || parts[0] != u"REGISTRY") return kErrorFileNotFound;

  std::shared_ptr<const Hive> hive;
  std::size_t from = 2;
  if (parts[1] == u"MACHINE") {
    hive = loadHive(HiveFile::System);
  } else if (parts[1] == u"USER" && parts.size() > 2) {
    from = 3;
    if (parts[2] == kDefaultUser) {
      hive = loadHive(HiveFile::UserDefault);
    } else {
      hive = loadHive(HiveFile::User);
      if (hive &&
          !std::equal(parts.begin(), parts.begin() + 3, hive->base.begin(), hive->base.end()))
        hive = nullptr;
    }
  }
  if (!hive) return kErrorFileNotFound;
  place = Place{hive, &hive->root, false};
  // A link names its target as it is stored: no 32-bit redirection inside it.
  return walk(place, parts, from, false, linksLeft);
}

// In the 32-bit view of a 64-bit prefix, a key with a Wow6432Node child stands for that child,
// unless the path itself goes on into Wow6432Node.
std::int32_t redirect(Place& place, const std::u16string* next, int& linksLeft) {
  if (!place.hive->win64 || (next && *next == kWow6432Node)) return kErrorSuccess;
  const auto wow = place.key->children.find(kWow6432Node);
  if (wow == place.key->children.end()) return kErrorSuccess;
  place.key = wow->second.get();
  return place.key->link ? followLink(place, linksLeft) : kErrorSuccess;
}

std::int32_t walk(Place& place, const std::vector<std::u16string>& parts, std::size_t from,
                  bool view32, int& linksLeft) {
  for (std::size_t i = from; i < parts.size(); ++i) {
    if (place.users) {
      if (parts[i] != kDefaultUser) return kErrorFileNotFound;
      auto hive = loadHive(HiveFile::UserDefault);
      if (!hive) return kErrorFileNotFound;
      place = Place{hive, &hive->root, false};
      continue;
    }
    if (view32) {
      if (const auto status = redirect(place, &parts[i], linksLeft)) return status;
    }
    const auto child = place.key->children.find(parts[i]);
    if (child == place.key->children.end()) return kErrorFileNotFound;
    place.key = child->second.get();
    if (place.key->link) {
      if (const auto status = followLink(place, linksLeft)) return status;
    }
  }
  if (view32 && !place.users) return redirect(place, nullptr, linksLeft);
  return kErrorSuccess;
}

// The place a root handle or an open handle stands for.
std::int32_t rootPlace(RegKey root, Place& place) {
  if (const auto open = openKeys.find(root); open != openKeys.end()) {
    place = open->second;
    return kErrorSuccess;
  }
  const char* below = nullptr;
  HiveFile file = HiveFile::System;
  switch (root) {
    case kLocalMachine:
      break;
    case kCurrentUser:
      file = HiveFile::User;
      break;
    case kUsers:
      place = Place{nullptr, nullptr, true};
      return kErrorSuccess;
    case kClassesRoot:
      below = "Software\\Classes";
      break;
    case kCurrentConfig:
      below = "System\\CurrentControlSet\\Hardware Profiles\\Current";
      break;
    default:
      // HKEY_PERFORMANCE_DATA and HKEY_DYN_DATA have no store in a prefix.
      return root >= kFirstRoot && root <= kLastRoot ? kErrorFileNotFound : kErrorInvalidHandle;
  }
  auto hive = loadHive(file);
  if (!hive) return kErrorFileNotFound;
  place = Place{hive, &hive->root, false};
  if (!below) return kErrorSuccess;
  int linksLeft = kMaxLinks;
  return walk(place, splitPath(posix::text::utf16Of(below)), 0, false, linksLeft);
}

RegKey allocateHandle(const Place& place) {
  while (openKeys.count(nextHandle)) nextHandle = nextHandle >= kFirstRoot - 1 ? 1 : nextHandle + 1;
  const RegKey handle = nextHandle;
  openKeys.emplace(handle, place);
  nextHandle = nextHandle >= kFirstRoot - 1 ? 1 : nextHandle + 1;
  return handle;
}

}  // namespace

std::int32_t regOpenKeyEx(RegKey root, const char* subKey, std::uint32_t /*options*/,
                          std::uint32_t /*samDesired*/, RegKey* result) {
  if (!result) return kErrorInvalidParameter;
  *result = 0;
  const std::lock_guard lock(registryMutex);
  Place place;
  if (const auto status = rootPlace(root, place)) return status;
  const std::u16string path = posix::text::utf16Of(subKey ? subKey : "");
  if (!path.empty() && path.front() == u'\\') return kErrorBadPathname;
  int linksLeft = kMaxLinks;
  if (const auto status = walk(place, splitPath(path), 0, true, linksLeft)) return status;
  *result = allocateHandle(place);
  return kErrorSuccess;
}

std::int32_t regQueryValueEx(RegKey key, const char* valueName, std::uint32_t* /*reserved*/,
                             std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
  const std::lock_guard lock(registryMutex);
  Place place;
  if (const auto open = openKeys.find(key); open != openKeys.end())
    place = open->second;
  else if (key < kFirstRoot || key > kLastRoot)
    return kErrorInvalidHandle;
  else if (const auto status = rootPlace(key, place))
    return status;
  if (place.users) return kErrorFileNotFound;

  const auto found = place.key->values.find(
      posix::text::upperCase(posix::text::utf16Of(valueName ? valueName : "")));
  if (found == place.key->values.end()) return kErrorFileNotFound;
  const Value& value = found->second;

  const bool isString = isStringType(value.type);
  std::string text;
  const std::uint8_t* bytes = value.data.data();
  std::size_t length = value.data.size();
  if (isString) {
    text = posix::text::utf8Of(utf16Of(value.data));
    bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    length = text.size();
  }
  if (length > UINT32_MAX) return kErrorMoreData;
  const auto needed = static_cast<std::uint32_t>(length);

  if (type) *type = value.type;
  if (!data) {
    if (size) *size = needed;
    return kErrorSuccess;
  }
  if (!size) return kErrorInvalidParameter;
  if (needed > *size) {
    *size = needed;
    return kErrorMoreData;
  }
  if (needed) std::memcpy(data, bytes, needed);
  if (isString && needed < *size && (needed == 0 || bytes[needed - 1] != 0)) data[needed] = 0;
  *size = needed;
  return kErrorSuccess;
}

std::int32_t regCloseKey(RegKey key) {
  const std::lock_guard lock(registryMutex);
  if (openKeys.erase(key)) return kErrorSuccess;
  return key >= kFirstRoot && key <= kLastRoot ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace platform
