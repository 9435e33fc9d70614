// The Windows side of the registry differential test: General's ReadRegString itself, over the
// real RegOpenKeyExA / RegQueryValueExA / RegCloseKey, opened in the 32-bit view as the game
// sees the registry.
//
//   registry_oracle QUERIES RESULTS
//   registry_oracle --probe           exits 0: says whether Wine runs this build (32-bit or not)
//
// QUERIES has one query a line: the key's full path, a tab, the value's name. RESULTS gets one
// string (Batch.h) a query: the text ReadRegString gave, as UTF-8 (the A functions hand back the
// code page's bytes; the Linux host works in UTF-8, so both are compared as UTF-8).
#include <windows.h>

#include <cstdint>
#include <map>
#include <sstream>
#include <string>

#include "Batch.h"
#include "platform/Platform.h"
#include "ui/Host.h"

// The one message ReadRegString can show is about a malformed path: answered at once.
int ui::msgBox(const std::string&, int) {
  return ui::kOk;
}

namespace {

std::map<platform::RegKey, HKEY> handles;
platform::RegKey nextHandle = 0x100;

HKEY handleOf(platform::RegKey key) {
  // The predefined roots are 32-bit values sign-extended to a pointer, as winreg.h makes them.
  if (key >= 0x80000000u)
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(key)));
  const auto found = handles.find(key);
  return found == handles.end() ? nullptr : found->second;
}

}  // namespace

namespace platform {

std::int32_t regOpenKeyEx(RegKey root, const char* subKey, std::uint32_t options,
                          std::uint32_t samDesired, RegKey* result) {
  HKEY opened = nullptr;
  const LONG status =
      RegOpenKeyExA(handleOf(root), subKey, options, samDesired | KEY_WOW64_32KEY, &opened);
  if (status == ERROR_SUCCESS) {
    handles[nextHandle] = opened;
    *result = nextHandle++;
  }
  return status;
}

std::int32_t regQueryValueEx(RegKey key, const char* valueName, std::uint32_t* reserved,
                             std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
  DWORD t = 0, n = size ? *size : 0;
  const LONG status = RegQueryValueExA(handleOf(key), valueName, reinterpret_cast<DWORD*>(reserved),
                                       &t, data, size ? &n : nullptr);
  if (type) *type = t;
  if (size) *size = n;
  return status;
}

std::int32_t regCloseKey(RegKey key) {
  const auto found = handles.find(key);
  if (found == handles.end()) return ERROR_INVALID_HANDLE;
  const LONG status = RegCloseKey(found->second);
  handles.erase(found);
  return status;
}

}  // namespace platform

// General's code exactly as the program builds it, over the functions above.
#include "settings/General.cpp"

namespace {

std::string toUtf8(const std::string& codePage) {
  if (codePage.empty()) return codePage;
  const int wide = MultiByteToWideChar(CP_ACP, 0, codePage.data(),
                                       static_cast<int>(codePage.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, codePage.data(), static_cast<int>(codePage.size()), w.data(),
                      wide);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--probe") return 0;  // can this Wine run us at all?
  std::string queries;
  if (argc != 3 || !differential::readFile(argv[1], queries)) {
    std::fprintf(stderr, "usage: registry_oracle QUERIES RESULTS\n");
    return 2;
  }
  std::istringstream lines(queries);
  differential::Writer out;
  for (std::string query; std::getline(lines, query);) {
    const auto tab = query.find('\t');
    std::string path = query.substr(0, tab), value = query.substr(tab + 1);
    out.text(toUtf8(ReadRegString(path, value)));
    out.endRecord();
  }
  return differential::writeFile(argv[2], out.str()) ? 0 : 2;
}
