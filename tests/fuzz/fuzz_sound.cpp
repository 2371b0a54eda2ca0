// libFuzzer targets for the sound parsers: GS_FUZZ_WAVE walks the RIFF chunks,
// GS_FUZZ_MIDI reads the header and track chunks. Whatever they report must
// lie inside the given bytes.
#include <cstdint>
#include <cstdlib>

#include "media/midi_file.h"
#include "media/wave_format.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#if defined(GS_FUZZ_WAVE)
  gs::WaveLayout layout = gs::ReadWaveLayout(data, size);
  if (layout.ok()) {
    Check(gs::LooksLikeWave(data, size));
    Check(layout.data_length > 0);
    Check(layout.data_offset <= size && layout.data_length <= size - layout.data_offset);
  }
#elif defined(GS_FUZZ_MIDI)
  gs::MidiFileLayout layout = gs::ReadMidiLayout(data, size);
  if (layout.ok) {
    Check(gs::LooksLikeMidi(data, size));
    Check(layout.tracks.size() == layout.track_count);
    for (const gs::MidiTrackSpan& track : layout.tracks)
      Check(track.offset <= size && track.length <= size - track.offset);
  }
#else
#error "choose a parser"
#endif
  return 0;
}
