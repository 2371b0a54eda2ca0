#include "media/wave_source.h"

#include <algorithm>
#include <cstring>

namespace gs {

WaveSource::WaveSource(std::vector<uint8_t> samples, const audio::PcmFormat& format, bool loop)
    : samples_(std::move(samples)),
      format_(format),
      loop_(loop),
      frame_bytes_(format.BytesPerFrame()),
      frame_count_(frame_bytes_ ? samples_.size() / frame_bytes_ : 0) {}

size_t WaveSource::Render(uint8_t* out, size_t max_frames) {
  size_t done = 0;
  while (done < max_frames && frame_count_ > 0) {
    if (next_frame_ == frame_count_) {
      if (!loop_) break;
      next_frame_ = 0;
    }
    const size_t take = std::min(max_frames - done, frame_count_ - next_frame_);
    std::memcpy(out + done * frame_bytes_, samples_.data() + next_frame_ * frame_bytes_,
                take * frame_bytes_);
    next_frame_ += take;
    done += take;
  }
  return done;
}

}  // namespace gs
