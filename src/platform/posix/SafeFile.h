// Replacing small regular files safely on the Linux host: the profile writes use it.
//
// rewriteFile(path, largest, edit) reads the file whole, asks edit for its new bytes
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
//     truncating it and writing its lines) are seen by what the file is: inode, size,
//     modification and change times, taken before the edit and again just before the replace.
//     A file changed meanwhile, or modified less than 50 ms ago, is waited for until it has been
//     still that long and then read again; a file exactly as this process's last write left it
//     needs no wait, so writes in a row run at full speed. Left: a save that begins in the
//     microseconds between the last check and the rename goes to the replaced file.
//   - Waiting for a lock and for the file to settle takes at most 5 s in all; then the write
//     fails.
//   - Normally the new bytes go to a temporary file beside the old one (named ".kestrun-", the
//     writer's process id, '-' and random hex digits), which is given the old file's owner and
//     group (also where the folder would give another group), extended attributes (Wine's
//     user.DOSATTRIB, the POSIX ACL) and mode, flushed and renamed over it.
//   - In place (new bytes from the first change on, then the length, then a flush) when a
//     replacement could not be the same file to everyone who looks: the file has several hard
//     links, its folder may not be written by us, its owner or an attribute cannot be given to a
//     new file, or it cannot be renamed over (a mount point, a file bind-mounted from elsewhere),
//     as Wine writes those. A crash or power cut during an in-place write can leave the file
//     damaged from the changed byte on; nothing is written unless the bytes fit: space is
//     reserved first, and where the file system cannot reserve (ext2, some NFS and FUSE), its
//     free space must cover the bytes, or the write fails before the file is touched.
//   - The file-size limit (ulimit -f) is checked before either way; SIGXFSZ, whose default would
//     end the program, is ignored from the first write on (unless the program handles it), so a
//     write past the limit is a failed write.
//   - Each folder written into is swept once per run of the temporary files of writers that no
//     longer run (killed mid-write); a live writer's file, and any other name, is never touched.
// Every failure leaves the old file as it was and no temporary file behind.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace platform::posix {

// What an edit makes of a file's bytes.
struct NewContent {
  enum class Kind {
    Same,     // nothing to write: the write succeeds without touching the file
    Refused,  // the write fails without touching the file
    Changed,  // bytes replace the file's content
  };
  Kind kind = Kind::Same;
  std::string bytes;
};

// Rewrites the regular file at path (made when missing) with edit's result for its current
// bytes, as the top of this header says. edit may be called more than once (once per attempt,
// each time with the bytes then read). True when written or nothing was to be written; false
// when refused, failed or waited for too long, the file as it was. Blocks the caller while it
// waits (5 s at most).
bool rewriteFile(const std::filesystem::path& path, std::size_t largest,
                 const std::function<NewContent(std::string_view current)>& edit);

}  // namespace platform::posix
