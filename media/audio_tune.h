// A tune being played: a source of samples fed to its own output stream by
// a detached feeding thread. Stopping never waits for that thread, and a
// tune whose output makes no progress for 8888 ms (of the program's clock)
// is given up, even while its thread is stuck in the sound library.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "media/audio_format.h"

namespace gs::audio {

// How long an output may go without progress before its tune is given up.
constexpr int64_t kGiveUpMs = 8888;

class TuneSource {
 public:
  virtual ~TuneSource() = default;
  // Runs on the feeding thread before the output opens and may take long.
  // False: there is nothing to play (the tune stays silent).
  virtual bool Prepare() { return true; }
  virtual PcmFormat format() const = 0;
  // Writes up to `max_frames` frames to `out`; returns how many, 0 once the
  // tune has ended.
  virtual size_t Render(uint8_t* out, size_t max_frames) = 0;
};

class Tune {
 public:
  // `on_end` runs exactly once, on whichever thread ends the tune (finished,
  // stopped or given up), before the source is released.
  using EndHook = std::function<void(const Tune&)>;

  Tune(std::unique_ptr<TuneSource> source, EndHook on_end);
  ~Tune();
  Tune(const Tune&) = delete;
  Tune& operator=(const Tune&) = delete;

  // Starts the feeding thread and puts the tune under watch.
  static void Start(const std::shared_ptr<Tune>& tune);

  // Asks the tune to silence its output and finish. Returns at once.
  void Stop();
  bool ended() const { return ended_.load(); }

 private:
  friend class Feeder;
  friend class Watchdog;

  void MarkProgress();
  void GiveUp();
  // Leaves: runs the end hook and releases the source. Idempotent.
  void End();

  std::mutex source_lock_;
  std::unique_ptr<TuneSource> source_;
  EndHook on_end_;
  int wake_fd_ = -1;
  std::atomic<bool> stop_requested_{false};
  std::atomic<bool> ended_{false};
  std::atomic<bool> preparing_{true};
  std::atomic<int64_t> last_progress_us_{0};
};

}  // namespace gs::audio
