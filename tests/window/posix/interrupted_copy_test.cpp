// A copy killed between two writes leaves a whole profile: the keys written so far hold the
// new flight model, the rest the old one, and every other byte is as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <random>
#include <thread>

#include "FormFixture.h"

namespace {

using namespace testing_support;

// The profile when the custom section's nine keys, in copy order, hold the values of the models
// given (0 custom's own, 2 Tiger, 3 Havoc).
std::string profileWith(const std::array<int, 9>& from) {
  const char* keys[] = {"RudderSensitivity",          "RudderKeyIncrement",
                        "CollectiveSensitivity",      "CollectiveKeyIncrement",
                        "CyclicLeftRightSensitivity", "CyclicForwardBackSensitivity",
                        "GroundEffectFactor",         "TransLiftFactor"};
  const char* helo[] = {"AH-64 Apache", "", "Tiger", "Mi-28 Havoc"};
  std::string custom = "[custom]\n";
  for (int i = 0; i < 8; ++i)
    custom += std::string(keys[i]) + "=" + std::to_string(100 * (from[i] + 1) + i) + "\n";
  custom += "Helo=" + std::string(helo[from[8]]) + "\n";
  std::string text = threeModelProfile("AH-64 Apache", "\n");
  const std::size_t start = text.find("[custom]"), end = text.find("\n\n", start) + 1;
  return text.replace(start, end - start, custom);
}

using InterruptedCopyTest = FormTest;

TEST_F(InterruptedCopyTest, KilledCopyLeavesTheKeysWrittenSoFar) {
  constexpr int kCopies = 2000;
  GameFolder game;
  game.writeProfile(threeModelProfile("AH-64 Apache", "\n"));
  chooseFolder(game.path());
  std::array<int, 9> state{};
  ASSERT_EQ(game.profile(), profileWith(state));
  std::mt19937 random(20261207);
  for (int round = 0; round < 30; ++round) {
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {  // copies Tiger and Havoc in turn until it is killed
      for (int i = 0; i < kCopies; ++i) {
        std::string section = i % 2 == 0 ? "TigerFlightModel" : "HavocFlightModel";
        form.CopyFM(section);
      }
      ::_exit(0);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 40000));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    // The profile must be as it was after a whole number of the child's writes: none half-done,
    // lost or reordered.
    const std::string bytes = game.profile();
    bool matched = false;
    for (int write = 0; write <= kCopies * 9 && !matched; ++write) {
      matched = profileWith(state) == bytes;
      if (!matched) state[write % 9] = (write / 9) % 2 == 0 ? 2 : 3;
    }
    ASSERT_TRUE(matched) << "round " << round << ":\n" << bytes;
  }
  EXPECT_TRUE(host.messages().empty());
}

}  // namespace
