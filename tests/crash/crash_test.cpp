// Kills a process in the middle of repeated profile writes, many times at random moments, and
// checks after each kill that the profile is whole: byte for byte either the file with the old
// value or the file with the new one (our writes keep every other line as it was).
//
//   crash_test FOLDER [KILLS] [SEED]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "platform/Platform.h"

namespace fs = std::filesystem;

namespace {

const std::string kShort = "C:\\Gunship!";
const std::string kLong = std::string(3000, 'L') + "\\end";

std::string profileWith(const std::string& value) {
  return "; Kestrun settings\r\n[Main]\r\n  Path = " + value +
         "\r\nModel=Realistic ; kept\r\n\r\n[Other]\r\nKey = kept \r\n# hash line\r\n";
}

std::string contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

[[noreturn]] void writeForever(const fs::path& file) {
  for (unsigned i = 0;; ++i) {
    const std::string& value = (i % 2) ? kLong : kShort;
    if (platform::writePrivateProfileString("main", "PATH", value.c_str(), file.c_str()) == 0)
      _exit(3);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: crash_test FOLDER [KILLS] [SEED]\n";
    return 2;
  }
  const fs::path folder = argv[1];
  const int kills = argc > 2 ? std::atoi(argv[2]) : 1000;
  std::mt19937 rng(argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u);
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path file = folder / "custom.ini";
  {
    std::ofstream out(file, std::ios::binary);
    out << profileWith(kShort);
  }
  const std::string withShort = profileWith(kShort), withLong = profileWith(kLong);

  int oldOrNew[2] = {0, 0}, leftovers = 0;
  for (int k = 0; k < kills; ++k) {
    const pid_t child = ::fork();
    if (child < 0) return 2;
    if (child == 0) writeForever(file);
    // Anywhere from before the first write to dozens of writes in.
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(0, 20000)(rng)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFSIGNALED(status)) {
      std::cerr << "crash_test: the writer stopped by itself (status " << status << ")\n";
      return 1;
    }
    const std::string now = contents(file);
    if (now == withShort) {
      ++oldOrNew[0];
    } else if (now == withLong) {
      ++oldOrNew[1];
    } else {
      std::cerr << "crash_test: after kill " << k + 1 << " the profile is neither the old nor the"
                << " new file (" << now.size() << " bytes):\n"
                << now.substr(0, 400) << "\n";
      return 1;
    }
    char buffer[64];
    if (platform::getPrivateProfileString("Other", "Key", "", buffer, sizeof buffer,
                                          file.c_str()) != 4) {
      std::cerr << "crash_test: after kill " << k + 1 << " the profile does not read\n";
      return 1;
    }
    // A kill between writing the new file and renaming it leaves that file beside the profile.
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.path() != file) {
        ++leftovers;
        fs::remove(entry.path());
      }
    }
  }
  std::cout << "crash_test: " << kills << " kills; the profile was whole every time ("
            << oldOrNew[0] << " short value, " << oldOrNew[1] << " long value); " << leftovers
            << " unfinished temporary files left beside it\n";
  return 0;
}
