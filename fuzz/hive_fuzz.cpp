// Fuzzes the hive reader: any bytes as a hive, surveyed and queried along the routes the program
// walks (the 32-bit view, Wow6432Node, links, a route the bytes name themselves), then as
// system.reg of a prefix through the registry functions; never crashing and never growing
// without bound (run with -rss_limit_mb=512).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

// Surveys a route over the bytes, visits every key found, and reads a value of each key that
// ends the route.
void survey(std::string_view bytes, const hive::Route& route) {
  hive::Source source = hive::Source::of(bytes);
  const hive::Survey survey = hive::survey(source, route);
  if (!survey.isHive()) return;
  std::vector<hive::Survey::Id> todo = {hive::Survey::kRoot};
  while (!todo.empty()) {
    const hive::Survey::Id key = todo.back();
    todo.pop_back();
    const auto path = survey.path(key, route);
    if (path.size() > hive::kMaxDepth) std::abort();
    if (survey.consumed(key) > route.parts.size()) std::abort();
    if (survey.consumed(key) == route.parts.size()) {
      hive::Source again = hive::Source::of(bytes);
      hive::findValue(again, path, u"PATH");
    }
    for (auto child : {survey.next(key), survey.wow(key)})
      if (child != hive::Survey::kNone) todo.push_back(child);
  }
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
  survey(text, {{u"SOFTWARE", u"HASBRO INTERACTIVE", u"GUNSHIP!"}, 0, true});
  survey(text, {{u"SOFTWARE", u"CLASSES", u"GUNSHIPFILE"}, 2, true});
  survey(text, {{u"A", u"B", u"C", u"D"}, 1, false});
  // A route of the input's own choosing: the components of its last line.
  const auto lastLine = text.rfind('\n');
  survey(text, {hive::components(text::utf16Of(text.substr(lastLine + 1, 256))), 0, true});
  text::utf8Of(text::utf16Of(text));

  // The same bytes as a prefix's system.reg, through the registry functions.
  const fs::path dir = prefix();
  {
    std::ofstream f(dir / "system.reg.new", std::ios::binary);
    f.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  fs::rename(dir / "system.reg.new", dir / "system.reg");
  query("Software\\Hasbro Interactive\\Gunship!", "Path");
  query("Software\\Wow6432Node\\Hasbro Interactive\\Gunship!", "Path");
  query("Software\\Classes\\GunshipFile", "");
  query("Software\\Policies", "");
  query("a\\b\\c\\d", "x");
  query("", "");
  return 0;
}
