// The samples of a WAV tune as a tune source: played once, or over and
// over from the first sample when looping.
#pragma once

#include <cstdint>
#include <vector>

#include "media/audio_tune.h"

namespace gs {

class WaveSource : public audio::TuneSource {
 public:
  // `samples` holds whole frames of `format` (a trailing partial frame is
  // never played).
  WaveSource(std::vector<uint8_t> samples, const audio::PcmFormat& format, bool loop);

  audio::PcmFormat format() const override { return format_; }
  size_t Render(uint8_t* out, size_t max_frames) override;

 private:
  std::vector<uint8_t> samples_;
  audio::PcmFormat format_;
  bool loop_;
  size_t frame_bytes_;
  size_t frame_count_;
  size_t next_frame_ = 0;
};

}  // namespace gs
