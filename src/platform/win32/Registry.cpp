// The registry through advapi32's A functions, always in the 32-bit view (KEY_WOW64_32KEY):
// the game's installer is a 32-bit program and wrote its entry where 32-bit programs look, and a
// 64-bit build of Kestrun must see the same keys.
//
// The program holds key handles in 32 bits. The predefined roots keep their values; a key this
// module opens is handed out as a small number standing for the HKEY in a table.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32/Text.h"

namespace platform {
namespace {

struct OpenKeys {
  std::map<RegKey, HKEY> handles;
  RegKey next = 1;
};

OpenKeys& openKeys() {
  static OpenKeys keys;
  return keys;
}

// The HKEY a program handle stands for, or nullptr when it stands for none.
HKEY toHkey(RegKey key) {
  // The predefined roots are sign-extended 32-bit values, as the Windows headers define them.
  if (isPredefinedRoot(key))
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(key)));
  const auto& handles = openKeys().handles;
  const auto found = handles.find(key);
  return found == handles.end() ? nullptr : found->second;
}

bool isText(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace

std::int32_t regOpenKeyEx(RegKey root, const char* subKey, std::uint32_t options,
                          std::uint32_t samDesired, RegKey* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  const HKEY parent = toHkey(root);
  if (parent == nullptr) return kErrorInvalidHandle;
  const win32::AnsiArg ansiSubKey(subKey);
  HKEY opened = nullptr;
  const LONG status =
      RegOpenKeyExA(parent, ansiSubKey.get(), options, samDesired | KEY_WOW64_32KEY, &opened);
  if (status != ERROR_SUCCESS) return status;
  OpenKeys& keys = openKeys();
  RegKey id = keys.next;
  while (id == 0 || isPredefinedRoot(id) || keys.handles.count(id) != 0) ++id;
  keys.next = id + 1;
  keys.handles.emplace(id, opened);
  *result = id;
  return kErrorSuccess;
}

std::int32_t regQueryValueEx(RegKey key, const char* valueName, std::uint32_t* reserved,
                             std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
  const HKEY hkey = toHkey(key);
  if (hkey == nullptr) return kErrorInvalidHandle;
  if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  const win32::AnsiArg ansiName(valueName);

  // Read the whole value into a buffer of our own, so the caller's data is written only when it
  // all fits. The system counts and fits the data as it hands it to an A function, in the ANSI
  // code page; the caller gets program text, which the contract gives room for.
  DWORD valueType = REG_NONE;
  std::vector<BYTE> bytes;
  DWORD needed = 0;
  LONG status;
  do {
    needed = 0;
    status = RegQueryValueExA(hkey, ansiName.get(), nullptr, &valueType, nullptr, &needed);
    if (status != ERROR_SUCCESS) return status;
    bytes.resize(needed);
    status = RegQueryValueExA(hkey, ansiName.get(), nullptr, &valueType, bytes.data(), &needed);
  } while (status == ERROR_MORE_DATA);  // the value grew between the two calls
  if (status != ERROR_SUCCESS) return status;
  bytes.resize(needed);

  if (type != nullptr) *type = valueType;
  if (size == nullptr) return kErrorSuccess;
  const auto available = *size;
  *size = needed;
  if (data == nullptr) return kErrorSuccess;
  if (needed > available) return kErrorMoreData;
  std::string text(bytes.begin(), bytes.end());
  if (isText(valueType)) {
    text = win32::fromAnsi(text);
    // String data shorter than the buffer that does not end in NUL gets one after it, not
    // counted, as the system writes it for an A caller.
    if (needed < available && (text.empty() || text.back() != '\0')) text.push_back('\0');
  }
  text.copy(reinterpret_cast<char*>(data), text.size());
  return kErrorSuccess;
}

std::int32_t regCloseKey(RegKey key) {
  if (isPredefinedRoot(key)) return RegCloseKey(toHkey(key));
  auto& handles = openKeys().handles;
  const auto found = handles.find(key);
  if (found == handles.end()) return kErrorInvalidHandle;
  const LONG status = RegCloseKey(found->second);
  handles.erase(found);
  return status;
}

}  // namespace platform
