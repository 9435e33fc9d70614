// The registry functions over the Wine prefix's text hives: read-only, as a 32-bit program in
// that prefix sees them.
//
//   HKEY_LOCAL_MACHINE   system.reg
//   HKEY_CURRENT_USER    user.reg
//   HKEY_USERS           two subkeys: .Default, which is userdef.reg, and the prefix's user, which
//                        is user.reg again. The user's SID is the one user.reg's header names
//                        (Wine gives every prefix's user S-1-5-21-0-0-0-1000).
//   HKEY_CLASSES_ROOT    system.reg, Software\Classes
//   HKEY_CURRENT_CONFIG  system.reg, System\CurrentControlSet\Hardware Profiles\Current
//
// Nothing is kept between calls. An open walks the subkey through one pass over the hive (one
// more for each symbolic link it follows, and for a shared class reached through one), and the
// key it opens holds only where it was found: the file and the key's stored path. A query
// reads the value with one more pass. So every call sees the files as they are then, and what a
// call holds is bounded by its answer, never by the hive's size (Hive.h).
//
// The 32-bit view of a win64 prefix, as Wine's own registry gives it to a 32-bit program:
// before each component of a subkey, and after the last, a key that has a child Wow6432Node
// stands for that child (unless the path goes on into Wow6432Node itself); there is no fallback
// to the 64-bit key, except for classes: a subkey of Software\Classes that
// Software\Classes\Wow6432Node lacks is the shared 64-bit one. Symbolic links (#link) are
// followed, at most kMaxLinks of them in one open.
//
// The program calls these functions from its one thread (the window's) only: the table of open
// keys has no lock.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "platform/Platform.h"
#include "platform/posix/Hive.h"
#include "platform/posix/HostPath.h"
#include "platform/posix/Text.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
namespace hive = posix::hive;
using hive::Survey;

constexpr std::int32_t kErrorInvalidParameter = 87;

// Symbolic links followed in one open, before it gives up on a loop.
constexpr int kMaxLinks = 16;

const std::u16string kWow6432Node = u"WOW6432NODE";
const std::u16string kDefaultUser = u".DEFAULT";
const std::u16string kWineUser = u"S-1-5-21-0-0-0-1000";
const std::vector<std::u16string> kClasses = {u"SOFTWARE", u"CLASSES"};

enum class HiveFile { System, User, UserDefault };

fs::path hivePath(HiveFile file) {
  switch (file) {
    case HiveFile::System:
      return posix::winePrefix() / "system.reg";
    case HiveFile::User:
      return posix::winePrefix() / "user.reg";
    case HiveFile::UserDefault:
      break;
  }
  return posix::winePrefix() / "userdef.reg";
}

// Where an open key is: a key's stored path in a hive, or the top of HKEY_USERS.
struct Place {
  HiveFile file = HiveFile::System;
  std::vector<std::u16string> path;  // folded, from the file's root
  bool users = false;
};

std::map<RegKey, Place> openKeys;
RegKey nextHandle = 1;

// The SID under which HKEY_USERS holds user.reg, from the file's header ("REGISTRY\User\SID").
std::u16string userSid() {
  hive::Source source(hivePath(HiveFile::User));
  const auto preamble = hive::preamble(source);
  if (preamble && preamble->base.size() == 3 && preamble->base[0] == u"REGISTRY" &&
      preamble->base[1] == u"USER")
    return preamble->base[2];
  return kWineUser;
}

std::u16string utf16Of(const std::vector<std::uint8_t>& bytes) {
  return posix::text::utf16OfBytes(bytes.data(), bytes.size());
}

bool isStringType(std::uint32_t type) {
  return type == hive::kRegSz || type == hive::kRegExpandSz || type == hive::kRegMultiSz;
}

// A walk in progress: the file, the components still to follow from its root (the first
// `fixed` of them as stored), and whether the rest go through the 32-bit view.
struct Walk {
  HiveFile file = HiveFile::System;
  std::vector<std::u16string> parts;
  std::size_t fixed = 0;
  bool view32 = false;
  int linksLeft = kMaxLinks;
};

// Goes on at the target of a #link key (\Registry\Machine\..., \Registry\User\.Default\...,
// \Registry\User\<user.reg's SID>\...) with the components not followed yet. A link names its
// target as it is stored: no 32-bit view inside it.
bool jump(const hive::Value* target, Walk& walk, std::size_t followed) {
  if (--walk.linksLeft < 0 || !target || target->type != hive::kRegLink) return false;
  std::vector<std::u16string> parts = hive::components(utf16Of(target->data));
  if (parts.size() < 2 || parts[0] != u"REGISTRY") return false;
  std::size_t from = 2;
  if (parts[1] == u"MACHINE") {
    walk.file = HiveFile::System;
  } else if (parts[1] == u"USER" && parts.size() > 2) {
    from = 3;
    if (parts[2] == kDefaultUser)
      walk.file = HiveFile::UserDefault;
    else if (parts[2] == userSid())
      walk.file = HiveFile::User;
    else
      return false;
  } else {
    return false;
  }
  parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(from));
  const std::size_t targetSize = parts.size();
  parts.insert(parts.end(), walk.parts.begin() + static_cast<std::ptrdiff_t>(followed),
               walk.parts.end());
  walk.fixed = targetSize + (walk.fixed > followed ? walk.fixed - followed : 0);
  walk.parts = std::move(parts);
  return true;
}

// Follows a walk to the key it names. Each round is one pass over one file; a round ends at
// the key, or where the walk leaves what the pass surveyed (a link, or a shared class reached
// through one) and goes on from there.
std::int32_t resolve(Walk walk, Place& place) {
  for (;;) {
    if (walk.parts.size() > hive::kMaxDepth) return kErrorFileNotFound;
    const hive::Route route{walk.parts, walk.fixed, walk.view32};
    hive::Source source(hivePath(walk.file));
    const Survey survey = hive::survey(source, route);
    if (!survey.isHive()) return kErrorFileNotFound;
    const bool view32 = walk.view32 && survey.preamble().win64;
    const std::size_t count = route.parts.size();

    Survey::Id key = Survey::kRoot;
    bool jumped = false;
    for (std::size_t j = 0; !jumped; ++j) {
      if (view32 && j >= route.fixed && !survey.isWow(key) &&
          (j == count || route.parts[j] != kWow6432Node) && survey.wow(key) != Survey::kNone) {
        key = survey.wow(key);
        if (survey.isLink(key)) {
          if (!jump(survey.linkTarget(key), walk, j)) return kErrorFileNotFound;
          jumped = true;
          break;
        }
      }
      if (j == count) break;
      Survey::Id child = survey.next(key);
      if (child == Survey::kNone && view32 && j >= route.fixed && walk.file == HiveFile::System &&
          survey.isWow(key) &&
          survey.path(key, route) == std::vector{kClasses[0], kClasses[1], kWow6432Node}) {
        // Classes are shared between the views: what Software\Classes\Wow6432Node lacks is the
        // 64-bit key of Software\Classes.
        if (survey.stepped(key)) {
          child = survey.next(survey.parent(key));
        } else {
          walk.parts.erase(walk.parts.begin(), walk.parts.begin() + static_cast<std::ptrdiff_t>(j));
          walk.parts.insert(walk.parts.begin(), kClasses.begin(), kClasses.end());
          walk.fixed = kClasses.size() + 1;
          jumped = true;
          break;
        }
      }
      if (child == Survey::kNone) return kErrorFileNotFound;
      key = child;
      if (survey.isLink(key)) {
        if (!jump(survey.linkTarget(key), walk, j + 1)) return kErrorFileNotFound;
        jumped = true;
      }
    }
    if (jumped) continue;
    place = Place{walk.file, survey.path(key, route), false};
    return kErrorSuccess;
  }
}

// Where a walk from a root handle or an open key begins: false for a handle that is neither.
bool startOf(RegKey root, Place& place, std::int32_t& status) {
  status = kErrorSuccess;
  if (const auto open = openKeys.find(root); open != openKeys.end()) {
    place = open->second;
    return true;
  }
  switch (root) {
    case kHkeyLocalMachine:
      place = Place{HiveFile::System, {}, false};
      return true;
    case kHkeyCurrentUser:
      place = Place{HiveFile::User, {}, false};
      return true;
    case kHkeyUsers:
      place = Place{HiveFile::System, {}, true};
      return true;
    case kHkeyClassesRoot:
      place = Place{HiveFile::System, kClasses, false};
      return true;
    case kHkeyCurrentConfig:
      place =
          Place{HiveFile::System,
                hive::components(u"System\\CurrentControlSet\\Hardware Profiles\\Current"), false};
      return true;
    default:
      // HKEY_PERFORMANCE_DATA and HKEY_DYN_DATA have no store in a prefix.
      status = isPredefinedRoot(root) ? kErrorFileNotFound : kErrorInvalidHandle;
      return false;
  }
}

// The key a root handle or an open key stands for, the root's own path followed as stored.
std::int32_t placeOf(RegKey key, Place& place) {
  std::int32_t status;
  if (!startOf(key, place, status)) return status;
  if (openKeys.count(key) || place.users) return kErrorSuccess;
  const std::size_t fixed = place.path.size();
  return resolve(Walk{place.file, std::move(place.path), fixed, false}, place);
}

RegKey allocateHandle(const Place& place) {
  while (openKeys.count(nextHandle))
    nextHandle = nextHandle >= kHkeyClassesRoot - 1 ? 1 : nextHandle + 1;
  const RegKey handle = nextHandle;
  openKeys.emplace(handle, place);
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

  if (start.users) {
    if (parts.empty()) {
      *result = allocateHandle(start);
      return kErrorSuccess;
    }
    if (parts[0] == kDefaultUser)
      start = Place{HiveFile::UserDefault, {}, false};
    else if (parts[0] == userSid())
      start = Place{HiveFile::User, {}, false};
    else
      return kErrorFileNotFound;
    parts.erase(parts.begin());
  }
  const std::size_t fixed = start.path.size();
  start.path.insert(start.path.end(), parts.begin(), parts.end());
  Place place;
  status = resolve(Walk{start.file, std::move(start.path), fixed, true}, place);
  if (status != kErrorSuccess) return status;
  *result = allocateHandle(place);
  return kErrorSuccess;
}

std::int32_t regQueryValueEx(RegKey key, const char* valueName, std::uint32_t* /*reserved*/,
                             std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
  Place place;
  if (const auto status = placeOf(key, place)) return status;
  if (place.users) return kErrorFileNotFound;

  hive::Source source(hivePath(place.file));
  const auto value = hive::findValue(
      source, place.path, posix::text::upperCase(posix::text::utf16Of(valueName ? valueName : "")));
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
    const std::u16string units = utf16Of(value->data);
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
