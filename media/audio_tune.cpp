#include "media/audio_tune.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "core/clock.h"
#include "media/audio_output.h"
#include "media/audio_watchdog.h"

namespace gs::audio {
namespace {

constexpr size_t kMinChunkFrames = 256;
constexpr int kWriteWaitMs = 100;
constexpr int kDrainPollMs = 10;

constexpr int kIdleWaitMs = 1000;

// Sleeps until `fd` becomes readable or `timeout_ms` passes. Without a
// descriptor (eventfd failed) it sleeps in short steps, so the caller's
// look at the stop flag comes soon enough.
void WaitReadable(int fd, int timeout_ms) {
  pollfd entry{fd, POLLIN, 0};
  poll(&entry, 1, fd >= 0 ? timeout_ms : std::min(timeout_ms, kDrainPollMs));
}

}  // namespace

// The body of a tune's feeding thread.
class Feeder {
 public:
  static void Run(const std::shared_ptr<Tune>& tune);

 private:
  static void Feed(Tune& tune, PcmOutput& output, const PcmFormat& format, const PcmFormat& actual);
};

Tune::Tune(std::unique_ptr<TuneSource> source, EndHook on_end)
    : source_(std::move(source)), on_end_(std::move(on_end)) {
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  MarkProgress();
}

Tune::~Tune() {
  if (wake_fd_ >= 0) close(wake_fd_);
}

void Tune::Start(const std::shared_ptr<Tune>& tune) {
  Watchdog::Watch(tune);
  try {
    std::thread([tune] { Feeder::Run(tune); }).detach();
  } catch (...) {
    // Not heard; the watchdog gives the tune up in due time.
    tune->preparing_ = false;
  }
}

void Tune::Stop() {
  stop_requested_ = true;
  if (wake_fd_ >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(wake_fd_, &one, sizeof one);
  }
}

void Tune::MarkProgress() {
  last_progress_us_ = MonotonicUs();
}

void Tune::GiveUp() {
  Stop();
  End();
}

void Tune::End() {
  if (ended_.exchange(true)) return;
  if (on_end_) on_end_(*this);
  std::unique_ptr<TuneSource> released;
  {
    std::lock_guard<std::mutex> lock(source_lock_);
    released = std::move(source_);
  }
}

void Feeder::Run(const std::shared_ptr<Tune>& tune) {
  PcmFormat format;
  bool ready = false;
  {
    std::lock_guard<std::mutex> lock(tune->source_lock_);
    if (tune->source_ && !tune->stop_requested_) {
      ready = tune->source_->Prepare();
      if (ready) format = tune->source_->format();
    }
  }
  tune->MarkProgress();
  tune->preparing_ = false;

  // Opening can block for a long time on a stalled sound server; the
  // watchdog may give the tune up meanwhile.
  PcmOutput output;
  PcmFormat actual;
  if (ready && !tune->stop_requested_ && output.Open(format, &actual)) {
    tune->MarkProgress();
    Feed(*tune, output, format, actual);
  } else if (!tune->stop_requested_) {
    // Nothing is heard. The tune stays listed until StopMusic or the
    // watchdog ends it.
    while (!tune->stop_requested_) WaitReadable(tune->wake_fd_, kIdleWaitMs);
  }
  if (tune->stop_requested_) output.Drop();
  tune->End();
  output.Close();
}

void Feeder::Feed(Tune& tune, PcmOutput& output, const PcmFormat& format, const PcmFormat& actual) {
  const size_t in_frame = format.BytesPerFrame();
  const size_t out_frame = actual.BytesPerFrame();
  const bool convert = actual.encoding != format.encoding;
  const size_t chunk_frames = std::max(output.period_frames(), kMinChunkFrames);
  std::vector<uint8_t> chunk(chunk_frames * in_frame);
  std::vector<int16_t> converted(convert ? chunk_frames * format.channels : 0);

  size_t have = 0;  // frames in the chunk
  size_t sent = 0;  // of which the output has taken
  bool source_done = false;
  long last_pending = -1;
  while (!tune.stop_requested_) {
    if (sent == have && !source_done) {
      std::lock_guard<std::mutex> lock(tune.source_lock_);
      if (!tune.source_) return;  // given up
      have = tune.source_->Render(chunk.data(), chunk_frames);
      sent = 0;
      source_done = have == 0;
      if (convert)
        ConvertToS16(format.encoding, chunk.data(), have * format.channels, converted.data());
      continue;
    }
    if (sent < have) {
      const uint8_t* from =
          convert ? reinterpret_cast<const uint8_t*>(converted.data()) : chunk.data();
      const long taken = output.Write(from + sent * out_frame, have - sent);
      if (taken > 0) {
        sent += static_cast<size_t>(taken);
        tune.MarkProgress();
      } else if (taken == 0) {
        output.Wait(tune.wake_fd_, kWriteWaitMs);
      } else {
        // The stream broke for good; the watchdog ends the tune.
        WaitReadable(tune.wake_fd_, kIdleWaitMs);
      }
      continue;
    }
    // Everything is queued: wait until it has been heard.
    const long pending = output.PendingFrames();
    if (pending <= 0) return;
    if (pending != last_pending) {
      last_pending = pending;
      tune.MarkProgress();
    }
    WaitReadable(tune.wake_fd_, kDrainPollMs);
  }
}

}  // namespace gs::audio
