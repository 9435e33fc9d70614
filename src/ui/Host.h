// Message boxes, the end of the program and the event wrapper.
//
// Every message the program shows and its immediate end go through here, so that a binding
// provides the real thing and a test can answer a message box or observe the end without a
// person at the screen. The caption of every message box is the application title.
#pragma once

#include <functional>
#include <string>

namespace ui {

inline constexpr const char* kAppTitle = "Kestrun";

// Message box styles: the buttons (an OK button alone) and one icon, as the Windows values.
inline constexpr int kOkOnly = 0;
inline constexpr int kIconMask = 0x70;
inline constexpr int kCritical = 16;
inline constexpr int kQuestion = 32;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;

// The button the user pressed.
inline constexpr int kOk = 1;

// What a host supplies. The binding installs its own; tests install recorders.
struct Host {
  std::function<int(const std::string& prompt, int style, const std::string& title)> messageBox;
  std::function<void()> endProgram;
};

// Installs host as the one in force and returns the one it replaces.
Host setHost(Host host);

// Installs host unless one is in force already (a test's recorder, or an earlier binding's):
// what a binding does when it starts.
void setHostUnlessSet(Host host);

// Shows a modal message box captioned with the application title; returns the button pressed.
int msgBox(const std::string& prompt, int style = kOkOnly);

// Ends the program at once: the window closes and no further event procedure runs.
void endProgram();

// True once endProgram has run. Cleared by resetEnded (for tests and a new window).
bool ended();
void resetEnded();

// The one entry of every event procedure. An error that escapes the procedure ends it and its
// callers; it is shown in the standard error report and the program ends. Once the program has
// ended no procedure runs.
void runEvent(const std::function<void()>& procedure);

// The text of the standard error report for an error whose description is what.
std::string errorReport(const std::string& what);

// Shows that the program is busy (the binding's wait cursor over its window) from its making to
// its end, on every way out of its scope, an exception's too. While one lives, others add
// nothing. Without a binding it shows nothing.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// How the binding shows (true) and takes away (false) its wait cursor: each binding installs its
// own when it starts. A test's recording host leaves it in force, so the window tests see the
// real one.
void setWaitCursor(std::function<void(bool shown)> show);

}  // namespace ui
