// What the readers of the places (Places.h) share: the one way a manager's file is read, and
// the rules every manager's record is taken by.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::posix::managers {

// The bytes of a game manager's file, or nullopt when it is not a regular file of at most
// kManagerFileLimit bytes or cannot be read. The file is opened without blocking and checked on
// the open descriptor, so a pipe or device named like a record never hangs the search, and no
// more than the limit is ever read (a file that grows past it while read is refused as well).
inline constexpr std::int64_t kManagerFileLimit = std::int64_t{1} << 20;
std::optional<std::string> readManagerFile(const std::filesystem::path& file);

// Whether path names an executable regular file (through links).
bool isExecutableFile(const std::filesystem::path& path);

// The first executable regular file named name in the absolute entries of path (a PATH value);
// empty when there is none. An empty or relative entry would name a folder the game's own files
// could occupy, so it is passed over.
std::filesystem::path findInPath(const std::optional<std::string>& path, std::string_view name);

// Whether a and b name the same file or folder, as the system resolves them (through links).
bool sameEntry(const std::filesystem::path& a, const std::filesystem::path& b);

// Whether a name recorded by a manager is one plain folder name: not empty, ".", "..", and
// without a slash or a NUL.
bool isPlainName(const std::string& name);

// The runner a manager records by name: folder/name/below, or none (empty) when name is not
// one plain folder name.
std::filesystem::path runnerBelow(const std::filesystem::path& folder, const std::string& name,
                                  const std::filesystem::path& below);

// The entries of folder in byte order of name: folders only, or regular files whose name ends
// in suffix (and is longer). An unreadable folder has none.
std::vector<std::filesystem::path> sortedEntries(const std::filesystem::path& folder, bool folders,
                                                 std::string_view suffix);

// A path a manager recorded, with a leading ~ read as the home, as a shell reads it: "~" is the
// home, "~/x" and "~//x" are the home's x; other text (also "~user/x") as it is.
std::filesystem::path fromHome(const std::string& recorded, const std::filesystem::path& home);

// Whether a manager's name for one of the game's variables is taken: not empty, without '='
// and without a NUL (which would end the entry early: "A\0B=c" reaches the game as "A"). A
// variable whose name is not taken is left out.
bool isVariableName(std::string_view name);

}  // namespace platform::posix::managers
