// Reading the layout of RIFF WAVE bytes: where the "fmt " and "data" chunks
// are and what the format says. Pure code: no audio output involved.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gs {

// "RIFF" at byte 0 and "WAVE" at byte 8 (at least 12 bytes).
bool LooksLikeWave(const uint8_t* bytes, size_t length);

enum class WaveRefusal {
  kNone,
  kTooShort,     // fewer than 36 bytes
  kNotRiffWave,  // no "RIFF" ... "WAVE" header
  kNoFormat,     // no "fmt " chunk inside the RIFF chunk and the bytes
  kBadFormat,    // a "fmt " chunk too short to hold the format fields
  kNoData,       // no "data" chunk
  kEmptyData,    // a "data" chunk without samples
};

struct WaveLayout {
  WaveRefusal refusal = WaveRefusal::kNone;
  bool ok() const { return refusal == WaveRefusal::kNone; }

  // The "fmt " chunk's fields as given.
  uint16_t format_tag = 0;
  uint16_t channels = 0;
  uint32_t sample_rate = 0;
  uint16_t block_align = 0;
  uint16_t bits_per_sample = 0;
  // For format tag 0xFFFE: the sub-format's tag (first two bytes of its
  // GUID) and the valid bits; otherwise the same as above.
  uint16_t effective_tag = 0;

  // The samples: offset from byte 0 and length, cut at the end of the bytes.
  size_t data_offset = 0;
  size_t data_length = 0;
};

// Walks the chunks from byte 12 (a chunk is a 4-byte id, a 32-bit
// little-endian size and the body, padded to an even size). The walk stops
// once both "fmt " and "data" have been seen, or when the next chunk would
// start at or beyond the end of the RIFF chunk, or where the bytes end.
WaveLayout ReadWaveLayout(const uint8_t* bytes, size_t length);

}  // namespace gs
