// Knobs of the Linux host's profile reads and writes, for tests and benchmarks only. The program
// itself never calls these: by default every write is flushed to disk before it replaces the old
// file, and no hook runs.
#pragma once

#include <functional>

namespace platform::posix {

// Test and benchmark only: whether a profile write flushes (fsync) the new file and its folder.
void setProfileSync(bool on);

// Test only: runs after the new file is complete and just before it replaces the old one, so a
// test can end the process at that point. An empty function removes the hook.
void setBeforeProfileReplace(std::function<void()> hook);

// Test only: runs each time a write finds the profile unsettled (changed too lately, or being
// watched) or changed while it was edited, just before it pauses to look again, so a test can
// go on changing the file while the write waits. An empty function removes the hook.
void setWhenProfileWaits(std::function<void()> hook);

// Test only: runs when a profile read has opened the file and taken its size, before it reads
// the bytes, so a test can change the file in between. An empty function removes the hook.
void setAfterProfileOpen(std::function<void()> hook);

}  // namespace platform::posix
