// A copy killed between two writes leaves a whole profile: the keys written so far hold the
// new flight model, the rest the old one, and every other byte is as it was. A copy whose write
// fails stops there, within one wait for all its writes, and says what it left.
// The fixture comes before Qt, whose "slots" keyword would swallow the fixture's function.
#include "FormFixture.h"
// Qt after this line.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCursor>
#include <QGuiApplication>
#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "platform/posix/files/SafeFile.h"
#include "platform/posix/profile/ProfileHooks.h"

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

// Takes a read lock on file as another program that reads it does: an open file description
// lock, which this process's own writes wait for as for another's. Held until fd is closed.
int readLock(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  struct flock lock {};
  lock.l_type = F_RDLCK;
  EXPECT_EQ(::fcntl(fd, F_OFD_SETLK, &lock), 0);
  return fd;
}

using Clock = std::chrono::steady_clock;

// A game that saves the profile (its own bytes again, without a lock) whenever a write is about
// to replace it, until that write has waited for span; then it lets that write through.
std::function<void(const fs::path&)> savesFor(Clock::duration span) {
  return [span, since = std::optional<Clock::time_point>()](const fs::path& profile) mutable {
    if (!since) since = Clock::now();
    if (Clock::now() - *since >= span) {
      since.reset();
      return;
    }
    writeFile(profile, readFile(profile));
  };
}

TEST_F(InterruptedCopyTest, AFailedWriteEndsTheCopyWithinOneWaitWithOneMessage) {
  const Clock::duration wait = platform::posix::kLongestWait;
  const struct {
    const char* name;
    ui::CommandButton* Form1::*button;
    bool locked, sizeLimited;
    std::function<void(const fs::path& profile)> atReplace;  // each time a write would replace it
    std::size_t copied;                                      // values copied before it stopped
    std::int32_t reason;  // of the failed write; 0: an exception ended the program instead
  } cases[] = {
      {"made read-only at the fourth write", &Form1::Command2, false, false,
       [writes = 0](const fs::path& profile) mutable {
         if (++writes == 4)
           fs::permissions(profile, fs::perms::owner_write, fs::perm_options::remove);
       },
       3, platform::kErrorAccessDenied},
      {"locked by another program past the wait", &Form1::Command1, true, false, nullptr, 0,
       platform::kErrorSharingViolation},
      // Each write alone would get through in time: together they cannot.
      {"saved by the game for 2/3 of the wait at each write", &Form1::Command2, false, false,
       savesFor(wait * 2 / 3), 1, platform::kErrorSharingViolation},
      {"past the file-size limit", &Form1::Command1, false, true, nullptr, 0,
       platform::kErrorFileTooLarge},
      {"an exception escapes", &Form1::Command2, false, false, [](const fs::path&) { throw 0; }, 0,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host.clear();
    GameFolder game;
    game.writeProfile(threeModelProfile("AH-64 Apache", "\n"));
    game.addExecutable();
    chooseFolder(game.path());
    form.optFM[1]->click();  // Tiger
    bool busy = true;        // at every write
    platform::posix::setBeforeProfileReplace([&] {
      const QCursor* cursor = QGuiApplication::overrideCursor();
      busy = busy && cursor != nullptr && cursor->shape() == Qt::WaitCursor;
      if (c.atReplace) c.atReplace(game.profilePath());
    });
    const int lock = c.locked ? readLock(game.profilePath()) : -1;
    rlimit before{};  // the file-size limit (ulimit -f)
    ::getrlimit(RLIMIT_FSIZE, &before);
    const rlimit small{100, before.rlim_max};
    if (c.sizeLimited) ::setrlimit(RLIMIT_FSIZE, &small);
    const auto start = Clock::now();
    (form.*c.button)->click();
    const auto took = Clock::now() - start;
    ::setrlimit(RLIMIT_FSIZE, &before);
    if (lock >= 0) ::close(lock);
    platform::posix::setBeforeProfileReplace({});

    EXPECT_LT(took, 2 * wait);
    EXPECT_TRUE(busy);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    const std::string left =
        c.copied == 0 ? "Nothing was copied: the flight model in force is as it was."
                      : "The copy stopped after " + std::to_string(c.copied) +
                            " of the 9 values: the flight model in force is now partly the new "
                            "one.";
    const std::string shown = c.reason == 0 ? ui::errorReport("An unknown error occurred.")
                                            : "Error  0 Writing to " + form.IniFile + "\n" +
                                                  platform::errorMessage(c.reason) + "\n" + left;
    std::vector<std::string> prompts;
    for (const ShownMessage& message : host.messages()) prompts.push_back(message.prompt);
    EXPECT_EQ(prompts, std::vector<std::string>{shown});
    // Copy && Launch starts nothing: a start would end Kestrun or report that it failed.
    EXPECT_EQ(host.ends(), c.reason == 0 ? 1 : 0);
    std::array<int, 9> state{};
    for (std::size_t i = 0; i < c.copied; ++i) state[i] = 2;
    EXPECT_EQ(game.profile(), profileWith(state));
  }
}

}  // namespace
