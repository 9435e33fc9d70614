#include "settings/General.h"

#include "platform/Platform.h"
#include "ui/Host.h"

namespace {

// The module's state between calls; nothing outside this file reads it.
std::uint32_t RootKey = 0;    // the root the last split chose
std::uint32_t KeyHandle = 0;  // the key the last read opened (closed again by its end)
std::int32_t RegResult = 0;   // scratch: backslash position, then each call's status, then NUL
std::string ValueBuffer;      // the query's buffer, then the value's trimmed text
std::uint32_t ValueLength = 0;

constexpr std::uint32_t kBufferSize = 255;

}  // namespace

std::uint32_t HiveFromName(std::string& name) {
  static constexpr struct {
    const char* name;
    std::uint32_t handle;
  } kRoots[] = {
      {"HKEY_CLASSES_ROOT", platform::kHkeyClassesRoot},
      {"HKEY_CURRENT_USER", platform::kHkeyCurrentUser},
      {"HKEY_LOCAL_MACHINE", platform::kHkeyLocalMachine},
      {"HKEY_USERS", platform::kHkeyUsers},
      {"HKEY_PERFORMANCE_DATA", platform::kHkeyPerformanceData},
      {"HKEY_CURRENT_CONFIG", platform::kHkeyCurrentConfig},
      {"HKEY_DYN_DATA", platform::kHkeyDynData},
  };
  for (const auto& root : kRoots)
    if (name == root.name) return root.handle;
  return 0;
}

void SplitKeyPath(std::string& path, std::uint32_t& root) {
  const auto backslash = path.find('\\');
  RegResult = backslash == std::string::npos ? 0 : static_cast<std::int32_t>(backslash + 1);
  if (path.compare(0, 5, "HKEY_") != 0 || (!path.empty() && path.back() == '\\')) {
    ui::msgBox("Incorrect Format:\n\n" + path, ui::kOkOnly);
    return;
  }
  if (RegResult == 0) {
    root = HiveFromName(path);
    path.clear();
    return;
  }
  std::string name = path.substr(0, backslash);
  root = HiveFromName(name);
  path.erase(0, backslash + 1);
}

std::string ReadRegString(std::string& path, std::string& valueName) {
  // Cleared first, so that a malformed path never reuses the root of an earlier read.
  RootKey = 0;
  SplitKeyPath(path, RootKey);
  if (RootKey == 0) return "";

  RegResult = platform::regOpenKeyEx(RootKey, path.c_str(), 0, platform::kKeyRead, &KeyHandle);
  if (RegResult != platform::kErrorSuccess) return "Error";

  // 255 bytes as the query counts them (the ANSI code page); as program text they may take up to
  // three times as many. The blanks beyond are trimmed away like those behind a NUL.
  ValueBuffer.assign(kBufferSize * platform::kTextBytesPerAnsiByte, ' ');
  ValueLength = kBufferSize;
  std::uint32_t type = 0;
  RegResult =
      platform::regQueryValueEx(KeyHandle, valueName.c_str(), nullptr, &type,
                                reinterpret_cast<std::uint8_t*>(ValueBuffer.data()), &ValueLength);
  const std::int32_t queryStatus = RegResult;
  RegResult = platform::regCloseKey(KeyHandle);
  if (queryStatus != platform::kErrorSuccess) return "Error";

  const auto first = ValueBuffer.find_first_not_of(' ');
  if (first == std::string::npos)
    ValueBuffer.clear();
  else
    ValueBuffer = ValueBuffer.substr(first, ValueBuffer.find_last_not_of(' ') - first + 1);

  const auto nul = ValueBuffer.find('\0');
  RegResult = nul == std::string::npos ? 0 : static_cast<std::int32_t>(nul + 1);
  return nul == std::string::npos ? ValueBuffer : ValueBuffer.substr(0, nul);
}
