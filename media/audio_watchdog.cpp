#include "media/audio_watchdog.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "core/clock.h"
#include "media/audio_tune.h"

namespace gs::audio {

struct Watchdog::State {
  std::mutex lock;
  std::condition_variable wake;
  std::vector<std::shared_ptr<Tune>> tunes;
  bool running = false;
};

Watchdog& Watchdog::Instance() {
  // Never destroyed: the thread may still be waiting when the process ends.
  static Watchdog* instance = [] {
    auto* watchdog = new Watchdog;
    watchdog->state_ = new State;
    return watchdog;
  }();
  return *instance;
}

void Watchdog::Watch(const std::shared_ptr<Tune>& tune) {
  Watchdog& watchdog = Instance();
  State& state = *watchdog.state_;
  std::lock_guard<std::mutex> lock(state.lock);
  state.tunes.push_back(tune);
  if (!state.running) {
    try {
      std::thread([&watchdog] { watchdog.Run(); }).detach();
      state.running = true;
    } catch (...) {
      // Tried again with the next tune; until then tunes end only by
      // themselves or by StopMusic.
    }
  }
  state.wake.notify_one();
}

void Watchdog::Run() {
  State& state = *state_;
  std::unique_lock<std::mutex> lock(state.lock);
  for (;;) {
    const int64_t now = MonotonicUs();
    const int64_t limit = ScaledUs(kGiveUpMs);
    int64_t next = std::numeric_limits<int64_t>::max();
    std::vector<std::shared_ptr<Tune>> overdue;
    for (auto it = state.tunes.begin(); it != state.tunes.end();) {
      Tune& tune = **it;
      if (tune.ended()) {
        it = state.tunes.erase(it);
        continue;
      }
      // A source still preparing (a soundfont loading) is not stalled output.
      const int64_t deadline =
          tune.preparing_.load() ? now + limit : tune.last_progress_us_.load() + limit;
      if (deadline <= now) {
        overdue.push_back(std::move(*it));
        it = state.tunes.erase(it);
        continue;
      }
      next = std::min(next, deadline);
      ++it;
    }
    if (!overdue.empty()) {
      lock.unlock();
      for (auto& tune : overdue) tune->GiveUp();
      overdue.clear();
      lock.lock();
      continue;
    }
    if (next == std::numeric_limits<int64_t>::max()) {
      state.wake.wait(lock);
    } else {
      state.wake.wait_for(lock, std::chrono::microseconds(next - now));
    }
  }
}

}  // namespace gs::audio
