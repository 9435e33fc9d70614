// The prefix search at start-up in a Steam Deck's home: a hundred games of Steam's own run with
// Proton (their compatdata prefixes with 1 MB hives that do not hold the game), twenty Heroic
// games elsewhere, and the game added to Steam by hand in a second library.
//
// BM_SteamDeckHome is choose() over that home (goal: under 5 ms; Steam's own games are never
// opened, so the hundred hives cost nothing). BM_HandAddedHives is the cost that skipping them
// avoids: the same hundred prefixes as games added by hand, whose hives the search reads.
//
// BM_ManyLibraries is choose() where Steam's libraryfolders.vdf (under the 1 MiB bound) lists
// 45,000 libraries, each a folder of its own, the game in the last (goal: under 1 s).
//
// BM_LutrisEnvironment is the start of a Lutris game whose file (under the 1 MiB bound) sets
// 80,000 variables in system: env: the choice, and the game's environment merged from ours and
// those (goal: under 0.5 s).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/Prefix.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace prefix = platform::posix::prefix;

void write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

// A win64 system.reg of about 1 MB whose keys do not name the game.
const std::string& otherGamesHive() {
  static const std::string hive = [] {
    std::string text =
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";
    for (int i = 0; text.size() < (1 << 20); ++i)
      text += "[Software\\\\Wow6432Node\\\\Vendor" + std::to_string(i) +
              "\\\\Settings] 1700000000\n#time=1d9f0e0a0b0c0d0\n\"Path\"=\"C:\\\\Games\"\n\n";
    return text;
  }();
  return hive;
}

// A fake home as described above, made once per first id of the hundred prefixes.
fs::path home(std::uint64_t firstId) {
  const fs::path root =
      fs::temp_directory_path() /
      ("kestrun-prefix-bench-" + std::to_string(::getpid()) + "-" + std::to_string(firstId));
  if (fs::exists(root)) return root;
  const fs::path steam = root / ".local/share/Steam";
  for (std::uint64_t id = firstId; id < firstId + 100; ++id)
    write(steam / "steamapps/compatdata" / std::to_string(id) / "pfx/system.reg", otherGamesHive());
  for (int i = 0; i < 20; ++i)
    write(root / ".config/heroic/GamesConfig" / ("game" + std::to_string(i) + ".json"),
          "{\"game" + std::to_string(i) + "\": {\"winePrefix\": \"~/Games/Heroic/" +
              std::to_string(i) + "\"}}");
  write(steam / "steamapps/libraryfolders.vdf", "\"libraryfolders\" { \"0\" { \"path\" \"" +
                                                    steam.string() + "\" } \"1\" { \"path\" \"" +
                                                    (root / "SD").string() + "\" } }");
  fs::create_directories(root / "SD/steamapps/compatdata/3391826345/pfx/drive_c/Gunship!");
  return root;
}

// The variables of a program started in home, with a PATH of system folders only.
prefix::Environment environmentOf(const fs::path& home) {
  prefix::Environment env;
  env.home = home.string();
  env.path = "/usr/bin:/bin";
  env.startFolder = "/";
  return env;
}

void search(benchmark::State& state, std::uint64_t firstId) {
  const prefix::Environment env = environmentOf(home(firstId));
  for (auto _ : state) {
    const prefix::Choice choice = prefix::choose(env);
    if (choice.place != "steam") state.SkipWithError("the game was not found");
    benchmark::DoNotOptimize(choice);
  }
}

void BM_SteamDeckHome(benchmark::State& state) {
  search(state, 1000000);
}
BENCHMARK(BM_SteamDeckHome)->Unit(benchmark::kMillisecond);

void BM_HandAddedHives(benchmark::State& state) {
  search(state, 3000000000);
}
BENCHMARK(BM_HandAddedHives)->Unit(benchmark::kMillisecond);

// Base 36 digits of n, for short names.
std::string base36(int n) {
  std::string name;
  for (; name.empty() || n > 0; n /= 36)
    name.insert(name.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[n % 36]);
  return name;
}

// A home (at a short path, so that the list fits under the bound) whose Steam lists libraries
// libraries in the old format, "<key> <path>", each an empty folder but the last.
fs::path librariesHome(int libraries) {
  const fs::path root = "/tmp/kb" + std::to_string(::getpid());
  if (fs::exists(root)) return root;
  std::string list = "libraryfolders {\n";
  for (int i = 0; i < libraries; ++i) {
    const fs::path library = root / base36(i);
    fs::create_directories(library);
    list += base36(i) + " " + library.string() + "\n";
  }
  write(root / ".local/share/Steam/steamapps/libraryfolders.vdf", list + "}\n");
  fs::create_directories(root / base36(libraries - 1) /
                         "steamapps/compatdata/3391826345/pfx/drive_c/Gunship!");
  return root;
}

void BM_ManyLibraries(benchmark::State& state) {
  const prefix::Environment env = environmentOf(librariesHome(45000));
  for (auto _ : state) {
    const prefix::Choice choice = prefix::choose(env);
    if (choice.place != "steam") state.SkipWithError("the game was not found");
    benchmark::DoNotOptimize(choice);
  }
}
BENCHMARK(BM_ManyLibraries)->Unit(benchmark::kMillisecond);

// A home whose one Lutris game file sets variables variables for the game, with short names
// (V and a number in base 36) so that 80,000 fit under the bound.
fs::path lutrisHome(int variables) {
  const fs::path root = fs::temp_directory_path() /
                        ("kestrun-prefix-bench-" + std::to_string(::getpid()) + "-lutris");
  if (fs::exists(root)) return root;
  std::string file = "game:\n prefix: " + (root / "Games/Gunship").string() + "\nsystem:\n env:\n";
  for (int i = 0; i < variables; ++i) {
    file += "  V" + base36(i) + ": 1\n";
  }
  write(root / ".config/lutris/games/gunship.yml", file);
  fs::create_directories(root / "Games/Gunship/drive_c/Gunship!");
  return root;
}

void BM_LutrisEnvironment(benchmark::State& state) {
  const prefix::Environment env = environmentOf(lutrisHome(80000));
  for (auto _ : state) {
    const prefix::Choice choice = prefix::choose(env);
    const std::vector<std::string> gameEnvironment = prefix::gameEnvironment(choice, environ);
    if (gameEnvironment.size() < 80000) state.SkipWithError("the variables were not read");
    benchmark::DoNotOptimize(gameEnvironment);
  }
}
BENCHMARK(BM_LutrisEnvironment)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  for (const std::uint64_t id : {1000000ull, 3000000000ull}) fs::remove_all(home(id), ec);
  fs::remove_all(lutrisHome(0), ec);
  fs::remove_all(librariesHome(0), ec);
  return 0;
}
