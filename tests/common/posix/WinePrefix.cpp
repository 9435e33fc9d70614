#include "WinePrefix.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
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

namespace {
// The line between a start's arguments and its environment.
const std::string kEnvironmentMark = "-- environment --";
}  // namespace

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
                "do echo \"$a\"; done; echo '" +
                kEnvironmentMark +
                "'; /usr/bin/tr '\\0' '\\n' < /proc/$$/environ; /bin/grep '^SigIgn:' "
                "/proc/$$/status; } > \"$f.tmp\" && /bin/mv "
                "\"$f.tmp\" \"$f\"\n");
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
      for (std::string line; std::getline(in, line) && line != kEnvironmentMark;)
        start.args.push_back(line);
      for (std::string line; std::getline(in, line);) start.environment.push_back(line);
      found.push_back(start);
    }
    if (found.size() >= expected) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < deadline);
  return found;
}

namespace {

// The leading abbreviation of an entry's path, spelled out.
std::string spelled(const std::string& path) {
  const std::pair<std::string, std::string> short_[] = {
      {"lc/", ".config/lutris/games/"},
      {"ld/", ".local/share/lutris/"},
      {"b/", ".local/share/bottles/"},
      {"fb/", ".var/app/com.usebottles.bottles/data/bottles/"},
      {"pol/", ".PlayOnLinux/"},
      {"h/", ".config/heroic/"},
      {"fh/", ".var/app/com.heroicgameslauncher.hgl/config/heroic/"},
      {"st/", ".local/share/Steam/"},
      {"cd/", ".local/share/Steam/steamapps/compatdata/"},
      {"fst/", ".var/app/com.valvesoftware.Steam/data/Steam/"},
      {"fsl/", ".var/app/com.valvesoftware.Steam/.local/share/Steam/"},
      {"sst/", "snap/steam/common/.local/share/Steam/"}};
  for (const auto& [abbreviation, full] : short_)
    if (path.starts_with(abbreviation)) return full + path.substr(abbreviation.size());
  return path;
}

}  // namespace

std::string withHome(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

void buildHome(const fs::path& home, std::vector<std::string> entries) {
  entries.insert(entries.end(), {"*bin/wine", "start/"});
  for (const std::string& entry : entries) {
    if (entry[0] == '|') {
      const fs::path at = home / spelled(entry.substr(1));
      fs::create_directories(at.parent_path());
      ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0);
      continue;
    }
    if (const std::size_t arrow = entry.find("->"); arrow != std::string::npos) {
      fs::create_directories((home / entry.substr(0, arrow)).parent_path());
      fs::create_directory_symlink(home / entry.substr(arrow + 2), home / entry.substr(0, arrow));
      continue;
    }
    const std::size_t equals = entry.find('=');
    const std::string path = spelled(entry.substr(entry[0] == '+' || entry[0] == '*', equals));
    const fs::path at = home / path;
    fs::create_directories(entry[0] == '+' ? at / "drive_c/Gunship!" : at.parent_path());
    if (entry[0] == '*' || equals != std::string::npos)
      writeFile(at, equals != std::string::npos
                        ? withHome(entry.substr(equals + 1), "@", home.string())
                        : "#!/bin/sh\n");
    if (entry[0] == '*') fs::permissions(at, fs::perms::owner_all);
  }
}

std::string shortcutsVdf(const std::vector<SteamShortcut>& shortcuts) {
  const auto text = [](char type, const std::string& name, const std::string& value) {
    return type + name + '\0' + value + (type == '\x01' ? std::string(1, '\0') : "");
  };
  std::string bytes = text('\x00', "shortcuts", "");
  for (std::size_t i = 0; i < shortcuts.size(); ++i) {
    const SteamShortcut& shortcut = shortcuts[i];
    bytes += text('\x00', std::to_string(i), "");
    if (!shortcut.appid.empty()) {
      const auto id = static_cast<std::uint32_t>(std::stoul(shortcut.appid));
      std::string little;
      for (int b = 0; b < 4; ++b) little += static_cast<char>(id >> (8 * b) & 0xff);
      bytes += text('\x02', "appid", little);
    }
    bytes += text('\x01', "AppName", shortcut.name) +
             text('\x01', "Exe", '"' + shortcut.exe + '"') + text('\x01', "StartDir", "\"/\"") +
             '\x08';
  }
  return bytes + "\x08\x08";
}

}  // namespace testing_support
