// The registry functions over the Wine prefix's text hives: read-only, as a 32-bit program in
// that prefix sees them.
//
//   HKEY_LOCAL_MACHINE   system.reg
//   HKEY_CURRENT_USER    user.reg
//   HKEY_USERS           two subkeys: .Default, which is userdef.reg, and the prefix's user, which
//                        is user.reg again (hive::usersFile).
//   HKEY_CLASSES_ROOT    system.reg, Software\Classes
//   HKEY_CURRENT_CONFIG  system.reg, System\CurrentControlSet\Hardware Profiles\Current
//
// An open key is where hive::walk found it: the file, the key's stored path, the hive's text
// as the walk read it and where the key's lines are in it. A query reads those lines alone, so
// opening a key and reading a value reads the hive once; a hive changed since the open is
// walked again. So every call sees the files as they are then. An open key holds its hive's
// text until it is closed. The 32-bit view, shared classes and symbolic links are the walk's
// (Hive.h).
//
// The program calls these functions from its one thread (the window's) only: the table of open
// keys has no lock.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "platform/Platform.h"
#include "platform/posix/HostPath.h"
#include "platform/posix/Text.h"
#include "platform/posix/registry/Hive.h"

namespace platform {
namespace {

namespace hive = posix::hive;
using hive::File;

constexpr std::int32_t kErrorInvalidParameter = 87;

// What an open key stands for: a key a walk reached, or the top of HKEY_USERS.
struct Place {
  hive::Key key;
  bool users = false;
};

std::map<RegKey, Place> openKeys;
RegKey nextHandle = 1;

bool isStringType(std::uint32_t type) {
  return type == hive::kRegSz || type == hive::kRegExpandSz || type == hive::kRegMultiSz;
}

// Where a walk from a root handle or an open key begins, as a path to walk with nothing of its
// own yet; false for a handle that is neither.
bool startOf(RegKey root, Place& place, std::int32_t& status) {
  status = kErrorSuccess;
  if (const auto open = openKeys.find(root); open != openKeys.end()) {
    place = open->second;
    return true;
  }
  place = Place{};
  hive::Path& path = place.key.asked;
  switch (root) {
    case kHkeyLocalMachine:
      path.file = File::System;
      break;
    case kHkeyCurrentUser:
      path.file = File::User;
      break;
    case kHkeyUsers:
      place.users = true;
      return true;
    case kHkeyClassesRoot:
      path.parts = hive::kClasses;
      break;
    case kHkeyCurrentConfig:
      path.parts = hive::components(u"System\\CurrentControlSet\\Hardware Profiles\\Current");
      break;
    default:
      // HKEY_PERFORMANCE_DATA and HKEY_DYN_DATA have no store in a prefix.
      status = isPredefinedRoot(root) ? kErrorFileNotFound : kErrorInvalidHandle;
      return false;
  }
  path.fixed = path.parts.size();
  place.key.file = path.file;
  place.key.stored = path.parts;
  return true;
}

// The key a root handle or an open key stands for, the root's own path followed as stored.
std::int32_t placeOf(RegKey key, Place& place) {
  std::int32_t status;
  if (!startOf(key, place, status)) return status;
  if (openKeys.count(key) || place.users) return kErrorSuccess;
  auto found = hive::walk(posix::winePrefix(), place.key.asked);
  if (!found) return kErrorFileNotFound;
  place.key = std::move(*found);
  return kErrorSuccess;
}

RegKey allocateHandle(Place place) {
  while (openKeys.count(nextHandle))
    nextHandle = nextHandle >= kHkeyClassesRoot - 1 ? 1 : nextHandle + 1;
  const RegKey handle = nextHandle;
  openKeys.emplace(handle, std::move(place));
  nextHandle = nextHandle >= kHkeyClassesRoot - 1 ? 1 : nextHandle + 1;
  return handle;
}

}  // namespace

std::int32_t regOpenKeyEx(RegKey root, const char* subKey, std::uint32_t /*options*/,
                          std::uint32_t /*samDesired*/, RegKey* result) {
  if (!result) return kErrorInvalidParameter;
  *result = 0;
  Place start;
  std::int32_t status;
  if (!startOf(root, start, status)) return status;
  std::u16string path = posix::text::utf16Of(subKey ? subKey : "");
  // Windows skips one leading backslash under HKEY_CLASSES_ROOT itself, nowhere else.
  if (root == kHkeyClassesRoot && !path.empty() && path.front() == u'\\') path.erase(0, 1);
  if (!path.empty() && path.front() == u'\\') return kErrorBadPathname;
  std::vector<std::u16string> parts = hive::components(path);
  if (parts.size() > hive::kMaxDepth) return kErrorFileNotFound;

  const std::filesystem::path prefix = posix::winePrefix();
  if (start.users) {
    if (parts.empty()) {
      *result = allocateHandle(start);
      return kErrorSuccess;
    }
    const std::optional<File> user = hive::usersFile(prefix, parts[0]);
    if (!user) return kErrorFileNotFound;
    start.key.file = *user;
    parts.erase(parts.begin());
  }
  hive::Path walk{start.key.file, start.key.stored, start.key.stored.size(), true};
  walk.parts.insert(walk.parts.end(), parts.begin(), parts.end());
  auto found = hive::walk(prefix, walk);
  if (!found) return kErrorFileNotFound;
  *result = allocateHandle(Place{std::move(*found), false});
  return kErrorSuccess;
}

std::int32_t regQueryValueEx(RegKey key, const char* valueName, std::uint32_t* /*reserved*/,
                             std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
  Place place;
  if (const auto status = placeOf(key, place)) return status;
  if (place.users) return kErrorFileNotFound;

  const auto value =
      hive::query(posix::winePrefix(), place.key,
                  posix::text::upperCase(posix::text::utf16Of(valueName ? valueName : "")));
  // A key walked again because its hive changed keeps what the walk found.
  if (const auto open = openKeys.find(key); open != openKeys.end()) open->second = place;
  if (!value) return kErrorFileNotFound;

  // Sizes count as the ANSI code page (cp1252) holds the data: one byte for each UTF-16 unit of
  // a string. The caller still receives program text, UTF-8, up to kTextBytesPerAnsiByte bytes
  // for each byte counted.
  const bool isString = isStringType(value->type);
  std::string text;
  const std::uint8_t* bytes = value->data.data();
  std::size_t length = value->data.size();
  std::size_t counted = length;
  if (isString) {
    const std::u16string units = posix::text::utf16OfBytes(value->data.data(), value->data.size());
    text = posix::text::utf8Of(units);
    bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    length = text.size();
    counted = units.size();
  }
  if (counted > UINT32_MAX) return kErrorMoreData;
  const auto needed = static_cast<std::uint32_t>(counted);

  if (type) *type = value->type;
  if (!data) {
    if (size) *size = needed;
    return kErrorSuccess;
  }
  if (!size) return kErrorInvalidParameter;
  if (needed > *size) {
    *size = needed;
    return kErrorMoreData;
  }
  if (length) std::memcpy(data, bytes, length);
  if (isString && needed < *size && (length == 0 || bytes[length - 1] != 0)) data[length] = 0;
  *size = needed;
  return kErrorSuccess;
}

std::int32_t regCloseKey(RegKey key) {
  if (openKeys.erase(key)) return kErrorSuccess;
  return isPredefinedRoot(key) ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace platform
