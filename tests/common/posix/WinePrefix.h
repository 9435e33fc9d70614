// Throw-away Wine prefixes for the Linux host's tests.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "TestSupport.h"

namespace testing_support {

// Sets (or, with nullopt, removes) an environment variable for its lifetime.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// A prefix in a temporary folder, in force (WINEPREFIX) for the object's lifetime:
// drive_c, and dosdevices/c: linking to it as Wine lays it out.
class WinePrefix {
 public:
  explicit WinePrefix(bool withDosdevices = true);
  const fs::path& root() const { return dir_.path(); }
  fs::path driveC() const { return dir_.path() / "drive_c"; }
  // Creates the file (and its folders) below drive_c, e.g. file("Gunship!/data/custom.ini", ...).
  fs::path file(const std::string& relative, const std::string& bytes);
  fs::path folder(const std::string& relative);
  // Writes one of the prefix's hives (system.reg, user.reg, userdef.reg).
  void writeHive(const std::string& name, const std::string& contents);

 private:
  TempDir dir_;
  ScopedEnv env_;
};

}  // namespace testing_support
