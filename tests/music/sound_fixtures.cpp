#include "tests/music/sound_fixtures.h"

#include <cmath>
#include <cstring>

namespace gs::test {
namespace {

void PutLe16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutLe32(Bytes& out, uint32_t v) {
  PutLe16(out, v & 0xFFFF);
  PutLe16(out, v >> 16);
}
void PutBe16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void PutBe32(Bytes& out, uint32_t v) {
  PutBe16(out, v >> 16);
  PutBe16(out, v & 0xFFFF);
}
void PutId(Bytes& out, const std::string& id) {
  out.insert(out.end(), id.begin(), id.end());
}

// A variable-length quantity as MIDI writes delta times.
void PutVarLen(Bytes& out, uint32_t v) {
  uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = v & 0x7F;
    v >>= 7;
  } while (v);
  while (n-- > 0) out.push_back(static_cast<uint8_t>(groups[n] | (n ? 0x80 : 0)));
}

}  // namespace

Bytes RiffWave(const std::vector<Chunk>& chunks, int64_t riff_size) {
  Bytes out;
  PutId(out, "RIFF");
  PutLe32(out, 0);
  PutId(out, "WAVE");
  for (const Chunk& chunk : chunks) {
    PutId(out, chunk.id);
    PutLe32(out, static_cast<uint32_t>(chunk.body.size()));
    out.insert(out.end(), chunk.body.begin(), chunk.body.end());
    if (chunk.body.size() & 1) out.push_back(0);
  }
  const uint32_t size =
      riff_size >= 0 ? static_cast<uint32_t>(riff_size) : static_cast<uint32_t>(out.size() - 8);
  std::memcpy(out.data() + 4, &size, 4);  // little-endian machine
  return out;
}

Bytes FormatBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
  Bytes out;
  const uint16_t align = static_cast<uint16_t>(channels * ((bits + 7) / 8));
  PutLe16(out, tag);
  PutLe16(out, channels);
  PutLe32(out, rate);
  PutLe32(out, rate * align);
  PutLe16(out, align);
  PutLe16(out, bits);
  return out;
}

Bytes U8MonoFormat() {
  return FormatBody(1, 1, 8000, 8);
}

Bytes Tone(double hertz, int ms, int amplitude, int rate) {
  Bytes out(static_cast<size_t>(rate) * static_cast<size_t>(ms) / 1000);
  for (size_t i = 0; i < out.size(); ++i) {
    const double v = amplitude * std::sin(2 * M_PI * hertz * static_cast<double>(i) / rate);
    out[i] = static_cast<uint8_t>(128 + std::lround(v));
  }
  return out;
}

Bytes Pattern(size_t count, uint32_t seed) {
  Bytes out(count);
  uint32_t state = seed ? seed : 1;
  for (auto& sample : out) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    // 128 +- 20..60: never silent, never loud enough to clip when mixed.
    const int magnitude = 20 + static_cast<int>(state % 41);
    sample = static_cast<uint8_t>((state & 0x100) ? 128 + magnitude : 128 - magnitude);
  }
  return out;
}

OwnedByteBlock ToBlock(const Bytes& bytes) {
  return CopyToByteBlock(bytes.data(), static_cast<int64_t>(bytes.size()));
}

Bytes MidiMelody(const std::vector<uint8_t>& notes, int note_ms) {
  constexpr uint32_t kDivision = 480;  // ticks per quarter note
  constexpr uint32_t kTempo = 500000;  // microseconds per quarter note
  const uint32_t ticks = static_cast<uint32_t>(note_ms) * kDivision * 1000 / kTempo;
  Bytes track;
  PutVarLen(track, 0);
  track.insert(track.end(), {0xFF, 0x51, 0x03});  // tempo
  track.push_back(static_cast<uint8_t>(kTempo >> 16));
  track.push_back(static_cast<uint8_t>(kTempo >> 8));
  track.push_back(static_cast<uint8_t>(kTempo));
  PutVarLen(track, 0);
  track.insert(track.end(), {0xC0, 0x00});  // program 0 on channel 1
  for (uint8_t note : notes) {
    PutVarLen(track, 0);
    track.insert(track.end(), {0x90, note, 100});
    PutVarLen(track, ticks);
    track.insert(track.end(), {0x80, note, 0});
  }
  PutVarLen(track, 0);
  track.insert(track.end(), {0xFF, 0x2F, 0x00});  // end of track

  Bytes out;
  PutId(out, "MThd");
  PutBe32(out, 6);
  PutBe16(out, 0);  // format 0
  PutBe16(out, 1);  // one track
  PutBe16(out, kDivision);
  PutId(out, "MTrk");
  PutBe32(out, static_cast<uint32_t>(track.size()));
  out.insert(out.end(), track.begin(), track.end());
  return out;
}

double TonePower(const std::vector<int16_t>& samples, size_t begin, size_t end, double hertz,
                 int rate) {
  if (end > samples.size()) end = samples.size();
  if (begin >= end) return 0;
  const double w = 2 * M_PI * hertz / rate;
  const double coefficient = 2 * std::cos(w);
  double s1 = 0;
  double s2 = 0;
  for (size_t i = begin; i < end; ++i) {
    const double s0 = samples[i] / 32768.0 + coefficient * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double n = static_cast<double>(end - begin);
  const double magnitude_squared = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
  // A sine of amplitude A gives |X|^2 = (A n / 2)^2; report A^2 / 2.
  return 2 * magnitude_squared / (n * n);
}

double MeanSquare(const std::vector<int16_t>& samples, size_t begin, size_t end) {
  if (end > samples.size()) end = samples.size();
  if (begin >= end) return 0;
  double sum = 0;
  for (size_t i = begin; i < end; ++i) {
    const double v = samples[i] / 32768.0;
    sum += v * v;
  }
  return sum / static_cast<double>(end - begin);
}

size_t FirstSound(const std::vector<int16_t>& samples, size_t from) {
  for (size_t i = from; i < samples.size(); ++i) {
    if (samples[i] != 0) return i;
  }
  return std::string::npos;
}

size_t EndOfSound(const std::vector<int16_t>& samples) {
  for (size_t i = samples.size(); i > 0; --i) {
    if (samples[i - 1] != 0) return i;
  }
  return 0;
}

size_t FindRecorded(const std::vector<int16_t>& samples, const Bytes& expected,
                    size_t expected_offset, size_t probe, size_t from) {
  if (expected_offset + probe > expected.size()) return std::string::npos;
  for (size_t start = from; start + probe <= samples.size(); ++start) {
    size_t i = 0;
    while (i < probe && samples[start + i] == RecordedU8(expected[expected_offset + i])) ++i;
    if (i == probe) return start;
  }
  return std::string::npos;
}

}  // namespace gs::test
