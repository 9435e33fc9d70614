// The profile functions of the Linux host, over files below the Wine prefix: the profile text
// rules (ProfileText) over files read and replaced safely (SafeFile).
//
// Only regular files of at most 64 MiB are profiles: anything else (a FIFO, a device, a socket,
// a folder, a bigger file) reads as a missing file and is never written. A read takes no lock; a
// write is SafeFile's rewrite of the file, with its lock, its metadata kept and its refusal of
// read-only files; it waits until its ProfileWriteRun's end, and its reason for failing becomes
// the thread's last error, as the Windows code.
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "platform/posix/HostPath.h"
#include "platform/posix/LastError.h"
#include "platform/posix/files/RegularFile.h"
#include "platform/posix/files/SafeFile.h"
#include "platform/posix/profile/ProfileHooks.h"
#include "platform/posix/profile/ProfileText.h"

namespace {

// A game profile is a few KiB; a file beyond this is no profile.
constexpr std::size_t kLargestProfile = std::size_t{64} << 20;

std::mutex hookMutex;
std::function<void()> afterOpen;

void runAfterOpen() {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    hook = afterOpen;
  }
  if (hook) hook();
}

// The bytes of the profile at file (a program path): empty for no path, a missing file or one
// that is no profile, also one that grows past the bound while it is read. An unreadable rest
// reads as the end of the file.
platform::posix::Bytes profileText(const char* file) {
  platform::posix::Bytes text;
  if (file == nullptr || *file == '\0') return text;
  try {
    const platform::posix::RegularFile in(platform::posix::hostPath(file));
    if (!in.open() || static_cast<std::uint64_t>(in.status().st_size) > kLargestProfile)
      return text;
    runAfterOpen();
    if (in.readWhole(kLargestProfile, text) == platform::posix::Whole::TooBig) text.clear();
  } catch (const std::exception&) {
  }
  return text;
}

// The end of the wait of this thread's ProfileWriteRun, while one lives.
thread_local std::optional<std::chrono::steady_clock::time_point> runEnd;

// When a profile write, or a ProfileWriteRun, that begins now must give up waiting.
std::chrono::steady_clock::time_point writeDeadline() {
  return runEnd ? *runEnd : std::chrono::steady_clock::now() + platform::posix::kLongestWait;
}

}  // namespace

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
  const posix::Bytes bytes = profileText(file);
  const std::string_view text = posix::view(bytes);
  return key != nullptr ? posix::profile::readValue(text, section, key, fallback, buffer, size)
                        : posix::profile::readKeyNames(text, section, fallback, buffer, size);
}

int writePrivateProfileString(const char* section, const char* key, const char* value,
                              const char* file) {
  // Deleting keys or sections (a null key or value) is not offered; an empty path names no file.
  if (section == nullptr || key == nullptr || value == nullptr || file == nullptr ||
      *file == '\0') {
    posix::setLastError(posix::windowsError(file != nullptr && *file == '\0' ? ENOENT : EINVAL));
    return 0;
  }
  const auto edit = [&](std::string_view current) {
    return posix::profile::withValue(current, section, key, value);
  };
  int error = 0;
  try {
    error = posix::rewriteFile(posix::hostPath(file), kLargestProfile, edit, writeDeadline());
  } catch (const std::bad_alloc&) {
    error = ENOMEM;
  } catch (const std::exception&) {
    error = EIO;
  }
  posix::setLastError(posix::windowsError(error));
  return error == 0 ? 1 : 0;
}

ProfileWriteRun::ProfileWriteRun() : outermost_(!runEnd) {
  if (outermost_) runEnd = writeDeadline();
}

ProfileWriteRun::~ProfileWriteRun() {
  if (outermost_) runEnd.reset();
}

namespace posix {

void setAfterProfileOpen(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  afterOpen = std::move(hook);
}

}  // namespace posix

}  // namespace platform
