// The profile functions of the Linux host, over files below the Wine prefix.
//
// A read takes the whole file in one read. A write reads the file once, makes its change in
// memory (ProfileText) and, only when something changed, writes the new text to a temporary
// file in the same folder, flushes it and renames it over the old one: the profile is always
// either the old file or the new one, never a mixture.
#include "platform/posix/ProfileHooks.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "platform/posix/HostPath.h"
#include "platform/posix/ProfileText.h"

namespace platform::posix {

namespace fs = std::filesystem;

namespace {

std::atomic<bool> syncWrites{true};
std::mutex hookMutex;
std::function<void()> beforeReplace;

// The whole content of the file at path. False when it cannot be read (missing, a folder...).
bool readWhole(const fs::path& path, std::string& text) {
  text.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  // One read of the whole file in the usual case; the loop only goes on for a growing file.
  const std::size_t expected =
      (::fstat(fd, &st) == 0 && st.st_size > 0) ? static_cast<std::size_t>(st.st_size) : 0;
  text.resize(expected + 1);
  std::size_t have = 0;
  bool ok = true;
  for (;;) {
    if (have == text.size()) text.resize(text.size() * 2);
    const ssize_t got = ::read(fd, text.data() + have, text.size() - have);
    if (got > 0) {
      have += static_cast<std::size_t>(got);
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      ok = false;
      break;
    }
  }
  ::close(fd);
  text.resize(ok ? have : 0);
  return ok;
}

bool writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t put = ::write(fd, data.data() + done, data.size() - done);
    if (put > 0) {
      done += static_cast<std::size_t>(put);
    } else if (put < 0 && errno == EINTR) {
      continue;
    } else {
      return false;  // disk full, file size limit, I/O error
    }
  }
  return true;
}

// The file a write must change: path itself, or the final target of the symbolic links it
// names (relative links resolve against the link's folder). Empty for a loop of links.
fs::path finalTarget(fs::path path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::error_code ec;
    const fs::path link = fs::read_symlink(path, ec);
    if (ec) return {};
    path = link.is_absolute() ? link : path.parent_path() / link;
  }
  return {};
}

// Read-only as Wine shows the Windows attribute: the owner may not write. Root is refused too.
bool writable(const struct stat& st) {
  return S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR);
}

void syncFolder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Removes the temporary files that writers killed mid-write left beside target: those whose
// writer's process no longer exists. A live writer's file is never touched. Once per folder and
// run, so a copy's nine writes look at the folder once.
void sweepLeftovers(const fs::path& folder, const fs::path& target) {
  static std::mutex sweptMutex;
  static std::set<fs::path> swept;
  {
    std::lock_guard<std::mutex> lock(sweptMutex);
    if (!swept.insert(folder).second) return;
  }
  const std::string prefix = "." + target.filename().string() + ".kestrun-";
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    if (pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      ::unlink(it->path().c_str());
  }
}

// Puts data in place of target through a temporary file beside it. old is the target's status
// when it exists. On any failure the target is untouched and no temporary file is left.
bool replaceFile(const fs::path& target, const std::string& data, const struct stat* old) {
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  static std::atomic<unsigned> counter{0};
  std::random_device entropy;
  fs::path temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    std::string name = ".";
    name.append(target.filename().string());
    name.append(".kestrun-").append(std::to_string(::getpid()));
    name.append("-").append(std::to_string(counter++));
    name.append("-").append(std::to_string(entropy()));
    temporary = folder / name;
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  const bool sync = syncWrites.load();
  bool ok = true;
  if (old) {
    ok = ::fchmod(fd, old->st_mode & 07777) == 0;
    if (ok && (old->st_uid != ::geteuid() || old->st_gid != ::getegid())) {
      if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
        // Keeping the owner is best effort: only root may give a file away.
      }
    }
  }
  ok = ok && writeAll(fd, data) && (!sync || ::fsync(fd) == 0);
  ok = (::close(fd) == 0) && ok;

  if (ok) {
    std::function<void()> hook;
    {
      std::lock_guard<std::mutex> lock(hookMutex);
      hook = beforeReplace;
    }
    if (hook) hook();
    // The file may have been made read-only (or replaced by a folder) while we wrote.
    struct stat now {};
    if (::lstat(target.c_str(), &now) == 0)
      ok = writable(now);
    else
      ok = errno == ENOENT && !old;
  }
  if (ok) ok = ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  if (sync) syncFolder(folder);
  sweepLeftovers(folder, target);
  return true;
}

bool hasLineBreak(const char* s) {
  return std::strpbrk(s, "\r\n") != nullptr;
}

}  // namespace

void setProfileSync(bool on) {
  syncWrites.store(on);
}

void setBeforeProfileReplace(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  beforeReplace = std::move(hook);
}

}  // namespace platform::posix

namespace platform {

std::uint32_t getPrivateProfileString(const char* section, const char* key,
                                      const char* defaultValue, char* buffer, std::uint32_t size,
                                      const char* file) {
  if (buffer == nullptr || size == 0) return 0;
  if (section == nullptr) {  // lists of section names are not offered
    buffer[0] = '\0';
    return 0;
  }
  const char* fallback = defaultValue ? defaultValue : "";
  std::string text;
  // An empty path names no file: the default, as for a missing one.
  if (file != nullptr && *file != '\0') {
    try {
      posix::readWhole(posix::hostPath(file), text);
    } catch (const std::exception&) {
      text.clear();
    }
  }
  if (key != nullptr) return posix::profile::readValue(text, section, key, fallback, buffer, size);
  return posix::profile::readKeyNames(text, section, fallback, buffer, size);
}

int writePrivateProfileString(const char* section, const char* key, const char* value,
                              const char* file) {
  // Deleting keys or sections (a null key or value) is not offered; an empty path names no file.
  if (section == nullptr || key == nullptr || value == nullptr || file == nullptr || *file == '\0')
    return 0;
  // A line break would split the new line in two, a key opening with '[' would read back as a
  // section header, and one opening with the UTF-8 byte-order mark would read back as a mark and
  // a shorter key at the top of a file: each would change the file's structure, so such writes
  // are refused.
  if (posix::hasLineBreak(section) || posix::hasLineBreak(key) || posix::hasLineBreak(value))
    return 0;
  const char* keyStart = key;
  while (*keyStart == ' ' || *keyStart == '\t' || *keyStart == '\v' || *keyStart == '\f' ||
         *keyStart == '\x1A')
    ++keyStart;
  if (*keyStart == '[' || std::string_view(keyStart).starts_with("\xEF\xBB\xBF")) return 0;

  try {
    const std::filesystem::path target = posix::finalTarget(posix::hostPath(file));
    if (target.empty()) return 0;
    struct stat st {};
    const bool exists = ::lstat(target.c_str(), &st) == 0;
    if (exists ? !posix::writable(st) : errno != ENOENT) return 0;
    std::string text;
    if (exists && !posix::readWhole(target, text)) return 0;
    const auto updated = posix::profile::withValue(text, section, key, value);
    if (!updated) return 1;  // already holds that value: nothing to write
    return posix::replaceFile(target, *updated, exists ? &st : nullptr) ? 1 : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace platform
