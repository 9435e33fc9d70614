// The Linux host's stand-in for the thread's last error of Windows (GetLastError), set from the
// errno value of a failed host function.
#pragma once

#include <cstdint>

namespace platform::posix {

// The Windows error code that stands for the errno value error: 0 for 0; the code Windows gives
// for the same reason (EAGAIN, a lock another program holds or a save under way, is a sharing
// violation; EACCES, EPERM and EISDIR access denied; ENOSPC and EDQUOT a full disk; EFBIG a file
// too large...); kErrorFromErrno with the value where Windows has no code for the reason.
std::int32_t windowsError(int error);

// Records code as this thread's last error, for getLastError.
void setLastError(std::int32_t code);

}  // namespace platform::posix
