// How the game is started, once the program knows which exe it starts: handed to the manager
// that keeps the prefix, or run directly as the choice's launch says (Prefix.h).
//
// The hand-off: when the choice's launch has a Handoff (a Steam shortcut, a game added to
// Heroic by hand) whose command was found and whose recorded exe is the very exe to start,
// compared as the system resolves them (through the prefix's drive links and any other link),
// the manager's own command runs, with the program's own environment, and the manager starts
// the game with all its player's settings. The WINE variable takes the hand-off away
// (Prefix.cpp).
//
// Otherwise the direct start: `<runner> <exe>` for a Wine or UMU, `<runner> waitforexitandrun
// <exe>` for a Proton, inside `<runtime> --verb=waitforexitandrun --` when the Proton runs in
// the Steam Linux Runtime; nothing when no runner was found.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/Prefix.h"

namespace platform::posix::prefix {

struct Start {
  // The program (absolute) and its arguments; empty when nothing can start the game.
  std::vector<std::string> argv;
  // Whether argv is the manager's own command (then it runs with the program's own
  // environment, not the game's).
  bool handedOff = false;
  // What the game's start line says in parentheses: the manager's record that starts the game,
  // or why the manager does not (its record names another exe, it has none, its command is not
  // there, WINE is set); empty where the place hands nothing off.
  std::string how;
};

// How exe (an absolute host path) is started under choice.
Start startOf(const Choice& choice, const std::filesystem::path& exe);

}  // namespace platform::posix::prefix
