// One playback stream on the system's default audio output, used by one
// feeding thread. Every call except Open, Drop and Close returns without
// waiting on the sound server; those three may block while the server is
// frozen, so only the feeding thread makes them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "media/audio_format.h"

typedef struct _snd_pcm snd_pcm_t;
typedef struct _snd_config snd_config_t;
typedef struct _snd_config_update snd_config_update_t;

namespace gs::audio {

class PcmOutput {
 public:
  PcmOutput() = default;
  ~PcmOutput();  // closes the stream if Close was not called
  PcmOutput(const PcmOutput&) = delete;
  PcmOutput& operator=(const PcmOutput&) = delete;

  // Opens "default" without blocking writes, in `wanted` as given; when the
  // device refuses it, in signed 16-bit with the same channels and rate.
  // `*actual` says which. False when there is no device or neither works.
  bool Open(const PcmFormat& wanted, PcmFormat* actual);

  // Queues up to `frames` frames. Returns the number taken (0 when the
  // buffer is full), or -1 when the stream failed for good.
  long Write(const uint8_t* data, size_t frames);

  // Waits until the stream can take more, `wake_fd` becomes readable, or
  // `timeout_ms` passes.
  void Wait(int wake_fd, int timeout_ms);

  // After the last Write: starts the stream if it has not started yet and
  // returns the number of frames still to be heard (0 when done, -1 when
  // the stream failed).
  long PendingFrames();

  // Discards what is queued and silences the stream at once.
  void Drop();
  void Close();

  size_t period_frames() const { return period_frames_; }

 private:
  bool Configure(const PcmFormat& format);

  snd_pcm_t* pcm_ = nullptr;
  snd_config_t* config_ = nullptr;
  snd_config_update_t* config_update_ = nullptr;
  size_t period_frames_ = 0;
};

}  // namespace gs::audio
