// Reading the chunk structure of Standard MIDI File bytes. Pure code: the
// events themselves are left to the synthesiser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gs {

// More than 4 bytes, starting with "MThd".
bool LooksLikeMidi(const uint8_t* bytes, size_t length);

struct MidiTrackSpan {
  size_t offset = 0;  // first byte of the track's events
  size_t length = 0;
};

struct MidiFileLayout {
  bool ok = false;
  uint16_t format = 0;
  uint16_t track_count = 0;
  uint16_t division = 0;
  std::vector<MidiTrackSpan> tracks;  // track_count entries when ok
};

// Reads the header chunk (length field 6; format, track count and time
// division, all big-endian) and the "MTrk" chunks that follow, skipping
// chunks of other types. Not ok when the header is malformed, a track is
// missing, or a chunk runs past the end of the bytes.
MidiFileLayout ReadMidiLayout(const uint8_t* bytes, size_t length);

}  // namespace gs
