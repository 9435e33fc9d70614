// Helpers the test suites share.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Host.h"

namespace testing_support {

namespace fs = std::filesystem;

// A folder of its own under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  // The folder (or a file below it) as the program writes paths: the host's native text.
  std::string programPath(const fs::path& relative = {}) const;

 private:
  fs::path path_;
};

// Whole-file helpers; bytes are bytes.
void writeFile(const fs::path& path, const std::string& bytes);
std::string readFile(const fs::path& path);

// The bytes of UTF-16 text after its byte-order mark, little- or big-endian.
inline std::string utf16(std::u16string_view text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t u : text) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return bytes;
}

// One message box as the program showed it.
struct ShownMessage {
  std::string prompt;
  int style;
  std::string title;
  bool operator==(const ShownMessage&) const = default;
};
inline void PrintTo(const ShownMessage& m, std::ostream* out) {
  *out << "{\"" << m.prompt << "\", " << m.style << ", \"" << m.title << "\"}";
}

// Installs itself as the ui host for its lifetime: records every message box (answering OK)
// and every end of the program, then puts back the host it replaced and clears the ended state.
class RecordingHost {
 public:
  RecordingHost();
  ~RecordingHost();
  RecordingHost(const RecordingHost&) = delete;
  RecordingHost& operator=(const RecordingHost&) = delete;

  const std::vector<ShownMessage>& messages() const { return messages_; }
  int ends() const { return ends_; }
  void clear() {
    messages_.clear();
    ends_ = 0;
    ui::resetEnded();
  }

 private:
  ui::Host previous_;
  std::vector<ShownMessage> messages_;
  int ends_ = 0;
};

}  // namespace testing_support
