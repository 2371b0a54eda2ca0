// Many whole runs in a row, faster through the test clock: full shows, and
// shows ended with Esc at random moments of the event loop. Every run must end
// with status 0, with no error box, no sanitizer report, no process and no
// window left behind.
// GS_SOAK_RUNS sets the number of runs of each kind (default 5; the long form is 100).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "tests/show/shared_desktop.h"
#include "tests/show/show_process.h"
#include "tests/support/virtual_desktop.h"

namespace gs::test {
namespace {

int Runs() {
  const char* runs = std::getenv("GS_SOAK_RUNS");
  return runs ? std::max(1, std::atoi(runs)) : 5;
}

class Soak : public SharedDesktopSuite {
 protected:
  // `pid` is the process as started (the ShowProcess forgets it once reaped).
  void ExpectCleanEnd(ShowProcess& show, pid_t pid, int status, const std::string& what) {
    EXPECT_TRUE(ExitedWithZero(status)) << what << "\n" << show.Log();
    EXPECT_EQ(show.SanitizerFindings(), "") << what;
    EXPECT_EQ(show.Log().find("运行时出错"), std::string::npos) << what;
    EXPECT_EQ(kill(pid, 0), -1) << what << ": the process is still there";
    EXPECT_EQ(FindShowWindow(), 0u) << what << ": a window was left behind";
  }
};

TEST_F(Soak, FullShows) {
  for (int run = 1; run <= Runs(); ++run) {
    ShowProcess show(RunnerPath(), 0.02, "soak-full");
    pid_t pid = show.pid();
    int status = show.Wait(120000);
    ExpectCleanEnd(show, pid, status, "full run " + std::to_string(run));
    if (HasFailure()) break;
  }
}

TEST_F(Soak, EscAtRandomMomentsOfTheEventLoop) {
  std::mt19937 random(static_cast<unsigned>(std::random_device{}()));
  // The event loop lasts about 31 s of show time: 0.62 s at this scale, bursts included.
  for (int run = 1; run <= Runs(); ++run) {
    ShowProcess show(RunnerPath(), 0.02, "soak-esc");
    pid_t pid = show.pid();
    ASSERT_TRUE(show.WaitForMark("opening done", 60000)) << show.Log();
    int delay_ms = static_cast<int>(random() % 1800);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    PressKey("Escape");
    int status = show.Wait(10000);
    ExpectCleanEnd(show, pid, status,
                   "Esc run " + std::to_string(run) + " at +" + std::to_string(delay_ms) + " ms");
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace gs::test
