// The new file a rewrite makes beside the file it replaces or creates, removed unless it is
// committed, and the sweep of those that writers killed mid-write left behind.
//
// A temporary file is named ".kestrun-", its writer's process id in decimal, '-' and 8 random
// lower-case hex digits (short enough to fit beside any name a file system allows).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <string_view>

#include "platform/posix/files/RegularFile.h"

namespace platform::posix {

// Writes all of data into the open file fd from byte offset at; false when it cannot (disk full,
// file-size limit, I/O error), with whatever fitted written.
bool writeAll(int fd, std::string_view data, off_t at);

class TemporaryFile {
 public:
  // Makes an empty file in folder, opened for writing, with mode (less the umask). Not made()
  // when it cannot be made, errno saying why.
  TemporaryFile(const std::filesystem::path& folder, mode_t mode);
  // Removes the file unless it was committed; errno is left as it was.
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool made() const { return fd_.get() >= 0; }
  int fd() const { return fd_.get(); }

  // Gives it the owner and group of the file like (status likeStatus), also where its folder
  // would give another group, and every extended attribute of like and no other (Wine's
  // user.DOSATTRIB, the POSIX ACL). False when one cannot be given. Before the data: a change of
  // owner clears set-id bits, so the mode is given last.
  bool takeOwnerAndAttributes(int like, const struct stat& likeStatus);

  // Commits: renames it over target. False, errno saying why, when the system refuses.
  bool replace(const std::filesystem::path& target);
  // Commits: puts it at target, never over a file that is there (errno EEXIST then).
  bool create(const std::filesystem::path& target);

 private:
  std::filesystem::path path_;
  Fd fd_;
  bool committed_ = false;
};

// Removes from folder the temporary files of writers that no longer run (killed mid-write):
// regular files named exactly as above whose process id is no running process. A live writer's
// file, and any other name, is never touched. Once per folder and run, so a copy's nine writes
// look at the folder once.
//
// Process ids are this system's: a writer in another process-id namespace (a container, or
// another NFS client writing into the same folder) is taken for gone when no process here has
// its id, and its temporary file is removed. That costs that writer its write, which fails when
// it renames the file; the profile stays whole.
void sweepLeftovers(const std::filesystem::path& folder);

}  // namespace platform::posix
