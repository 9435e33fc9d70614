// Starts a program on the X server of DISPLAY and measures how long it takes until the first
// drawing reaches one of its mapped top-level windows; then ends it and reports its peak memory.
//
//   first_shown [--settle MS] PROGRAM [ARGS...]
//   prints: shown_ms=123.4 maxrss_kb=45678
//
// The drawing is seen through the DAMAGE extension. Every top-level window is watched from its
// creation, before it can be mapped, so the first drawing cannot be missed. After the window is
// drawn the program runs on for MS milliseconds (default 200) before it is sent SIGTERM; its
// peak resident set comes from wait4, the figure /usr/bin/time -v prints.
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

double nowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// A window may go before its damage object is made; that error is harmless here.
int ignoreErrors(Display*, XErrorEvent*) {
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  long settleMs = 200;
  if (argc > 2 && std::strcmp(argv[1], "--settle") == 0) {
    settleMs = std::strtol(argv[2], nullptr, 10);
    first = 3;
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: %s [--settle MS] PROGRAM [ARGS...]\n", argv[0]);
    return 2;
  }

  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "first_shown: cannot open the display\n");
    return 1;
  }
  int damageEvent = 0;
  int damageError = 0;
  if (!XDamageQueryExtension(display, &damageEvent, &damageError)) {
    std::fprintf(stderr, "first_shown: the X server has no DAMAGE extension\n");
    return 1;
  }
  XSetErrorHandler(ignoreErrors);
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);

  const double start = nowMs();
  const pid_t child = fork();
  if (child < 0) return 1;
  if (child == 0) {
    execvp(argv[first], argv + first);
    std::perror("first_shown: exec");
    _exit(127);
  }

  std::set<Window> mapped;
  double shown = -1;
  const double deadline = start + 20000;
  while (shown < 0 && nowMs() < deadline) {
    if (!XPending(display)) {
      pollfd fd{ConnectionNumber(display), POLLIN, 0};
      poll(&fd, 1, 50);
      int status = 0;
      if (waitpid(child, &status, WNOHANG) == child) {
        std::fprintf(stderr, "first_shown: the program ended before it drew a window\n");
        return 1;
      }
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == CreateNotify && event.xcreatewindow.parent == root) {
      XDamageCreate(display, event.xcreatewindow.window, XDamageReportNonEmpty);
    } else if (event.type == MapNotify && event.xmap.event == root) {
      mapped.insert(event.xmap.window);
    } else if (event.type == damageEvent + XDamageNotify) {
      const auto* damage = reinterpret_cast<const XDamageNotifyEvent*>(&event);
      if (mapped.count(damage->drawable)) shown = nowMs() - start;
    }
  }

  if (shown >= 0) usleep(static_cast<useconds_t>(settleMs) * 1000);
  kill(child, SIGTERM);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  XCloseDisplay(display);
  if (shown < 0) {
    std::fprintf(stderr, "first_shown: no window was drawn within 20 s\n");
    return 1;
  }
  std::printf("shown_ms=%.1f maxrss_kb=%ld\n", shown, usage.ru_maxrss);
  return 0;
}
