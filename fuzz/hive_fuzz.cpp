// Fuzzes the hive reader: any bytes as system.reg of a prefix, parsed and queried the way the
// program queries it (the 32-bit view, symbolic links, Wow6432Node), never crashing and never
// growing without bound (run with -rss_limit_mb=512).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/Platform.h"
#include "platform/posix/Hive.h"
#include "platform/posix/Text.h"

namespace {

namespace fs = std::filesystem;
using namespace platform::posix;

fs::path prefix() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("kestrun-hive-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(d);
    ::setenv("WINEPREFIX", d.c_str(), 1);
    return d;
  }();
  return dir;
}

void walk(const hive::Key& key, int depth, std::size_t& seen) {
  if (depth > 64) return;
  for (const auto& [name, value] : key.values) seen += name.size() + value.data.size();
  for (const auto& [name, child] : key.children) walk(*child, depth + 1, seen);
}

void query(const char* path, const char* value) {
  platform::RegKey key = 0;
  if (platform::regOpenKeyEx(0x80000002, path, 0, platform::kKeyRead, &key) != 0) return;
  std::uint8_t data[255];
  std::uint32_t size = sizeof data, type = 0;
  const std::int32_t status = platform::regQueryValueEx(key, value, nullptr, &type, data, &size);
  if (status == 0 && size > sizeof data) std::abort();  // a success fits the buffer
  platform::regCloseKey(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (auto tree = hive::parse(text)) {
    std::size_t seen = 0;
    walk(tree->root, 0, seen);
  }
  text::utf8Of(text::utf16Of(text));
  text::upperCase(text::utf16Of(text.substr(0, 256)));

  // The same bytes as a prefix's system.reg, through the registry functions. A new file each
  // time (renamed into place), so the reader's cache always sees a change.
  const fs::path dir = prefix();
  {
    std::ofstream f(dir / "system.reg.new", std::ios::binary);
    f.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  fs::rename(dir / "system.reg.new", dir / "system.reg");
  query("Software\\Hasbro Interactive\\Gunship!", "Path");
  query("Software\\Wow6432Node\\Hasbro Interactive\\Gunship!", "Path");
  query("Software\\Policies", "");
  query("a\\b\\c\\d", "x");
  query("", "");
  return 0;
}
