#include "WinePrefix.h"

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "platform/posix/HostPath.h"

namespace testing_support {

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) previous_ = old;
  if (value)
    ::setenv(name_.c_str(), value->c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
  if (previous_)
    ::setenv(name_.c_str(), previous_->c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

WinePrefix::WinePrefix(bool withDosdevices) : env_("WINEPREFIX", dir_.path().string()) {
  fs::create_directories(driveC());
  if (withDosdevices) {
    fs::create_directories(root() / "dosdevices");
    fs::create_directory_symlink("../drive_c", root() / "dosdevices" / "c:");
  }
}

fs::path WinePrefix::file(const std::string& relative, const std::string& bytes) {
  fs::path full = driveC() / relative;
  fs::create_directories(full.parent_path());
  writeFile(full, bytes);
  return full;
}

fs::path WinePrefix::folder(const std::string& relative) {
  fs::create_directories(driveC() / relative);
  return driveC() / relative;
}

void WinePrefix::writeHive(const std::string& name, const std::string& contents) {
  writeFile(root() / name, contents);
}

std::string hive(const std::string& body, const std::string& arch) {
  return "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=" + arch + "\n\n" +
         body;
}

std::string hexOf(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  out.reserve(3 * bytes.size());
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
    out.push_back(',');
  }
  if (!out.empty()) out.pop_back();
  return out;
}

std::string utf16Hex(const std::string& ascii) {
  std::string wide;
  for (char c : ascii) wide += std::string{c, '\0'};
  return hexOf(wide);
}

CurrentFolderGuard::CurrentFolderGuard()
    : folder_(fs::current_path()), drive_(platform::posix::currentDrive()) {}

CurrentFolderGuard::~CurrentFolderGuard() {
  fs::current_path(folder_);
  platform::posix::setCurrentDrive(drive_);
}

StandInWine::StandInWine() : StandInWine(fs::path()) {
  path_.emplace("PATH", bin_.path().string());
}

StandInWine::StandInWine(const fs::path& program)
    : program_(program.empty() ? bin_.path() / "wine" : program) {
  // One file per start, renamed into place whole: starts running at once never mix.
  fs::create_directories(program_.parent_path());
  writeFile(program_,
            "#!/bin/sh\nf='" + bin_.path().string() +
                "'/start.$$\n{ echo \"$0\"; pwd -P; echo \"$WINEPREFIX\"; for a in \"$@\"; "
                "do echo \"$a\"; done; } > \"$f.tmp\" && /bin/mv \"$f.tmp\" \"$f\"\n");
  fs::permissions(program_, fs::perms::owner_all);
}

std::vector<StandInWine::Start> StandInWine::starts(std::size_t expected) {
  std::vector<Start> found;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  do {
    found.clear();
    for (const auto& entry : fs::directory_iterator(bin_.path())) {
      if (entry.path().filename().string().rfind("start.", 0) != 0 ||
          entry.path().extension() == ".tmp")
        continue;
      std::istringstream in(readFile(entry.path()));
      Start start;
      std::getline(in, start.program);
      std::getline(in, start.cwd);
      std::getline(in, start.prefix);
      for (std::string line; std::getline(in, line);) start.args.push_back(line);
      found.push_back(start);
    }
    if (found.size() >= expected) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < deadline);
  return found;
}

}  // namespace testing_support
