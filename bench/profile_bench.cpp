// Profile reads and writes on 4 KiB, 64 KiB and 1 MiB profiles, beside a plain read of the same
// file (the floor any read must pay), and the nine-key copy of a flight model into [custom],
// with and without flushing each write to disk.
//
// Goals: readIniString at most 3x plainRead at 1 MiB (a read takes the whole file and looks only
// at the lines that open with '[' and the wanted section's name until it finds that section;
// this profile has a section every 60 bytes, a game profile one every few hundred);
// copyFlightModel on 64 KiB with fsync under 50 ms, its nine writes never waiting for the profile
// to settle (each finds it as the one before left it). On a busy machine compare CPU times:
// fsync's wait is the disk's.
//
// The files live in a fresh folder under $KESTRUN_BENCH_DIR, or the system's temporary folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/profile/ProfileHooks.h"
#include "settings/Module1.h"
#include "window/GameLayout.h"

namespace {

namespace fs = std::filesystem;

std::string flightModel(const std::string& name, const std::string& helo, int base) {
  std::string s = "[" + name + "]\r\n";
  for (std::size_t i = 0; i + 1 < game::kCopyList.size(); ++i)
    s +=
        std::string(game::kCopyList[i]) + "=" + std::to_string(base + static_cast<int>(i)) + "\r\n";
  return s + "Helo=" + helo + "\r\n\r\n";
}

// A profile of about size bytes: filler sections first, so the sections the program uses are
// found only after a scan of nearly the whole file.
fs::path makeProfile(std::size_t size) {
  const char* root = std::getenv("KESTRUN_BENCH_DIR");
  fs::path folder = fs::path(root ? root : fs::temp_directory_path().string()) /
                    ("kestrun-bench-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const fs::path file = folder / ("custom-" + std::to_string(size) + ".ini");
  std::string text = "; Flight models\r\n";
  const std::string tail = flightModel("ApacheFlightModel", "Apache", 100) +
                           flightModel("TigerFlightModel", "Tiger", 200) +
                           flightModel("custom", "Apache", 100);
  for (int i = 0; text.size() + tail.size() < size; ++i)
    text += "[Filler" + std::to_string(i) + "]\r\nValue=" + std::string(40, 'x') + "\r\n\r\n";
  std::ofstream(file, std::ios::binary) << text << tail;
  return file;
}

void plainRead(benchmark::State& state) {
  const fs::path file = makeProfile(static_cast<std::size_t>(state.range(0)));
  std::string buffer(static_cast<std::size_t>(state.range(0)) + 4096, '\0');
  for (auto _ : state) {
    const int fd = ::open(file.c_str(), O_RDONLY);
    ssize_t got = 0, total = 0;
    while ((got = ::read(fd, buffer.data() + total, buffer.size() - total)) > 0) total += got;
    ::close(fd);
    benchmark::DoNotOptimize(total);
  }
  fs::remove_all(file.parent_path());
}

void readIniString(benchmark::State& state) {
  const fs::path file = makeProfile(static_cast<std::size_t>(state.range(0)));
  std::string section = "custom", key = "Helo", fallback, path = file.string();
  for (auto _ : state) benchmark::DoNotOptimize(ReadIniString(section, key, fallback, path));
  fs::remove_all(file.parent_path());
}

// A write before the timed ones: a profile another program has just written is waited for until
// it has been still for 50 ms, once.
void settle(std::string path) {
  std::string section = "custom", key = "Settled", value = "yes";
  WriteIniString(section, key, value, path);
}

// Each write changes the value, so every iteration really replaces the file.
void writeIniString(benchmark::State& state) {
  platform::posix::setProfileSync(state.range(1) != 0);
  const fs::path file = makeProfile(static_cast<std::size_t>(state.range(0)));
  std::string section = "custom", key = "Helo", path = file.string();
  settle(path);
  std::array<std::string, 2> values = {"Tiger", "Havoc"};
  std::size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(WriteIniString(section, key, values[++i % 2], path));
  fs::remove_all(file.parent_path());
  platform::posix::setProfileSync(true);
}

// The copy of one flight model, alternating between two that differ in every key.
void copyFlightModel(benchmark::State& state) {
  platform::posix::setProfileSync(state.range(1) != 0);
  const fs::path file = makeProfile(static_cast<std::size_t>(state.range(0)));
  std::string path = file.string(), custom = "custom", fallback;
  settle(path);
  std::array<std::string, 2> sources = {"TigerFlightModel", "ApacheFlightModel"};
  std::size_t i = 0;
  for (auto _ : state) {
    std::string& from = sources[i++ % 2];
    for (const char* name : game::kCopyList) {
      std::string key = name;
      std::string value = ReadIniString(from, key, fallback, path);
      WriteIniString(custom, key, value, path);
    }
  }
  fs::remove_all(file.parent_path());
  platform::posix::setProfileSync(true);
}

void sizes(benchmark::internal::Benchmark* b) {
  for (long size : {4L << 10, 64L << 10, 1L << 20}) b->Arg(size);
}

void sizesAndSync(benchmark::internal::Benchmark* b) {
  b->ArgNames({"bytes", "fsync"});
  for (long sync : {1L, 0L})
    for (long size : {4L << 10, 64L << 10, 1L << 20}) b->Args({size, sync});
}

}  // namespace

BENCHMARK(plainRead)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(readIniString)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(writeIniString)->Apply(sizesAndSync)->Unit(benchmark::kMicrosecond);
BENCHMARK(copyFlightModel)->Apply(sizesAndSync)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
