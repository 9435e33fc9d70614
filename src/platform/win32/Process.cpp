// The entry probe, the current drive and folder, and the program start, over kernel32 and the C
// runtime.
#include <direct.h>
#include <windows.h>

#include <cctype>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/Platform.h"
#include "platform/win32/Text.h"

namespace platform {

std::string probeEntry(const std::string& path, int attributes) {
  // The probe looks up one entry by name: wildcards (including the DOS ones FindFirstFile also
  // honours) would turn it into a search.
  if (path.empty() || path.find_first_of("*?<>\"") != std::string::npos) return {};
  WIN32_FIND_DATAA found{};
  const HANDLE search = FindFirstFileA(win32::toAnsi(path).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  FindClose(search);
  const DWORD attr = found.dwFileAttributes;
  if ((attr & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) return {};
  if ((attr & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & kAttrDirectory) == 0) return {};
  return win32::fromAnsi(found.cFileName);
}

void changeDrive(const std::string& path) {
  if (path.empty()) return;
  const auto letter = static_cast<unsigned char>(path.front());
  const bool isLetter = letter < 0x80 && std::isalpha(letter) != 0;
  if (!isLetter || _chdrive(std::toupper(letter) - 'A' + 1) != 0) {
    const std::string drive =
        isLetter ? std::string(1, static_cast<char>(std::toupper(letter))) : path.substr(0, 1);
    throw Error("The drive " + drive + ": is not available.");
  }
}

void changeDirectory(const std::string& path) {
  if (!SetCurrentDirectoryA(win32::toAnsi(path).c_str())) {
    const DWORD code = GetLastError();
    throw Error("Cannot open the folder \"" + path + "\": " + win32::systemMessage(code) + ".");
  }
}

std::int32_t startProgram(const std::string& path, int windowStyle) {
  const std::string ansiPath = win32::toAnsi(path);
  // The executable is named as the application and, quoted, as the command line: a path with
  // blanks can never start a program named by its first word, and a relative path is resolved
  // against the current folder only.
  std::string commandLine = "\"" + ansiPath + "\"";
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(windowStyle);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(ansiPath.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
      throw Error("Cannot start \"" + path + "\": " + win32::systemMessage(code) + ".");
    return 0;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<std::int32_t>(process.dwProcessId);
}

}  // namespace platform
