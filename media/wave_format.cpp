#include "media/wave_format.h"

#include <cstring>

namespace gs {
namespace {

constexpr size_t kChunkHeader = 8;
constexpr size_t kMinimumWave = 36;
constexpr size_t kFormatFields = 16;  // tag, channels, rate, byte rate, align, bits
constexpr uint16_t kExtensibleTag = 0xFFFE;

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
bool IdIs(const uint8_t* p, const char* id) {
  return std::memcmp(p, id, 4) == 0;
}

// Fills the format fields from a "fmt " body of `size` bytes (already known
// to lie inside the bytes). False when the body is too short.
bool ReadFormat(const uint8_t* body, size_t size, WaveLayout* layout) {
  if (size < kFormatFields) return false;
  layout->format_tag = Le16(body);
  layout->channels = Le16(body + 2);
  layout->sample_rate = Le32(body + 4);
  layout->block_align = Le16(body + 12);
  layout->bits_per_sample = Le16(body + 14);
  layout->effective_tag = layout->format_tag;
  // WAVE_FORMAT_EXTENSIBLE: cbSize (2), valid bits (2), channel mask (4),
  // sub-format GUID (16) whose first two bytes are the real tag.
  if (layout->format_tag == kExtensibleTag && size >= kFormatFields + 2 + 22) {
    layout->effective_tag = Le16(body + kFormatFields + 2 + 6);
  }
  return true;
}

}  // namespace

bool LooksLikeWave(const uint8_t* bytes, size_t length) {
  return bytes && length >= 12 && IdIs(bytes, "RIFF") && IdIs(bytes + 8, "WAVE");
}

WaveLayout ReadWaveLayout(const uint8_t* bytes, size_t length) {
  WaveLayout layout;
  if (!bytes || length < kMinimumWave) {
    layout.refusal = WaveRefusal::kTooShort;
    return layout;
  }
  if (!LooksLikeWave(bytes, length)) {
    layout.refusal = WaveRefusal::kNotRiffWave;
    return layout;
  }
  const uint64_t riff_end = kChunkHeader + static_cast<uint64_t>(Le32(bytes + 4));

  bool have_format = false;
  bool format_ok = false;
  bool have_data = false;
  uint64_t offset = 12;
  // A chunk is looked at only when it starts inside the RIFF chunk and its
  // header lies inside the bytes.
  while (!(have_format && have_data) && offset < riff_end && offset + kChunkHeader <= length) {
    const uint8_t* header = bytes + offset;
    const uint64_t size = Le32(header + 4);
    const uint64_t body = offset + kChunkHeader;
    const uint64_t available = length - body;
    if (!have_format && IdIs(header, "fmt ")) {
      have_format = true;
      format_ok = size <= available && ReadFormat(bytes + body, size, &layout);
    } else if (!have_data && IdIs(header, "data")) {
      have_data = true;
      layout.data_offset = body;
      layout.data_length = size < available ? size : available;
    }
    offset = body + size + (size & 1);
  }

  if (!have_format) {
    layout.refusal = WaveRefusal::kNoFormat;
  } else if (!format_ok) {
    layout.refusal = WaveRefusal::kBadFormat;
  } else if (!have_data) {
    layout.refusal = WaveRefusal::kNoData;
  } else if (layout.data_length == 0) {
    layout.refusal = WaveRefusal::kEmptyData;
  }
  return layout;
}

}  // namespace gs
