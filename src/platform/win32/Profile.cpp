// Profile files through kernel32's A functions, with the program's UTF-8 converted to the ANSI
// code page on the way in and back on the way out.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32/Text.h"

namespace platform {

using win32::AnsiArg;

namespace {

// Never leave half a UTF-8 sequence at the end of a cut text.
void dropPartialSequence(std::string& text) {
  std::size_t start = text.size();
  while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) --start;
  if (start == 0) return;
  const auto lead = static_cast<unsigned char>(text[start - 1]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (text.size() - (start - 1) < length) text.resize(start - 1);
}

}  // namespace

std::uint32_t getPrivateProfileString(const char* section, const char* key,
                                      const char* defaultValue, char* buffer, std::uint32_t size,
                                      const char* file) {
  if (buffer == nullptr || size == 0) return 0;
  const AnsiArg ansiSection(section), ansiKey(key), ansiDefault(defaultValue), ansiFile(file);
  // Windows cuts the text to the buffer in ANSI bytes; read into a buffer of the same size so
  // that its rules (a value to size - 1, a key list to size - 2 and two NULs) decide the cut.
  std::vector<char> ansi(size, '\0');
  const DWORD count = GetPrivateProfileStringA(ansiSection.get(), ansiKey.get(), ansiDefault.get(),
                                               ansi.data(), size, ansiFile.get());
  // A key list carries its NUL separators within the count; they convert as themselves.
  std::string text = win32::fromAnsi(std::string_view(ansi.data(), count));
  const bool list = section == nullptr || key == nullptr;
  const std::size_t room = list ? (size >= 2 ? size - 2 : 0) : size - 1;
  if (text.size() > room) {
    text.resize(room);
    dropPartialSequence(text);
  }
  text.copy(buffer, text.size());
  buffer[text.size()] = '\0';
  if (list && text.size() + 1 < size) buffer[text.size() + 1] = '\0';
  return static_cast<std::uint32_t>(text.size());
}

int writePrivateProfileString(const char* section, const char* key, const char* value,
                              const char* file) {
  const AnsiArg ansiSection(section), ansiKey(key), ansiValue(value), ansiFile(file);
  return WritePrivateProfileStringA(ansiSection.get(), ansiKey.get(), ansiValue.get(),
                                    ansiFile.get())
             ? 1
             : 0;
}

// The profile functions of Windows do not wait: a run has nothing to share.
ProfileWriteRun::ProfileWriteRun() = default;
ProfileWriteRun::~ProfileWriteRun() = default;

std::int32_t getLastError() {
  return static_cast<std::int32_t>(GetLastError());
}

std::string errorMessage(std::int32_t code) {
  return win32::systemMessage(static_cast<unsigned long>(code)) + ".";
}

}  // namespace platform
