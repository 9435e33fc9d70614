// A copy killed between two writes leaves a whole profile: the keys written so far hold the
// new flight model, the rest the old one, and every other byte is as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <optional>
#include <random>
#include <thread>

#include "FormFixture.h"

namespace {

using testing_support::FormTest;
using testing_support::GameFolder;
using testing_support::threeModelProfile;

using InterruptedCopyTest = FormTest;

constexpr int kCopiesPerChild = 2000;

// Handling values start at these numbers in each section of threeModelProfile.
struct Model {
  const char* section;
  int base;
  const char* helo;
};
const std::array<Model, 4> kModels = {{{"custom", 100, "AH-64 Apache"},
                                       {"ApacheFlightModel", 200, "AH-64 Apache"},
                                       {"TigerFlightModel", 300, "Tiger"},
                                       {"HavocFlightModel", 400, "Mi-28 Havoc"}}};

const char* const kKeys[] = {"RudderSensitivity",
                             "RudderKeyIncrement",
                             "CollectiveSensitivity",
                             "CollectiveKeyIncrement",
                             "CyclicLeftRightSensitivity",
                             "CyclicForwardBackSensitivity",
                             "GroundEffectFactor",
                             "TransLiftFactor",
                             "Helo"};

// Which model each key of the custom section holds, in copy-list order.
using CustomState = std::array<int, 9>;

// The whole profile for a custom section holding state.
std::string profileWith(const CustomState& state) {
  std::string custom = "[custom]\n";
  for (int i = 0; i < 9; ++i) {
    const Model& from = kModels[state[i]];
    custom +=
        std::string(kKeys[i]) + "=" + (i < 8 ? std::to_string(from.base + i) : from.helo) + "\n";
  }
  std::string text = threeModelProfile("AH-64 Apache", "\n");
  const std::size_t start = text.find("[custom]");
  const std::size_t end = text.find("\n\n", start) + 1;
  return text.replace(start, end - start, custom);
}

// The child copies Tiger, then Havoc, in turn, key by key. Each kill must leave the profile
// as it was after a whole number of those writes: no write half-done, none lost or reordered.
// Returns the state reached, or nothing when bytes match no state the writes pass through.
std::optional<CustomState> stateAfterSomeWrites(CustomState state, const std::string& bytes,
                                                int maxWrites) {
  for (int write = 0; write <= maxWrites; ++write) {
    if (profileWith(state) == bytes) return state;
    state[write % 9] = (write / 9) % 2 == 0 ? 2 : 3;
  }
  return std::nullopt;
}

TEST_F(InterruptedCopyTest, KilledCopyLeavesTheKeysWrittenSoFar) {
  GameFolder game;
  game.writeProfile(threeModelProfile("AH-64 Apache", "\n"));
  chooseFolder(game.path());
  CustomState state{0, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(game.profile(), profileWith(state));

  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> delayMicros(0, 40000);
  for (int round = 0; round < 30; ++round) {
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      // Copies Tiger and Havoc in turn until it is killed.
      for (int i = 0; i < kCopiesPerChild; ++i) {
        std::string section = (i % 2 == 0) ? "TigerFlightModel" : "HavocFlightModel";
        form.CopyFM(section);
      }
      ::_exit(0);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delayMicros(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);

    const std::string bytes = game.profile();
    const auto reached = stateAfterSomeWrites(state, bytes, kCopiesPerChild * 9);
    ASSERT_TRUE(reached) << "round " << round << ":\n" << bytes;
    state = *reached;
  }
  EXPECT_TRUE(host.messages().empty());
}

}  // namespace
