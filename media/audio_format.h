// Sample formats of the tunes and the one conversion the output may need
// (to signed 16-bit, when a device refuses a format). Pure code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "media/wave_format.h"

namespace gs::audio {

enum class SampleEncoding {
  kUnsupported,
  kU8,
  kS16,     // little-endian
  kS24In3,  // little-endian, packed in 3 bytes
  kS32,     // little-endian
  kFloat32,
  kFloat64,
  kALaw,
  kMuLaw,
};

struct PcmFormat {
  SampleEncoding encoding = SampleEncoding::kUnsupported;
  unsigned channels = 0;
  unsigned rate = 0;

  size_t BytesPerSample() const;
  size_t BytesPerFrame() const { return BytesPerSample() * channels; }
  bool playable() const {
    return encoding != SampleEncoding::kUnsupported && channels > 0 && rate > 0;
  }
};

// The format a "fmt " chunk describes; kUnsupported for codecs we cannot
// hand to an output as plain samples (ADPCM and the like).
PcmFormat FormatOfWave(const WaveLayout& layout);

// Converts `count` samples of `encoding` to signed 16-bit.
void ConvertToS16(SampleEncoding encoding, const uint8_t* in, size_t count, int16_t* out);

}  // namespace gs::audio
