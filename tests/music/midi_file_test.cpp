// The header and track chunks of Standard MIDI Files.
#include "media/midi_file.h"

#include <gtest/gtest.h>

#include "tests/music/sound_fixtures.h"

namespace gs::test {
namespace {

Bytes Header(uint32_t length, uint16_t format, uint16_t tracks, uint16_t division) {
  Bytes out = {'M', 'T', 'h', 'd'};
  for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<uint8_t>(length >> shift));
  for (uint16_t field : {format, tracks, division}) {
    out.push_back(static_cast<uint8_t>(field >> 8));
    out.push_back(static_cast<uint8_t>(field));
  }
  return out;
}

Bytes ChunkOf(const char* id, const Bytes& body, uint32_t claimed = UINT32_MAX) {
  const uint32_t size = claimed == UINT32_MAX ? static_cast<uint32_t>(body.size()) : claimed;
  Bytes out(id, id + 4);
  for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<uint8_t>(size >> shift));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};
const Bytes kNoteTrack = {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00};

struct MidiCase {
  const char* name;
  Bytes bytes;
  bool ok;
  std::vector<MidiTrackSpan> tracks = {};
};

std::vector<MidiCase> MidiCases() {
  return {
      {"one_track", Join({Header(6, 0, 1, 96), ChunkOf("MTrk", kNoteTrack)}), true, {{22, 12}}},
      // Chunks of other types between tracks are skipped.
      {"two_tracks_around_alien_chunk",
       Join({Header(6, 1, 2, 480), ChunkOf("MTrk", kEndOfTrack), ChunkOf("XFIH", {1, 2, 3}),
             ChunkOf("MTrk", kNoteTrack)}),
       true,
       {{22, 4}, {45, 12}}},
      {"header_length_not_6", Join({Header(7, 0, 1, 96), Bytes{0}, ChunkOf("MTrk", kNoteTrack)}),
       false},
      {"track_longer_than_bytes", Join({Header(6, 0, 1, 96), ChunkOf("MTrk", kNoteTrack, 13)}),
       false},
      {"fewer_tracks_than_counted", Join({Header(6, 1, 2, 96), ChunkOf("MTrk", kNoteTrack)}),
       false},
      {"no_tracks_counted", Join({Header(6, 0, 0, 96), ChunkOf("MTrk", kNoteTrack)}), false},
      {"header_cut_short", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0}, false},
  };
}

class MidiLayoutTest : public ::testing::TestWithParam<MidiCase> {};

TEST_P(MidiLayoutTest, ReadsHeaderAndTracks) {
  const MidiCase& c = GetParam();
  EXPECT_TRUE(LooksLikeMidi(c.bytes.data(), c.bytes.size()));
  const MidiFileLayout layout = ReadMidiLayout(c.bytes.data(), c.bytes.size());
  EXPECT_EQ(layout.ok, c.ok);
  if (!c.ok) return;
  ASSERT_EQ(layout.tracks.size(), c.tracks.size());
  for (size_t i = 0; i < c.tracks.size(); ++i) {
    EXPECT_EQ(layout.tracks[i].offset, c.tracks[i].offset) << "track " << i;
    EXPECT_EQ(layout.tracks[i].length, c.tracks[i].length) << "track " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, MidiLayoutTest, ::testing::ValuesIn(MidiCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MidiLayout, HeaderFieldsAreBigEndian) {
  const Bytes bytes =
      Join({Header(6, 1, 2, 0x01E0), ChunkOf("MTrk", kEndOfTrack), ChunkOf("MTrk", kEndOfTrack)});
  const MidiFileLayout layout = ReadMidiLayout(bytes.data(), bytes.size());
  ASSERT_TRUE(layout.ok);
  EXPECT_EQ(layout.format, 1);
  EXPECT_EQ(layout.track_count, 2);
  EXPECT_EQ(layout.division, 480);
}

TEST(MidiLayout, SniffingNeedsMoreThanFourBytes) {
  const Bytes header = Header(6, 0, 1, 96);
  EXPECT_FALSE(LooksLikeMidi(header.data(), 4));
  EXPECT_TRUE(LooksLikeMidi(header.data(), 5));
  const Bytes melody = MidiMelody({60, 64}, 100);
  EXPECT_TRUE(ReadMidiLayout(melody.data(), melody.size()).ok);
}

}  // namespace
}  // namespace gs::test
