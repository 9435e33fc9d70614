// Kills a process in the middle of repeated profile writes, many times at random moments, and
// checks after each kill that the profile is whole: byte for byte either the file with the old
// value or the file with the new one (our writes keep every other line as it was).
//
//   crash_test FOLDER [KILLS] [SEED]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "platform/Platform.h"
#include "platform/posix/files/SafeFile.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: crash_test FOLDER [KILLS] [SEED]\n";
    return 2;
  }
  const fs::path folder = argv[1], file = folder / "custom.ini";
  const int kills = argc > 2 ? std::atoi(argv[2]) : 1000;
  std::mt19937 rng(argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u);
  const std::string values[2] = {"C:\\Gunship!", std::string(3000, 'L') + "\\end"};
  std::string whole[2];
  for (int v = 0; v < 2; ++v)
    whole[v] = "; Kestrun settings\r\n[Main]\r\n  Path = " + values[v] +
               "\r\nModel=Realistic ; kept\r\n\r\n[Other]\r\nKey = kept \r\n# hash line\r\n";
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::ofstream(file, std::ios::binary) << whole[0];

  int seen[2] = {0, 0}, leftovers = 0;
  for (int k = 1; k <= kills; ++k) {
    const pid_t child = ::fork();
    if (child < 0) return 2;
    if (child == 0) {
      for (unsigned i = 0;; ++i)  // the writer, alternating the two values until it is killed
        if (platform::writePrivateProfileString("main", "PATH", values[i % 2].c_str(),
                                                file.c_str()) == 0)
          _exit(3);
    }
    // Anywhere from before the first write to dozens of writes in: a new writer's first write
    // waits until the file the killed one left has been still for the settle time, the next
    // ones do not.
    const auto latest =
        std::chrono::duration_cast<std::chrono::microseconds>(2 * platform::posix::kSettleTime);
    std::this_thread::sleep_for(std::chrono::microseconds(
        std::uniform_int_distribution<std::int64_t>(0, latest.count())(rng)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::ostringstream now;
    now << std::ifstream(file, std::ios::binary).rdbuf();
    char buffer[64];
    const std::string problem =
        !WIFSIGNALED(status) ? "the writer stopped by itself"
        : now.str() != whole[0] && now.str() != whole[1]
            ? "the profile is neither the old nor the new file:\n" + now.str().substr(0, 400)
        : platform::getPrivateProfileString("Other", "Key", "", buffer, sizeof buffer,
                                            file.c_str()) != 4
            ? "the profile does not read"
            : "";
    if (!problem.empty()) {
      std::cerr << "crash_test: after kill " << k << ": " << problem << "\n";
      return 1;
    }
    ++seen[now.str() == whole[1]];
    // A kill between writing the new file and renaming it leaves that file beside the profile;
    // a later writer removes it once its writer is gone.
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.path() != file) ++leftovers;
  }
  // This process's first write that changes the file sweeps what the killed writers left.
  if (platform::writePrivateProfileString("main", "Swept", "yes", file.c_str()) == 0) return 1;
  const auto stray = std::distance(fs::directory_iterator(folder), {}) - 1;
  if (stray != 0) {
    std::cerr << "crash_test: " << stray << " temporary files of killed writers were not removed\n";
    return 1;
  }
  std::cout << "crash_test: " << kills << " kills; the profile was whole every time (" << seen[0]
            << " short value, " << seen[1] << " long value); " << leftovers
            << " rounds saw temporary files of killed writers, all removed by a later write\n";
  return 0;
}
