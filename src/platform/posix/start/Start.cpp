#include "platform/posix/start/Start.h"

#include "platform/posix/managers/ManagerFiles.h"

namespace platform::posix::prefix {
namespace {

namespace fs = std::filesystem;

// The program and arguments that start exe as launch says.
std::vector<std::string> commandLine(const Launch& launch, const fs::path& exe) {
  std::vector<std::string> line;
  if (!launch.runtime.empty()) line = {launch.runtime.string(), "--verb=waitforexitandrun", "--"};
  line.push_back(launch.runner.string());
  if (launch.kind == Launch::Kind::Proton) line.push_back("waitforexitandrun");
  line.push_back(exe.string());
  return line;
}

}  // namespace

Start startOf(const Choice& choice, const fs::path& exe) {
  const managers::Handoff& handoff = choice.launch.handoff;
  if (!handoff.command.empty() && managers::sameEntry(handoff.exe, exe))
    return {handoff.command, true, handoff.what};
  Start start;
  if (!choice.launch.runner.empty()) start.argv = commandLine(choice.launch, exe);
  start.how = handoff.command.empty() || handoff.exe.empty()
                  ? handoff.what
                  : handoff.what + " starts " + handoff.exe.string();
  return start;
}

}  // namespace platform::posix::prefix
