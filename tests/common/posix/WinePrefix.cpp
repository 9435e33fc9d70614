#include "WinePrefix.h"

#include <cstdlib>

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
  fs::path full = driveC() / relative;
  fs::create_directories(full);
  return full;
}

void WinePrefix::writeHive(const std::string& name, const std::string& contents) {
  writeFile(root() / name, contents);
}

}  // namespace testing_support
