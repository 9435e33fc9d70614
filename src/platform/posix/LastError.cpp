#include "platform/posix/LastError.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/Platform.h"

namespace platform::posix {

namespace {

thread_local std::int32_t lastError = kErrorSuccess;

// Codes Windows has for reasons a profile write can fail for, besides those Platform.h names.
constexpr std::int32_t kErrorNotEnoughMemory = 8;
constexpr std::int32_t kErrorWriteProtect = 19;
constexpr std::int32_t kErrorWriteFault = 29;
constexpr std::int32_t kErrorInvalidParameter = 87;
constexpr std::int32_t kErrorFilenameTooLong = 206;
constexpr std::int32_t kErrorCantResolveFilename = 1921;

}  // namespace

std::int32_t windowsError(int error) {
  switch (error) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
      return kErrorAccessDenied;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EROFS:
      return kErrorWriteProtect;
    case EIO:
      return kErrorWriteFault;
    case EAGAIN:
      return kErrorSharingViolation;
    case EINVAL:
      return kErrorInvalidParameter;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case EFBIG:
      return kErrorFileTooLarge;
    case ELOOP:
      return kErrorCantResolveFilename;
    default:
      return kErrorFromErrno | error;
  }
}

void setLastError(std::int32_t code) {
  lastError = code;
}

}  // namespace platform::posix

namespace platform {

std::int32_t getLastError() {
  return posix::lastError;
}

std::string errorMessage(std::int32_t code) {
  using namespace posix;
  switch (code) {
    case kErrorSuccess:
      return "The operation completed successfully.";
    case kErrorPathNotFound:
      return "The folder of the file does not exist.";
    case kErrorAccessDenied:
      return "Access is denied: the file is read-only or is no ordinary file, or you may not "
             "write to it.";
    case kErrorNotEnoughMemory:
      return "There is not enough memory.";
    case kErrorWriteProtect:
      return "The disk is read-only.";
    case kErrorWriteFault:
      return "The disk could not be written (an input/output error).";
    case kErrorSharingViolation:
      return "The file is in use: another program has locked it or is saving it.";
    case kErrorInvalidParameter:
      return "The file cannot hold this name or value.";
    case kErrorDiskFull:
      return "There is not enough space on the disk.";
    case kErrorFilenameTooLong:
      return "The file name is too long.";
    case kErrorFileTooLarge:
      return "The file would be too large: larger than a profile may be, or than the file-size "
             "limit allows.";
    case kErrorCantResolveFilename:
      return "The file name cannot be resolved: its symbolic links form a loop.";
    default:
      break;
  }
  if ((code & kErrorFromErrno) != 0) {
    char words[256] = {};
    // GNU strerror_r: the words may be in words or in a static text.
    const std::string text = ::strerror_r(code & ~kErrorFromErrno, words, sizeof words);
    return text + ".";
  }
  return "Error " + std::to_string(code) + ".";
}

}  // namespace platform
