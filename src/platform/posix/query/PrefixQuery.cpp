// kestrun-prefix: tells the choice Kestrun makes at start (the same line, on standard error)
// and whether the chosen prefix holds the game: status 0 when it does, 1 when it does not.
// scripts/run asks it before it falls back to the demo. It takes no arguments.
#include <iostream>

#include "platform/posix/Prefix.h"
#include "platform/posix/StartLine.h"

int main() {
  namespace prefix = platform::posix::prefix;
  const prefix::Choice choice = prefix::choose(prefix::Environment::ofProcess());
  std::cerr << prefix::describe(choice) << '\n';
  // WINEPREFIX is taken without a look inside; here we look.
  const bool found = choice.holdsGame || prefix::holdsGame(choice.prefix);
  return found ? 0 : 1;
}
