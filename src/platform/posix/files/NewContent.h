// What an edit makes of a file's bytes: the answer the profile rules give (ProfileText.h) and
// the rewrite acts on (SafeFile.h).
#pragma once

#include <string>

namespace platform::posix {

struct NewContent {
  enum class Kind {
    Same,     // nothing to write: the write succeeds without touching the file
    Refused,  // the write fails without touching the file
    Changed,  // bytes replace the file's content
  };
  Kind kind = Kind::Same;
  std::string bytes;  // the new content when Changed; empty otherwise
};

}  // namespace platform::posix
