#include "platform/win32/Text.h"

#include <windows.h>

namespace platform::win32 {
namespace {

std::wstring decode(unsigned codePage, std::string_view bytes) {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  const int count = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), length, wide.data(), count);
  return wide;
}

std::string encode(unsigned codePage, std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int count =
      WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(count), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), length, bytes.data(), count, nullptr, nullptr);
  return bytes;
}

}  // namespace

std::wstring toWide(std::string_view utf8) {
  return decode(CP_UTF8, utf8);
}
std::string fromWide(std::wstring_view wide) {
  return encode(CP_UTF8, wide);
}
std::string toAnsi(std::string_view utf8) {
  return encode(CP_ACP, decode(CP_UTF8, utf8));
}
std::string fromAnsi(std::string_view ansi) {
  return encode(CP_UTF8, decode(CP_ACP, ansi));
}

std::string systemMessage(unsigned long code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text != nullptr ? text : L"", length);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L' ' || message.back() == L'.'))
    message.pop_back();
  if (message.empty()) return "error " + std::to_string(code);
  return fromWide(message);
}

}  // namespace platform::win32
