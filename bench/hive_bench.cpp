// The start-up's registry read on hives of real sizes: a fresh win64 prefix's system.reg (about
// 2.9 MB) and a long-used one (20 MB), built from the excerpt of a hive Wine 8 wrote, in Wine's
// layout (keys sorted, classes first, the game's key in Wow6432Node among Wine's own keys).
//
// BM_LineEnds is the floor: one memchr pass for the line ends of the same bytes. BM_PathLookup
// is what ReadRegString's open and query do in the hive reader, over the file in the page cache
// (goal: at most twice the floor, and under 5 ms for 20 MB); BM_ReadRegString the same through
// the registry functions.
//
//   hive_bench [benchmark flags]
//   hive_bench --write-hive=BYTES FILE     writes a hive of about that size (0: only the
//                                          game's key) for bench/startup.sh
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/posix/Text.h"
#include "platform/posix/registry/Hive.h"

namespace {

namespace fs = std::filesystem;
namespace hive = platform::posix::hive;

std::string excerpt() {
  std::ifstream in(fs::path(KESTRUN_SOURCE_DIR) / "tests/fixtures/wine8-win64-system-excerpt.reg",
                   std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The excerpt's preamble and its keys, each with the lines that follow it.
struct Excerpt {
  std::string preamble;
  std::vector<std::string> keys;
  const std::string& keyOf(std::string_view start) const {
    for (const auto& key : keys)
      if (key.starts_with(start)) return key;
    std::fprintf(stderr, "hive_bench: the excerpt has no key %.*s\n", int(start.size()),
                 start.data());
    std::exit(2);
  }
};

Excerpt splitExcerpt() {
  const std::string text = excerpt();
  Excerpt out;
  std::size_t at = text.find("\n[");
  out.preamble = text.substr(0, at + 1);
  while (at != std::string::npos) {
    const std::size_t next = text.find("\n[", at + 1);
    std::string key = text.substr(at + 1, next == std::string::npos ? next : next - at);
    while (key.ends_with("\n\n")) key.pop_back();
    out.keys.push_back(key + "\n");
    at = next;
  }
  return out;
}

std::string guid(unsigned n, unsigned salt) {
  char text[48];
  std::snprintf(text, sizeof text, "{%08X-%04X-11D0-BD40-00A0C911CE86}", n, salt);
  return text;
}

// Replaces the first `from` in key by `to`.
std::string with(std::string key, std::string_view from, const std::string& to) {
  const auto at = key.find(from);
  if (at != std::string::npos) key.replace(at, from.size(), to);
  return key;
}

// A win64 system.reg of about `bytes` bytes (0: the preamble and the game's key alone).
std::string wineHive(std::size_t bytes) {
  const Excerpt e = splitExcerpt();
  const std::string& game = e.keyOf("[Software\\\\Wow6432Node\\\\Hasbro Interactive");
  if (bytes == 0) return e.preamble + "\n" + game;
  const std::string& borland = e.keyOf("[Software\\\\Borland");
  const std::string& filter = e.keyOf("[Software\\\\Classes\\\\CLSID");
  const std::string& policies = e.keyOf("[Software\\\\Wow6432Node\\\\Policies");
  const std::string filterClsid = "{083863F1-70DE-11D0-BD40-00A0C911CE86}";
  const std::string filterInstance = "{1B544C20-FD0B-11CE-8C63-00AA0044B51E}";
  const std::string time = " 1796656859\n#time=1dd865e905ab5b4\n";

  std::string text = e.preamble + "\n" + borland + "\n";
  // Each part of Wine's hive in its sorted place, filled to its share of the size.
  const auto fill = [&](double share, auto&& key) {
    const std::size_t end = text.size() + static_cast<std::size_t>(share * bytes);
    for (unsigned i = 0; text.size() < end; ++i) text += key(i) + "\n";
  };
  fill(0.04, [&](unsigned i) {
    return "[Software\\\\Classes\\\\.e" + std::to_string(10000 + i) + "]" + time + "@=\"file" +
           std::to_string(i) + "\"\n";
  });
  fill(0.40, [&](unsigned i) {
    return with(with(filter, filterClsid, guid(i / 8, 0x70DE)), filterInstance, guid(i, 0xFD0B));
  });
  fill(0.12, [&](unsigned i) {
    return "[Software\\\\Classes\\\\Interface\\\\" + guid(i, 0x1A2B) + "\\\\ProxyStubClsid32]" +
           time + "@=\"{00020424-0000-0000-C000-000000000046}\"\n";
  });
  fill(0.10, [&](unsigned i) {
    return "[Software\\\\Classes\\\\Wow6432Node\\\\CLSID\\\\" + guid(i, 0x3C4D) +
           "\\\\InprocServer32]" + time +
           "@=\"C:\\\\windows\\\\syswow64\\\\quartz.dll\"\n\"ThreadingModel\"=\"Both\"\n";
  });
  fill(0.10, [&](unsigned i) {
    return "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\Fonts\\\\Font" +
           std::to_string(10000 + i) + "]" + time + "\"File\"=\"font" + std::to_string(i) +
           ".ttf\"\n\"Size\"=dword:0000000c\n";
  });
  text += "[Software\\\\Wow6432Node\\\\Classes]" + time +
          "#link\n\"SymbolicLinkValue\"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,"
          "79,\\\n  00,5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,6f,00,66,00,"
          "\\\n  74,00,77,00,61,00,72,00,65,00,5c,00,43,00,6c,00,61,00,73,00,73,00,65,00,73,"
          "\\\n  00\n\n";
  text += game + "\n";
  fill(0.12, [&](unsigned i) {
    return "[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\" +
           guid(i, 0x5E6F) + "]" + time + "\"DisplayName\"=\"Wine component " + std::to_string(i) +
           "\"\n\"InstallLocation\"=\"C:\\\\windows\\\\syswow64\"\n";
  });
  text += policies + "\n";
  fill(0.11, [&](unsigned i) {
    return "[System\\\\ControlSet001\\\\Services\\\\Service" + std::to_string(10000 + i) + "]" +
           time + "\"ImagePath\"=str(2):\"%SystemRoot%\\\\system32\\\\service" + std::to_string(i) +
           ".exe\"\n\"Start\"=dword:00000003\n\"Type\"=dword:00000010\n";
  });
  return text;
}

const std::string& hiveOf(std::int64_t megabytes) {
  // 3 stands for a fresh prefix's 2.9 MB; any other size is in MiB.
  static std::string fresh, used;
  std::string& text = megabytes == 3 ? fresh : used;
  if (text.empty())
    text = wineHive(megabytes == 3 ? 2'900'000 : static_cast<std::size_t>(megabytes) << 20);
  return text;
}

const std::vector<std::u16string> kGameKey = {u"SOFTWARE", u"HASBRO INTERACTIVE", u"GUNSHIP!"};

void BM_LineEnds(benchmark::State& state) {
  const std::string& text = hiveOf(state.range(0));
  for (auto _ : state) {
    std::size_t lines = 0;
    for (const char* at = text.data(); at;) {
      at = static_cast<const char*>(std::memchr(at, '\n', text.data() + text.size() - at));
      if (at) ++at, ++lines;
    }
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The walk of the game's key in the 32-bit view and the query of its value, over a prefix's
// system.reg (in the page cache).
void BM_PathLookup(benchmark::State& state) {
  const fs::path prefix = fs::temp_directory_path() / "kestrun-hive-bench";
  fs::create_directories(prefix);
  { std::ofstream(prefix / "system.reg", std::ios::binary) << hiveOf(state.range(0)); }
  for (auto _ : state) {
    auto key = hive::walk(prefix, {hive::File::System, kGameKey, 0, true});
    if (!key || !hive::query(prefix, *key, u"PATH")) {
      state.SkipWithError("the game's folder was not found");
      break;
    }
  }
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * hiveOf(state.range(0)).size()));
  fs::remove_all(prefix);
}

// The same through the registry functions, from a prefix's system.reg (in the page cache).
void BM_ReadRegString(benchmark::State& state) {
  const fs::path prefix = fs::temp_directory_path() / "kestrun-hive-bench";
  fs::create_directories(prefix);
  { std::ofstream(prefix / "system.reg", std::ios::binary) << hiveOf(state.range(0)); }
  ::setenv("WINEPREFIX", prefix.c_str(), 1);
  for (auto _ : state) {
    platform::RegKey key = 0;
    char data[255 * platform::kTextBytesPerAnsiByte];
    std::uint32_t size = 255;
    if (platform::regOpenKeyEx(0x80000002, "Software\\Hasbro Interactive\\Gunship!", 0,
                               platform::kKeyRead, &key) != platform::kErrorSuccess ||
        platform::regQueryValueEx(key, "Path", nullptr, nullptr,
                                  reinterpret_cast<std::uint8_t*>(data),
                                  &size) != platform::kErrorSuccess)
      state.SkipWithError("the game's folder was not found");
    platform::regCloseKey(key);
  }
  fs::remove_all(prefix);
}

BENCHMARK(BM_LineEnds)->Arg(3)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PathLookup)->Arg(3)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRegString)->Arg(3)->Arg(20)->Unit(benchmark::kMillisecond);

void BM_Utf16ToUtf8(benchmark::State& state) {
  const std::u16string text(255, u'\x00e9');
  for (auto _ : state) benchmark::DoNotOptimize(platform::posix::text::utf8Of(text));
}
BENCHMARK(BM_Utf16ToUtf8);

void BM_Utf8ToUtf16(benchmark::State& state) {
  const std::string text = platform::posix::text::utf8Of(std::u16string(255, u'\x00e9'));
  for (auto _ : state) benchmark::DoNotOptimize(platform::posix::text::utf16Of(text));
}
BENCHMARK(BM_Utf8ToUtf16);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strncmp(argv[1], "--write-hive=", 13) == 0) {
    std::ofstream(argv[2], std::ios::binary) << wineHive(std::strtoull(argv[1] + 13, nullptr, 10));
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
