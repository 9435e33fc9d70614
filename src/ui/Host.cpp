#include "ui/Host.h"

#include <exception>
#include <utility>

namespace ui {
namespace {

Host& current() {
  static Host host;
  return host;
}

bool& endedFlag() {
  static bool flag = false;
  return flag;
}

std::function<void(bool)>& waitCursor() {
  static std::function<void(bool)> show;
  return show;
}

int& waitCursorsAlive() {
  static int alive = 0;
  return alive;
}

}  // namespace

Host setHost(Host host) {
  return std::exchange(current(), std::move(host));
}

void setHostUnlessSet(Host host) {
  if (!current().messageBox && !current().endProgram) current() = std::move(host);
}

int msgBox(const std::string& prompt, int style) {
  const Host& host = current();
  return host.messageBox ? host.messageBox(prompt, style, kAppTitle) : kOk;
}

void endProgram() {
  endedFlag() = true;
  const Host& host = current();
  if (host.endProgram) host.endProgram();
}

bool ended() {
  return endedFlag();
}

void resetEnded() {
  endedFlag() = false;
}

std::string errorReport(const std::string& what) {
  return "Kestrun cannot go on:\n\n" + what + "\n\nKestrun will now close.";
}

void runEvent(const std::function<void()>& procedure) {
  if (ended()) return;
  std::string what;
  try {
    procedure();
    return;
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
    what = "An unknown error occurred.";
  }
  msgBox(errorReport(what), kCritical);
  endProgram();
}

void setWaitCursor(std::function<void(bool shown)> show) {
  waitCursor() = std::move(show);
}

WaitCursor::WaitCursor() {
  if (waitCursorsAlive()++ == 0 && waitCursor()) waitCursor()(true);
}

WaitCursor::~WaitCursor() {
  if (--waitCursorsAlive() == 0 && waitCursor()) waitCursor()(false);
}

}  // namespace ui
