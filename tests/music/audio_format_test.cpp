// Sample formats taken from "fmt " chunks, the 16-bit fallback conversion
// and the looping sample source.
#include "media/audio_format.h"

#include <gtest/gtest.h>

#include "media/wave_source.h"
#include "tests/music/sound_fixtures.h"

namespace gs::test {
namespace {

using audio::SampleEncoding;

struct FormatCase {
  uint16_t tag;
  uint16_t bits;
  SampleEncoding encoding;
  size_t bytes_per_sample;
};

TEST(FormatOfWave, MapsTagAndBits) {
  const FormatCase cases[] = {
      {1, 8, SampleEncoding::kU8, 1},           {1, 16, SampleEncoding::kS16, 2},
      {1, 12, SampleEncoding::kS16, 2},         {1, 24, SampleEncoding::kS24In3, 3},
      {1, 32, SampleEncoding::kS32, 4},         {3, 32, SampleEncoding::kFloat32, 4},
      {3, 64, SampleEncoding::kFloat64, 8},     {6, 8, SampleEncoding::kALaw, 1},
      {7, 8, SampleEncoding::kMuLaw, 1},        {2, 4, SampleEncoding::kUnsupported, 0},
      {3, 16, SampleEncoding::kUnsupported, 0}, {0x55, 0, SampleEncoding::kUnsupported, 0},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "tag " << c.tag << " bits " << c.bits);
    WaveLayout layout;
    layout.format_tag = layout.effective_tag = c.tag;
    layout.bits_per_sample = c.bits;
    layout.channels = 2;
    layout.sample_rate = 22050;
    const audio::PcmFormat format = audio::FormatOfWave(layout);
    EXPECT_EQ(format.encoding, c.encoding);
    EXPECT_EQ(format.BytesPerFrame(), 2 * c.bytes_per_sample);
    EXPECT_EQ(format.rate, 22050u);
    EXPECT_EQ(format.playable(), c.encoding != SampleEncoding::kUnsupported);
  }
}

struct ConversionCase {
  SampleEncoding encoding;
  Bytes in;
  int16_t out;
};

TEST(ConvertToS16, KeepsLevelAndSign) {
  const float one = 1.0f;
  const float minus_half = -0.5f;
  const double too_loud = 3.0;
  auto bytes_of = [](const auto& value) {
    const auto* p = reinterpret_cast<const uint8_t*>(&value);
    return Bytes(p, p + sizeof value);
  };
  const ConversionCase cases[] = {
      {SampleEncoding::kU8, {0x80}, 0},
      {SampleEncoding::kU8, {0xFF}, 32512},
      {SampleEncoding::kU8, {0x00}, -32768},
      {SampleEncoding::kS16, {0x34, 0x12}, 0x1234},
      {SampleEncoding::kS24In3, {0x56, 0x34, 0x92}, static_cast<int16_t>(0x9234)},
      {SampleEncoding::kS32, {0x78, 0x56, 0x34, 0x12}, 0x1234},
      {SampleEncoding::kFloat32, bytes_of(one), 32767},
      {SampleEncoding::kFloat32, bytes_of(minus_half), -16384},
      {SampleEncoding::kFloat64, bytes_of(too_loud), 32767},
      {SampleEncoding::kMuLaw, {0xFF}, 0},
      {SampleEncoding::kMuLaw, {0x00}, -32124},
      {SampleEncoding::kMuLaw, {0x80}, 32124},
      {SampleEncoding::kALaw, {0xD5}, 8},
      {SampleEncoding::kALaw, {0x55}, -8},
      {SampleEncoding::kALaw, {0xAA}, 32256},
  };
  for (const ConversionCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "encoding " << static_cast<int>(c.encoding) << " -> " << c.out);
    int16_t out = 12345;
    audio::ConvertToS16(c.encoding, c.in.data(), 1, &out);
    EXPECT_EQ(out, c.out);
  }
}

audio::PcmFormat StereoS16() {
  return {SampleEncoding::kS16, 2, 8000};
}

// Six stereo 16-bit frames whose bytes count up from 0.
Bytes SixFrames() {
  Bytes samples(24);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i);
  return samples;
}

TEST(WaveSource, PlaysOnceWithoutLoop) {
  WaveSource source(SixFrames(), StereoS16(), false);
  Bytes out(4 * 4 * 4, 0xEE);
  EXPECT_EQ(source.Render(out.data(), 4), 4u);
  EXPECT_EQ(source.Render(out.data() + 16, 4), 2u);
  EXPECT_EQ(source.Render(out.data() + 24, 4), 0u);
  const Bytes expected = SixFrames();
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
  EXPECT_EQ(out[24], 0xEE);
}

TEST(WaveSource, LoopRestartsAtFirstFrameWithinOneRender) {
  WaveSource source(SixFrames(), StereoS16(), true);
  Bytes out(15 * 4);
  ASSERT_EQ(source.Render(out.data(), 15), 15u);
  const Bytes frames = SixFrames();
  for (size_t i = 0; i < out.size(); ++i) {
    ASSERT_EQ(out[i], frames[i % frames.size()]) << "byte " << i;
  }
}

TEST(WaveSource, TrailingPartialFrameIsNotPlayed) {
  Bytes samples = SixFrames();
  samples.resize(samples.size() + 3);
  WaveSource once(samples, StereoS16(), false);
  Bytes out(10 * 4);
  EXPECT_EQ(once.Render(out.data(), 10), 6u);
  WaveSource tiny(Bytes{1, 2, 3}, StereoS16(), true);
  EXPECT_EQ(tiny.Render(out.data(), 10), 0u);
}

}  // namespace
}  // namespace gs::test
