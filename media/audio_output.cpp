#include "media/audio_output.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

#include "core/clock.h"

namespace gs::audio {
namespace {

// A long buffer rides out a busy machine (StopMusic discards it, so it
// costs no stop latency); playback starts once a few periods are queued.
constexpr unsigned kBufferUs = 1000000;
constexpr unsigned kPeriodUs = 20000;
constexpr snd_pcm_uframes_t kStartPeriods = 5;

// The library reports its errors on stderr unless told otherwise; the
// program never prints.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(IgnoreAlsaError); });
}

snd_pcm_format_t AlsaFormat(SampleEncoding encoding) {
  switch (encoding) {
    case SampleEncoding::kU8:
      return SND_PCM_FORMAT_U8;
    case SampleEncoding::kS16:
      return SND_PCM_FORMAT_S16_LE;
    case SampleEncoding::kS24In3:
      return SND_PCM_FORMAT_S24_3LE;
    case SampleEncoding::kS32:
      return SND_PCM_FORMAT_S32_LE;
    case SampleEncoding::kFloat32:
      return SND_PCM_FORMAT_FLOAT_LE;
    case SampleEncoding::kFloat64:
      return SND_PCM_FORMAT_FLOAT64_LE;
    case SampleEncoding::kALaw:
      return SND_PCM_FORMAT_A_LAW;
    case SampleEncoding::kMuLaw:
      return SND_PCM_FORMAT_MU_LAW;
    case SampleEncoding::kUnsupported:
      break;
  }
  return SND_PCM_FORMAT_UNKNOWN;
}

}  // namespace

PcmOutput::~PcmOutput() {
  Close();
}

bool PcmOutput::Open(const PcmFormat& wanted, PcmFormat* actual) {
  SilenceAlsa();
  if (pcm_ || !wanted.playable()) return false;
  // A fresh copy of the configuration for every stream, so that "default"
  // follows a sound server that came or went since the last tune.
  if (snd_config_update_r(&config_, &config_update_, nullptr) < 0) return false;
  if (snd_pcm_open_lconf(&pcm_, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK, config_) <
      0) {
    pcm_ = nullptr;
    return false;
  }
  if (Configure(wanted)) {
    *actual = wanted;
    return true;
  }
  PcmFormat fallback = wanted;
  fallback.encoding = SampleEncoding::kS16;
  if (wanted.encoding != SampleEncoding::kS16 && Configure(fallback)) {
    *actual = fallback;
    return true;
  }
  return false;
}

bool PcmOutput::Configure(const PcmFormat& format) {
  snd_pcm_hw_params_t* hw;
  snd_pcm_hw_params_alloca(&hw);
  if (snd_pcm_hw_params_any(pcm_, hw) < 0) return false;
  snd_pcm_hw_params_set_rate_resample(pcm_, hw, 1);
  if (snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
      snd_pcm_hw_params_set_format(pcm_, hw, AlsaFormat(format.encoding)) < 0 ||
      snd_pcm_hw_params_set_channels(pcm_, hw, format.channels) < 0 ||
      snd_pcm_hw_params_set_rate(pcm_, hw, format.rate, 0) < 0) {
    return false;
  }
  unsigned buffer_us = kBufferUs;
  unsigned period_us = kPeriodUs;
  snd_pcm_hw_params_set_buffer_time_near(pcm_, hw, &buffer_us, nullptr);
  snd_pcm_hw_params_set_period_time_near(pcm_, hw, &period_us, nullptr);
  if (snd_pcm_hw_params(pcm_, hw) < 0) return false;

  snd_pcm_uframes_t buffer = 0;
  snd_pcm_uframes_t period = 0;
  snd_pcm_hw_params_get_buffer_size(hw, &buffer);
  snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
  if (buffer == 0 || period == 0) return false;
  period_frames_ = period;

  snd_pcm_sw_params_t* sw;
  snd_pcm_sw_params_alloca(&sw);
  if (snd_pcm_sw_params_current(pcm_, sw) < 0) return false;
  snd_pcm_sw_params_set_start_threshold(pcm_, sw, std::min(buffer, kStartPeriods * period));
  snd_pcm_sw_params_set_avail_min(pcm_, sw, period);
  return snd_pcm_sw_params(pcm_, sw) >= 0;
}

long PcmOutput::Write(const uint8_t* data, size_t frames) {
  if (!pcm_) return -1;
  const snd_pcm_sframes_t written = snd_pcm_writei(pcm_, data, frames);
  if (written >= 0) return static_cast<long>(written);
  if (written == -EAGAIN) return 0;
  return snd_pcm_recover(pcm_, static_cast<int>(written), 1) < 0 ? -1 : 0;
}

void PcmOutput::Wait(int wake_fd, int timeout_ms) {
  if (!pcm_) return;
  const int count = snd_pcm_poll_descriptors_count(pcm_);
  if (count < 0) return;
  std::vector<pollfd> fds(static_cast<size_t>(count) + 1);
  const int filled = snd_pcm_poll_descriptors(pcm_, fds.data(), static_cast<unsigned>(count));
  if (filled < 0) return;
  fds[static_cast<size_t>(filled)] = {wake_fd, POLLIN, 0};
  const int64_t deadline = MonotonicMs() + timeout_ms;
  for (;;) {
    const int64_t left = deadline - MonotonicMs();
    if (left <= 0) return;
    const int ready = poll(fds.data(), static_cast<nfds_t>(filled) + 1, static_cast<int>(left));
    if (ready <= 0) return;  // timeout, or a signal: the caller looks again
    if (fds[static_cast<size_t>(filled)].revents) return;
    unsigned short events = 0;
    if (snd_pcm_poll_descriptors_revents(pcm_, fds.data(), static_cast<unsigned>(filled), &events) <
            0 ||
        (events & (POLLOUT | POLLERR | POLLNVAL))) {
      return;
    }
  }
}

long PcmOutput::PendingFrames() {
  if (!pcm_) return -1;
  switch (snd_pcm_state(pcm_)) {
    case SND_PCM_STATE_PREPARED:
      // A tune shorter than the buffer never reached the start threshold.
      if (snd_pcm_start(pcm_) < 0) return -1;
      break;
    case SND_PCM_STATE_RUNNING:
    case SND_PCM_STATE_DRAINING:
      break;
    default:  // underrun after the last frame, or stopped: nothing left
      return 0;
  }
  snd_pcm_sframes_t delay = 0;
  if (snd_pcm_delay(pcm_, &delay) < 0) return 0;
  return delay > 0 ? static_cast<long>(delay) : 0;
}

void PcmOutput::Drop() {
  if (pcm_) snd_pcm_drop(pcm_);
}

void PcmOutput::Close() {
  if (pcm_) snd_pcm_close(pcm_);
  pcm_ = nullptr;
  if (config_) snd_config_delete(config_);
  config_ = nullptr;
  if (config_update_) snd_config_update_free(config_update_);
  config_update_ = nullptr;
}

}  // namespace gs::audio
