// The chunk walk over RIFF WAVE bytes.
#include "media/wave_format.h"

#include <gtest/gtest.h>

#include "media/assets.h"
#include "tests/music/sound_fixtures.h"

namespace gs::test {
namespace {

struct LayoutCase {
  const char* name;
  Bytes bytes;
  WaveRefusal refusal;
  size_t data_offset = 0;  // checked when the layout is ok
  size_t data_length = 0;
};

Bytes Samples(size_t count) {
  return Pattern(count, 7);
}

// Bytes with the RIFF size field claiming more than there is, so that only
// the end of the bytes limits the walk.
Bytes Truncated(Bytes bytes, size_t keep) {
  bytes.resize(keep);
  return bytes;
}

std::vector<LayoutCase> LayoutCases() {
  const Bytes fmt = U8MonoFormat();
  return {
      {"fmt_then_data", RiffWave({{"fmt ", fmt}, {"data", Samples(10)}}), WaveRefusal::kNone, 44,
       10},
      {"data_then_fmt", RiffWave({{"data", Samples(10)}, {"fmt ", fmt}}), WaveRefusal::kNone, 20,
       10},
      // 12 + (8 + 16) + (8 + 3 + pad 1) + 8 = 56.
      {"odd_chunk_pad_before_data",
       RiffWave({{"fmt ", fmt}, {"LIST", Bytes{1, 2, 3}}, {"data", Samples(10)}}),
       WaveRefusal::kNone, 56, 10},
      {"odd_data_without_trailing_pad",
       Truncated(RiffWave({{"fmt ", fmt}, {"data", Samples(9)}}, 8 + 16 + 8 + 9 + 4), 53),
       WaveRefusal::kNone, 44, 9},
      // The RIFF chunk ends after "fmt ": a "data" chunk behind it is not part of it.
      {"data_beyond_riff_end", RiffWave({{"fmt ", fmt}, {"data", Samples(10)}}, 4 + 24),
       WaveRefusal::kNoData},
      // A chunk starting exactly at the RIFF end is outside it too.
      {"fmt_beyond_riff_end", RiffWave({{"data", Samples(10)}, {"fmt ", fmt}}, 4 + 18),
       WaveRefusal::kNoFormat},
      // The "data" size claims more than the bytes hold: the samples end with the bytes.
      {"data_cut_by_end_of_bytes",
       Truncated(RiffWave({{"fmt ", fmt}, {"data", Samples(100)}}), 44 + 30), WaveRefusal::kNone,
       44, 30},
      // The RIFF size claims more than the bytes hold: the walk stops at their end.
      {"riff_size_beyond_bytes", RiffWave({{"fmt ", fmt}, {"LIST", Samples(6)}}, 100000),
       WaveRefusal::kNoData},
      // A huge chunk size must end the walk, not wrap around.
      {"huge_chunk_before_data",
       [&] {
         Bytes b = RiffWave({{"fmt ", fmt}, {"JUNK", Samples(2)}, {"data", Samples(10)}});
         b[40] = b[41] = b[42] = b[43] = 0xFF;
         return b;
       }(),
       WaveRefusal::kNoData},
      {"no_fmt", RiffWave({{"LIST", Samples(20)}, {"data", Samples(10)}}), WaveRefusal::kNoFormat},
      {"no_data", RiffWave({{"fmt ", fmt}, {"LIST", Samples(20)}}), WaveRefusal::kNoData},
      {"empty_data", RiffWave({{"fmt ", fmt}, {"data", {}}, {"LIST", Samples(20)}}),
       WaveRefusal::kEmptyData},
      {"fmt_too_short_for_fields",
       RiffWave({{"fmt ", Bytes(fmt.begin(), fmt.begin() + 14)}, {"data", Samples(20)}}),
       WaveRefusal::kBadFormat},
      {"short_input", Truncated(RiffWave({{"fmt ", fmt}, {"data", Samples(10)}}), 35),
       WaveRefusal::kTooShort},
      {"riff_but_not_wave",
       [&] {
         Bytes b = RiffWave({{"fmt ", fmt}, {"data", Samples(10)}});
         b[8] = 'A', b[9] = 'V', b[10] = 'I', b[11] = ' ';
         return b;
       }(),
       WaveRefusal::kNotRiffWave},
  };
}

class WaveLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(WaveLayoutTest, FindsFormatAndSamples) {
  const LayoutCase& c = GetParam();
  const WaveLayout layout = ReadWaveLayout(c.bytes.data(), c.bytes.size());
  EXPECT_EQ(layout.refusal, c.refusal);
  if (c.refusal != WaveRefusal::kNone) return;
  EXPECT_EQ(layout.format_tag, 1);
  EXPECT_EQ(layout.channels, 1);
  EXPECT_EQ(layout.sample_rate, 8000u);
  EXPECT_EQ(layout.bits_per_sample, 8);
  EXPECT_EQ(layout.data_offset, c.data_offset);
  EXPECT_EQ(layout.data_length, c.data_length);
  // The samples found are the ones written.
  const Bytes samples = Samples(c.data_length);
  EXPECT_TRUE(std::equal(samples.begin(), samples.end(), c.bytes.begin() + c.data_offset));
}

INSTANTIATE_TEST_SUITE_P(Cases, WaveLayoutTest, ::testing::ValuesIn(LayoutCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WaveLayout, StoredIntroTune) {
  const ByteBlock& tune = assets::intro_tune;
  ASSERT_TRUE(LooksLikeWave(tune.bytes(), tune.length));
  const WaveLayout layout = ReadWaveLayout(tune.bytes(), tune.length);
  ASSERT_TRUE(layout.ok());
  EXPECT_EQ(layout.format_tag, 1);
  EXPECT_EQ(layout.channels, 1);
  EXPECT_EQ(layout.sample_rate, 8000u);
  EXPECT_EQ(layout.bits_per_sample, 8);
  EXPECT_EQ(layout.data_offset, 44u);
  EXPECT_EQ(layout.data_length, 528837u);
}

TEST(WaveLayout, ExtensibleFormatNamesItsSubformat) {
  Bytes fmt = FormatBody(0xFFFE, 2, 48000, 32);
  const Bytes extension = {22, 0, 32, 0, 3, 0, 0,    0,  // cbSize, valid bits, channel mask
                           3,  0, 0,  0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  fmt.insert(fmt.end(), extension.begin(), extension.end());
  const Bytes bytes = RiffWave({{"fmt ", fmt}, {"data", Bytes(64)}});
  const WaveLayout layout = ReadWaveLayout(bytes.data(), bytes.size());
  ASSERT_TRUE(layout.ok());
  EXPECT_EQ(layout.format_tag, 0xFFFE);
  EXPECT_EQ(layout.effective_tag, 3);
}

TEST(WaveLayout, SniffingNeedsRiffAndWave) {
  const Bytes wave = RiffWave({{"fmt ", U8MonoFormat()}, {"data", Samples(4)}});
  EXPECT_TRUE(LooksLikeWave(wave.data(), 12));
  EXPECT_FALSE(LooksLikeWave(wave.data(), 11));
  Bytes rifx = wave;
  rifx[3] = 'X';
  EXPECT_FALSE(LooksLikeWave(rifx.data(), rifx.size()));
  const ByteBlock& song = assets::main_song;
  EXPECT_FALSE(LooksLikeWave(song.bytes(), song.length));
}

}  // namespace
}  // namespace gs::test
