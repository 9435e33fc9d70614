// When a write may build on a file that a program without a lock may be writing (SafeFile.h
// states the rule): the file as this process's last write left it, the proof a file's times
// give, and the watch where they give none.
#pragma once

#include <sys/stat.h>

#include <chrono>

#include "platform/posix/files/RegularFile.h"

namespace platform::posix {

// Remembers the open file fd as this process's last write left it (status written, taken
// before it was renamed into place or flushed): a file still so needs no settling. Not when it
// has another length or modification time by now: then another program wrote it meanwhile.
void rememberLeft(int fd, const struct stat& written);

// One write's look at one file across its attempts: the file as it last looked, and since when
// it has looked so. Empty (the default) starts a new watch.
struct Watch {
  Identity seen;
  std::chrono::steady_clock::time_point since;
};

// How long until a write may build on the open file fd (now its identity): zero when it is as
// this process's last write left it, its times prove it still for kSettleTime (on this
// machine's own file systems, past their resolution and a clock tick), or watch has seen it
// unchanged that long; else the time left, the watch going on.
std::chrono::nanoseconds untilSettled(int fd, const Identity& now, Watch& watch);

}  // namespace platform::posix
