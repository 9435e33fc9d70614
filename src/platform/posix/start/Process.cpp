// Current drive, current directory and program start on Linux, over the Wine prefix.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/Error.h"
#include "platform/Platform.h"
#include "platform/posix/HostPath.h"
#include "platform/posix/Prefix.h"
#include "platform/posix/Text.h"
#include "platform/posix/start/Start.h"
#include "platform/posix/start/StartLine.h"

extern char** environ;

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::string reason(int error) {
  return std::generic_category().message(error);
}

// Waits for the child on a thread of its own, so that it leaves no zombie behind while the
// program stays resident. The program never looks at the result.
void reapLater(pid_t pid) {
  try {
    std::thread([pid] {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the child is reaped when the program ends. The start itself worked.
  }
}

}  // namespace

void changeDrive(const std::string& path) {
  if (path.empty()) return;
  const char letter = path.front();
  // A host path names no drive: the current drive does not matter for it.
  if (letter == '/') return;
  if (!posix::text::isAsciiLetter(letter))
    throw Error("The folder " + quoted(path) + " does not begin with a drive letter.");
  std::error_code ec;
  if (!fs::is_directory(posix::driveRoot(letter), ec))
    throw Error(std::string("Drive ") + posix::text::upperAscii(letter) +
                ": does not exist, so the folder " + quoted(path) + " cannot be reached.");
  posix::setCurrentDrive(letter);
}

void changeDirectory(const std::string& path) {
  // Windows refuses an empty folder name; so do we, rather than staying where we are.
  if (path.empty()) throw Error("Cannot open the folder \"\": no folder was named.");
  // The prefix and the Wine are chosen before the first change of folder, so that a relative
  // WINEPREFIX or WINE means what it meant where the program started.
  posix::prefix::inForce();
  const fs::path host = posix::hostPath(path);
  if (::chdir(host.c_str()) != 0)
    throw Error("Cannot open the folder " + quoted(path) + ": " + reason(errno) + ".");
  // Entering a folder of another drive makes that drive current, as on Windows.
  if (const char drive = posix::driveOf(path)) posix::setCurrentDrive(drive);
}

std::int32_t startProgram(const std::string& path, int /*windowStyle: Wine shows the window*/) {
  std::error_code ec;
  // Absolute, so that wine cannot mistake a name beginning with '-' for one of its options.
  const fs::path host = fs::absolute(posix::hostPath(path), ec);
  struct stat info {};
  if (path.empty() || ec || ::stat(host.c_str(), &info) != 0) {
    const int error = path.empty() ? ENOENT : ec ? ec.value() : errno;
    if (error == ENOENT || error == ENOTDIR)
      throw Error("Cannot start " + quoted(path) + ": file not found.");
    throw Error("Cannot start " + quoted(path) + ": " + reason(error) + ".");
  }
  // A folder is there but cannot be run: a start that did not happen, as on Windows.
  if (S_ISDIR(info.st_mode)) return 0;

  // The runner (a Wine, or a Proton and the runtime it runs in) and the manager's own command
  // were found when the prefix was chosen, as absolute paths: nothing is looked up here, in the
  // game's folder.
  const std::shared_ptr<const posix::prefix::Choice> choice = posix::prefix::inForce();
  const posix::prefix::Start start = posix::prefix::startOf(*choice, host);
  std::cerr << posix::prefix::describe(start) << std::endl;
  if (start.argv.empty()) return 0;
  std::vector<std::string> line = start.argv;
  // A manager asked to start the game gets our own environment; the game gets its own.
  std::vector<std::string> env;
  if (start.handedOff)
    for (char** entry = environ; entry && *entry; ++entry) env.emplace_back(*entry);
  else
    env = posix::prefix::gameEnvironment(*choice, environ);
  const auto pointers = [](std::vector<std::string>& strings) {
    std::vector<char*> list;
    for (std::string& text : strings) list.push_back(text.data());
    list.push_back(nullptr);
    return list;
  };
  std::vector<char*> argv = pointers(line);
  std::vector<char*> envp = pointers(env);

  // The game starts with no signal blocked, and with the default action for the signals whose
  // being ignored would break it (a broken pipe, its own children's ends) or that the profile
  // writes ignore in this process (a file past the size limit).
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return 0;
  sigset_t none;
  sigset_t defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  sigaddset(&defaults, SIGXFSZ);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  // posix_spawn reports a failed exec as its result.
  pid_t pid = 0;
  const int failed = ::posix_spawn(&pid, argv[0], nullptr, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  if (failed != 0 || pid <= 0) return 0;

  reapLater(pid);
  return static_cast<std::int32_t>(pid);
}

}  // namespace platform
