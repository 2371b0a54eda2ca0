// Small sound files made in memory for the music tests, and a few ways of
// looking at a recording.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "media/byte_block.h"

namespace gs::test {

using Bytes = std::vector<uint8_t>;

struct Chunk {
  std::string id;  // four characters
  Bytes body;
};

// "RIFF", size, "WAVE" and the chunks, each padded to an even size. The
// RIFF size field is the true one unless `riff_size` is given (>= 0).
Bytes RiffWave(const std::vector<Chunk>& chunks, int64_t riff_size = -1);

// The body of a "fmt " chunk (16 bytes).
Bytes FormatBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits);
// 8-bit unsigned mono at 8000 per second: the format of the stored tune.
Bytes U8MonoFormat();

// 8-bit unsigned samples of a sine tone (`amplitude` of 127).
Bytes Tone(double hertz, int ms, int amplitude, int rate = 8000);
// A non-periodic 8-bit pattern without silent samples, to find in a recording.
Bytes Pattern(size_t count, uint32_t seed);

// What the sound server records for an 8-bit sample.
inline int16_t RecordedU8(uint8_t sample) {
  return static_cast<int16_t>((sample - 128) * 256);
}

OwnedByteBlock ToBlock(const Bytes& bytes);

// A Standard MIDI File of one track playing `notes` one after the other
// (each `note_ms` long) on a piano.
Bytes MidiMelody(const std::vector<uint8_t>& notes, int note_ms);

// Power of one frequency over samples [begin, end) (Goertzel), normalised to
// the mean square of a full-scale sine = 0.5.
double TonePower(const std::vector<int16_t>& samples, size_t begin, size_t end, double hertz,
                 int rate = 8000);
double MeanSquare(const std::vector<int16_t>& samples, size_t begin, size_t end);

// Index of the first sample at or after `from` that is not silent, or npos.
size_t FirstSound(const std::vector<int16_t>& samples, size_t from = 0);
// One past the last sample that is not silent (0 when all are silent).
size_t EndOfSound(const std::vector<int16_t>& samples);

// Where `expected` (as recorded) starts in `samples`: the first position at
// or after `from` where `probe` samples of it match exactly; npos if none.
size_t FindRecorded(const std::vector<int16_t>& samples, const Bytes& expected,
                    size_t expected_offset, size_t probe, size_t from = 0);

}  // namespace gs::test
