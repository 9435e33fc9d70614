// The host functions the settings modules, the catalogue scan and the launch stand on.
//
// They have the shape and the status codes of the Windows functions they stand for
// (GetPrivateProfileStringA, WritePrivateProfileStringA, RegOpenKeyExA, RegQueryValueExA,
// RegCloseKey, the entry probe over FindFirstFileA, _chdrive, SetCurrentDirectoryA and the
// program start). On Windows they are thin calls of the real functions (platform/win32); on Linux
// they are our own, over a Wine prefix (platform/posix).
//
// The names are written in lower camel case so that they never collide with the Windows
// headers' macros of the same names (RegOpenKeyEx, GetPrivateProfileString...).
//
// Text is UTF-8 inside the program. Paths are program paths: Windows paths as the game and the
// user write them (c:\Gunship!\data\custom.ini), mapped to the host by the platform.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Status codes, with the values Windows gives them.
inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorFileNotFound = 2;
inline constexpr std::int32_t kErrorPathNotFound = 3;
inline constexpr std::int32_t kErrorAccessDenied = 5;
inline constexpr std::int32_t kErrorInvalidHandle = 6;
inline constexpr std::int32_t kErrorSharingViolation = 32;
inline constexpr std::int32_t kErrorDiskFull = 112;
inline constexpr std::int32_t kErrorBadPathname = 161;
inline constexpr std::int32_t kErrorFileTooLarge = 223;
inline constexpr std::int32_t kErrorMoreData = 234;

// The most bytes of program text (UTF-8) that one byte of ANSI text can become.
inline constexpr std::uint32_t kTextBytesPerAnsiByte = 3;

// Registry access mask for reading (KEY_READ).
inline constexpr std::uint32_t kKeyRead = 0x20019;

// A registry key handle as the program holds it: 32 bits.
using RegKey = std::uint32_t;

// The predefined roots, with the values Windows defines. Any other handle is one that
// regOpenKeyEx gave out.
inline constexpr RegKey kHkeyClassesRoot = 0x80000000;
inline constexpr RegKey kHkeyCurrentUser = 0x80000001;
inline constexpr RegKey kHkeyLocalMachine = 0x80000002;
inline constexpr RegKey kHkeyUsers = 0x80000003;
inline constexpr RegKey kHkeyPerformanceData = 0x80000004;
inline constexpr RegKey kHkeyCurrentConfig = 0x80000005;
inline constexpr RegKey kHkeyDynData = 0x80000006;

constexpr bool isPredefinedRoot(RegKey key) {
  return key >= kHkeyClassesRoot && key <= kHkeyDynData;
}

// Attribute masks of the entry probe.
inline constexpr int kAttrNormal = 0;      // ordinary files only
inline constexpr int kAttrDirectory = 16;  // folders and ordinary files

// Window style of a program start: a normal window that gets the focus.
inline constexpr int kNormalFocus = 1;

// ---- Profile files -------------------------------------------------------------------------

// Reads one value (key != nullptr) or the section's key names (key == nullptr) into buffer,
// which holds size bytes. Returns the count of bytes placed, without the terminating NUL.
// A missing file, section or key yields the default. Never creates or changes a file.
std::uint32_t getPrivateProfileString(const char* section, const char* key,
                                      const char* defaultValue, char* buffer, std::uint32_t size,
                                      const char* file);

// Sets key in section of file to value, adding the key, the section or the file where
// missing. Non-zero on success; 0 on failure, with the file left as it was and the reason in
// getLastError: among others kErrorSharingViolation (another program has locked the file or is
// saving it), kErrorAccessDenied (read-only), kErrorDiskFull, kErrorFileTooLarge.
int writePrivateProfileString(const char* section, const char* key, const char* value,
                              const char* file);

// A run of profile writes that share one wait: while it lives, every profile write of this
// thread gives up waiting (on Linux, for a lock another program holds or for a save under way
// to end) once the run has lasted as long as one write may wait (5 s), so a run of nine writes
// ends as soon as one would. A write outside a run has that long of its own. A run made inside
// another adds nothing: the outer one's end holds. On Windows it does nothing, as the profile
// functions do not wait.
class ProfileWriteRun {
 public:
  ProfileWriteRun();
  ~ProfileWriteRun();
  ProfileWriteRun(const ProfileWriteRun&) = delete;
  ProfileWriteRun& operator=(const ProfileWriteRun&) = delete;

 private:
  bool outermost_ = false;
};

// The reason for the last failure of a host function on this thread, as GetLastError gives it:
// a Windows error code. On Linux it is set by writePrivateProfileString, one of the codes above
// or another that Windows has for it, or for a reason Windows has no code for,
// kErrorFromErrno with the errno value in its low bits.
std::int32_t getLastError();

// Windows marks its applications' own error codes with this bit; no code of the system has it.
inline constexpr std::int32_t kErrorFromErrno = 0x20000000;

// The system's words for an error code, for a player (FormatMessage's on Windows), without a
// trailing line break.
std::string errorMessage(std::int32_t code);

// ---- Registry (read-only) ------------------------------------------------------------------

std::int32_t regOpenKeyEx(RegKey root, const char* subKey, std::uint32_t options,
                          std::uint32_t samDesired, RegKey* result);

// Copies the value's data into data; *size is the buffer's size on the way in and the data's
// size on the way out, both counted as RegQueryValueExA counts them: string data in the ANSI
// code page (on Linux cp1252, one byte for each UTF-16 unit), any other type in bytes. String
// data still reaches the caller as program text (UTF-8), which may take more bytes than are
// counted: data must hold kTextBytesPerAnsiByte times *size bytes. The terminating NUL is
// counted; string data shorter than the buffer that does not end in NUL gets one written after
// it, not counted. A value that does not fit yields kErrorMoreData and leaves data untouched; a
// missing one kErrorFileNotFound with data and *size untouched.
std::int32_t regQueryValueEx(RegKey key, const char* valueName, std::uint32_t* reserved,
                             std::uint32_t* type, std::uint8_t* data, std::uint32_t* size);

std::int32_t regCloseKey(RegKey key);

// ---- File system and processes -------------------------------------------------------------

// The entry probe: the name, as stored on disk, of the entry that path names, or the empty
// text. Mask kAttrNormal matches an ordinary file only; kAttrDirectory a folder or an ordinary
// file. Hidden and system entries never match.
std::string probeEntry(const std::string& path, int attributes);

// Makes the drive of path (its first letter) the current drive. Raises platform::Error when
// that drive does not exist.
void changeDrive(const std::string& path);

// Makes the folder path the current directory. Raises platform::Error when it cannot.
void changeDirectory(const std::string& path);

// Starts the program at path, with no arguments, in the given window style. Yields its task
// identifier (the process id, non-zero), or 0 when it could not be started.
std::int32_t startProgram(const std::string& path, int windowStyle);

}  // namespace platform
