#include "media/midi_file.h"

#include <cstring>

namespace gs {
namespace {

constexpr size_t kChunkHeader = 8;
constexpr uint32_t kHeaderLength = 6;

uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

}  // namespace

bool LooksLikeMidi(const uint8_t* bytes, size_t length) {
  return bytes && length > 4 && std::memcmp(bytes, "MThd", 4) == 0;
}

MidiFileLayout ReadMidiLayout(const uint8_t* bytes, size_t length) {
  MidiFileLayout layout;
  if (!LooksLikeMidi(bytes, length) || length < kChunkHeader + kHeaderLength) return layout;
  if (Be32(bytes + 4) != kHeaderLength) return layout;
  layout.format = Be16(bytes + 8);
  layout.track_count = Be16(bytes + 10);
  layout.division = Be16(bytes + 12);
  if (layout.track_count == 0) return layout;

  uint64_t offset = kChunkHeader + kHeaderLength;
  while (layout.tracks.size() < layout.track_count) {
    if (offset + kChunkHeader > length) return layout;
    const uint8_t* header = bytes + offset;
    const uint64_t size = Be32(header + 4);
    const uint64_t body = offset + kChunkHeader;
    if (body + size > length) return layout;
    if (std::memcmp(header, "MTrk", 4) == 0) {
      layout.tracks.push_back({static_cast<size_t>(body), static_cast<size_t>(size)});
    }
    offset = body + size;
  }
  layout.ok = true;
  return layout;
}

}  // namespace gs
