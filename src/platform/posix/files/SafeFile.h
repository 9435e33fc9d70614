// Replacing small regular files safely on the Linux host: the profile writes use it.
//
// rewriteFile(path, largest, edit, deadline) reads the file whole, asks edit for its new bytes
// and puts them in its place so that the file is always either the old one or the new one:
//   - It writes through symbolic links to their final target (relative links resolve against
//     the link's folder; a loop of links fails).
//   - Only regular files of at most largest bytes are rewritten, and only into at most largest
//     bytes; a missing file is made (edit is given no bytes), never over a file that appears
//     meanwhile.
//   - A file whose owner may not write it (the Windows read-only attribute, as Wine shows it) is
//     never written, even by root; otherwise access is as the system judges it (owner, group,
//     others and ACL, with the effective ids).
//   - Writers take an open-file-description lock on the file for the whole read, edit and
//     replace, so two writers (two Kestruns, or Kestrun and a program that locks) never lose each
//     other's change. A writer that waited while another replaced the file starts again on the
//     new one. A lock another program holds (a read lock too) is waited for, not without end.
//   - It builds only on a settled file. Programs that do not lock (Wine saves a profile by
//     truncating it and writing its lines) are seen by what the file is (its Identity: inode,
//     size, modification and change times), taken before the edit and again just before the
//     replace; a file changed meanwhile is waited for and read again. A write builds on a file
//     only once it has been still for kSettleTime, known from its times where they come from
//     this machine's clock (a local file system) and tell it: the settle time, their
//     resolution (judged from their nanoseconds) and a clock tick have passed since them.
//     Otherwise (whole-second times, times ahead of the clock, a network or FUSE file system,
//     whose server's clock may be behind ours) the write watches it: the same identity across
//     kSettleTime. A file exactly as this process's last write left it needs no wait, so writes
//     in a row run at full speed. Left: a save that begins in the microseconds between the last
//     check and the rename goes to the replaced file; where times are coarse, a save that begins
//     after the read and ends at the same length before the last check, within one step of the
//     times, is not seen.
//   - Waiting for a lock and for the file to settle ends at the caller's deadline; then the
//     write fails.
//   - The way is chosen once, before anything is written, from what the file is:
//     - Normally the new bytes go to a temporary file beside the old one (TemporaryFile.h),
//       which is given the old file's owner and group (also where the folder would give another
//       group), extended attributes (Wine's user.DOSATTRIB, the POSIX ACL) and mode, flushed
//       and renamed over it.
//     - In place (new bytes from the first change on, then the length, then a flush) when a
//       replacement could not be the same file to everyone who looks: the file has several hard
//       links, its folder may not be written by us, its owner or an attribute cannot be given
//       to a new file, or it cannot be renamed over (a mount point, a file bind-mounted from
//       elsewhere, a sticky folder that keeps it for its owner), as Wine writes those. A crash
//       or power cut during an in-place write can leave the file damaged from the changed byte
//       on; nothing is written unless the bytes fit: space is reserved first, and where the file
//       system cannot reserve (ext2, some NFS and FUSE), its free space must cover the bytes,
//       or the write fails before the file is touched.
//   - The file-size limit (ulimit -f) is checked before either way; SIGXFSZ, whose default would
//     end the program, is ignored from the first write on (unless the program handles it), so a
//     write past the limit is a failed write.
//   - Each folder written into is swept once per run of the temporary files of writers that no
//     longer run (killed mid-write); a live writer's file, and any other name, is never touched
//     (TemporaryFile.h: which names, and what a writer in another process-id namespace risks).
// Every failure leaves the old file as it was and no temporary file behind.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/posix/files/NewContent.h"

namespace platform::posix {

// How long a file must have been still before a write builds on it: longer than a program's
// save of a small file takes (Wine truncates the file, then writes its lines, without a lock).
inline constexpr std::chrono::milliseconds kSettleTime{50};
// The longest the profile writes wait in all, for a lock another program holds or for the file
// to settle: one write alone, or all the writes of one ProfileWriteRun (Platform.h) together.
inline constexpr std::chrono::seconds kLongestWait{5};

// Rewrites the regular file at path (made when missing) with edit's result for its current
// bytes, as the top of this header says. edit may be called more than once (once per attempt,
// each time with the bytes then read). 0 when written or nothing was to be written; otherwise,
// the file as it was, why not as an errno value: EAGAIN locked by another program or written
// by one until deadline, EACCES read-only (or not to be written by us), EISDIR no regular file,
// EFBIG more than largest bytes or past the file-size limit, EINVAL refused by edit, ELOOP a
// loop of links, ENOSPC, EIO... as the system gave it. Blocks the caller while it waits, until
// deadline at most.
int rewriteFile(const std::filesystem::path& path, std::size_t largest,
                const std::function<NewContent(std::string_view current)>& edit,
                std::chrono::steady_clock::time_point deadline);

}  // namespace platform::posix
