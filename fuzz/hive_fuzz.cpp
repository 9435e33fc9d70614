// Fuzzes the hive reader: any bytes as system.reg of a prefix, walked and queried along the
// paths the program walks (the 32-bit view, Wow6432Node, links, a path the bytes name
// themselves) and through the registry functions; never crashing and never growing without
// bound (run with -rss_limit_mb=512).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/posix/Text.h"
#include "platform/posix/registry/Hive.h"

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

// Walks a path through the prefix's system.reg and reads a value of the key it reaches.
void walk(const hive::Path& path) {
  auto key = hive::walk(prefix(), path);
  if (!key) return;
  if (key->stored.size() > hive::kMaxDepth) std::abort();
  if (key->first != hive::kNoLine && key->last < key->first) std::abort();
  hive::query(prefix(), *key, u"PATH");
}

void query(const char* path, const char* value) {
  platform::RegKey key = 0;
  if (platform::regOpenKeyEx(0x80000002, path, 0, platform::kKeyRead, &key) != 0) return;
  std::uint8_t data[255 * platform::kTextBytesPerAnsiByte];
  std::uint32_t size = 255, type = 0;
  const std::int32_t status = platform::regQueryValueEx(key, value, nullptr, &type, data, &size);
  if (status == 0 && size > 255) std::abort();  // a success fits the buffer
  platform::regCloseKey(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  text::utf8Of(text::utf16Of(text));

  // The bytes as a prefix's system.reg, walked as the program walks (the 32-bit view,
  // Wow6432Node, links, a path the bytes name themselves) and through the registry functions.
  const fs::path dir = prefix();
  {
    std::ofstream f(dir / "system.reg.new", std::ios::binary);
    f.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  fs::rename(dir / "system.reg.new", dir / "system.reg");
  walk({hive::File::System, {u"SOFTWARE", u"HASBRO INTERACTIVE", u"GUNSHIP!"}, 0, true});
  walk({hive::File::System, {u"SOFTWARE", u"CLASSES", u"GUNSHIPFILE"}, 2, true});
  walk({hive::File::System, {u"A", u"B", u"C", u"D"}, 1, false});
  // A path of the input's own choosing: the components of its last line.
  const auto lastLine = text.rfind('\n');
  walk({hive::File::System, hive::components(text::utf16Of(text.substr(lastLine + 1, 256))), 0,
        true});
  query("Software\\Hasbro Interactive\\Gunship!", "Path");
  query("Software\\Wow6432Node\\Hasbro Interactive\\Gunship!", "Path");
  query("Software\\Classes\\GunshipFile", "");
  query("Software\\Policies", "");
  query("a\\b\\c\\d", "x");
  query("", "");
  return 0;
}
