// An error raised by a host function: a folder that cannot be entered, a drive that does not
// exist. No procedure of the program catches it; the event wrapper of the ui binding shows it
// in the standard error report and ends the program. Its text is for a player: it names the
// folder or file and the system's reason.
#pragma once

#include <stdexcept>
#include <string>

namespace platform {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace platform
