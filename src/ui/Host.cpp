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

}  // namespace ui
