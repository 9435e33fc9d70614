// kestrun-prefix [EXE]: tells the choice Kestrun makes at start (the same line, on standard
// error) and whether the chosen prefix holds the game: status 0 when it does, 1 when it does
// not. Given the host path of the game's exe, it also tells the line Kestrun shows when it
// starts that exe: handed to the manager that keeps the prefix, or run directly, and why. It
// starts nothing. scripts/run asks it before it falls back to the demo.
#include <filesystem>
#include <iostream>
#include <system_error>

#include "platform/posix/Prefix.h"
#include "platform/posix/start/Start.h"
#include "platform/posix/start/StartLine.h"

int main(int argc, char** argv) {
  namespace prefix = platform::posix::prefix;
  if (argc > 2) {
    std::cerr << "usage: kestrun-prefix [EXE]\n";
    return 2;
  }
  const prefix::Choice choice = prefix::choose(prefix::Environment::ofProcess());
  std::cerr << prefix::describe(choice) << '\n';
  if (argc == 2) {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::absolute(argv[1], ec);
    std::cerr << prefix::describe(prefix::startOf(choice, ec ? argv[1] : exe)) << '\n';
  }
  // WINEPREFIX is taken without a look inside; here we look.
  const bool found = choice.holdsGame || prefix::holdsGame(choice.prefix);
  return found ? 0 : 1;
}
