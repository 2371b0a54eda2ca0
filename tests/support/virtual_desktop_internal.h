// Shared by the parts of the test desktop: readiness polling.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/child_process.h"

namespace gs::test::desktop_internal {

using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

enum class Poll { kWait, kReady, kFailed };

// Calls `check` every 20 ms until it is ready or fails; kWait after 10 s.
template <class Check>
Poll PollUntilReady(Check check) {
  constexpr int kPollMs = 20;
  constexpr int kGiveUpMs = 10000;
  auto deadline = Clock::now() + std::chrono::milliseconds(kGiveUpMs);
  while (true) {
    Poll state = check();
    if (state != Poll::kWait) return state;
    if (Clock::now() >= deadline) return Poll::kWait;  // timed out
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
}

// Why a part is not ready after PollUntilReady: its process ended first
// (`status` says how), or `timed_out`.
inline std::string NotReadyReason(Poll state, const std::string& part, int status,
                                  const std::string& timed_out) {
  return state == Poll::kFailed ? part + " " + DescribeExit(status) + " before it was ready"
                                : timed_out;
}

}  // namespace gs::test::desktop_internal
