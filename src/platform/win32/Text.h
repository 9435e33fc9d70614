// Text at the edge of the Windows API: the program's UTF-8 to UTF-16 and to the ANSI code page,
// and back. Used by the platform functions (the A functions of kernel32 and advapi32) and by the
// window binding (the W functions of user32).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::win32 {

std::wstring toWide(std::string_view utf8);
std::string fromWide(std::wstring_view wide);

// UTF-8 to the ANSI code page (CP_ACP) and back. A character the code page lacks becomes its
// substitute character, as with any A call.
std::string toAnsi(std::string_view utf8);
std::string fromAnsi(std::string_view ansi);

// The ANSI copy of an optional argument: a null pointer stays a null pointer.
class AnsiArg {
 public:
  explicit AnsiArg(const char* utf8) {
    if (utf8 != nullptr) text_ = toAnsi(utf8);
  }
  const char* get() const { return text_ ? text_->c_str() : nullptr; }

 private:
  std::optional<std::string> text_;
};

// The system's text for a Windows error code, without the trailing line break.
std::string systemMessage(unsigned long code);

}  // namespace platform::win32
