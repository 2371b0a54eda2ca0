// The PCX readers: run-length scan lines, 8 bits with the palette at the end,
// 1 bit as black and white.
#include <gtest/gtest.h>

#include "media/picture.h"
#include "tests/pictures/picture_fixtures.h"

namespace gs {
namespace {

using test::Bytes;
using test::PcxSpec;

std::unique_ptr<Picture> Decode(const Bytes& bytes) {
  return DecodePictureBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
}

std::vector<uint8_t> Indices(const Picture& picture) {
  std::vector<uint8_t> out;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = picture.pixels.data() + static_cast<size_t>(y) * picture.stride;
    out.insert(out.end(), row, row + picture.width);
  }
  return out;
}

// Runs, single bytes, and single bytes that need a run marker (0xC0 and up).
std::vector<uint8_t> Pattern(int width, int height) {
  std::vector<uint8_t> out;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x)
      out.push_back(x < width / 2 ? 7 : static_cast<uint8_t>(0xC0 + x + y));
  }
  return out;
}

PcxSpec EightBit(int width, int height) {
  PcxSpec spec;
  spec.width = width;
  spec.height = height;
  spec.pixels = Pattern(width, height);
  for (int i = 0; i < 256; ++i) spec.palette.push_back(static_cast<uint32_t>(i * 0x010203));
  return spec;
}

TEST(PcxReader, EightBitsKeepIndicesAndEndPalette) {
  for (bool across : {false, true}) {
    PcxSpec spec = EightBit(150, 5);  // runs longer than 63 are split
    spec.runs_across_lines = across;
    auto picture = Decode(WritePcx(spec));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->kind, PictureKind::kPcx8);
    EXPECT_EQ(picture->width, 150);
    EXPECT_EQ(picture->height, 5);
    EXPECT_EQ(picture->stride, 152);
    EXPECT_EQ(picture->pixel_size, 152 * 5);
    EXPECT_EQ(Indices(*picture), spec.pixels);
    EXPECT_EQ(picture->palette[0xC5], 0xC5u * 0x010203);
    EXPECT_EQ(RenderPicture(*picture, 0).pixels[0], 7u * 0x010203);
  }
}

TEST(PcxReader, RunsCarryOnIntoTheNextScanLine) {
  // One run of 12 zero bytes covers two scan lines of 6 bytes (width 5, padded).
  PcxSpec spec;
  spec.width = 5;
  spec.height = 2;
  spec.bytes_per_line = 6;
  spec.pixels = std::vector<uint8_t>(10, 0);
  spec.runs_across_lines = true;
  Bytes bytes = WritePcx(spec);
  ASSERT_EQ(bytes[128], 0xC0 | 12);
  auto picture = Decode(bytes);
  ASSERT_TRUE(picture);
  EXPECT_EQ(Indices(*picture), spec.pixels);
}

TEST(PcxReader, OneBitIsBlackAndWhite) {
  PcxSpec spec;
  spec.bits = 1;
  spec.version = 3;
  spec.width = 19;
  spec.height = 3;
  for (int i = 0; i < 19 * 3; ++i) spec.pixels.push_back((i % 3 == 0) ? 1 : 0);
  auto picture = Decode(WritePcx(spec));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->kind, PictureKind::kPcx1);
  EXPECT_EQ(picture->stride, 20);
  EXPECT_EQ(Indices(*picture), spec.pixels);
  const Image image = RenderPicture(*picture, 0x000000FF);
  EXPECT_EQ(image.pixels[0], 0xFFFFFFu);
  EXPECT_EQ(image.pixels[1], 0x000000u);
}

TEST(PcxReader, BrokenDataGivesNoPicture) {
  const Bytes good = WritePcx(EightBit(20, 4));
  ASSERT_TRUE(Decode(good));
  Bytes no_marker = good;
  no_marker[good.size() - 769] = 0x0B;
  EXPECT_FALSE(Decode(no_marker));
  PcxSpec without = EightBit(20, 4);
  without.with_palette = false;
  EXPECT_FALSE(Decode(WritePcx(without)));
  // Scan lines cut short: the palette is still the last 769 bytes.
  Bytes short_lines(good.begin(), good.begin() + 140);
  short_lines.insert(short_lines.end(), good.end() - 769, good.end());
  EXPECT_FALSE(Decode(short_lines));
  Bytes three_planes = good;
  three_planes[65] = 3;
  EXPECT_FALSE(Decode(three_planes));
  Bytes narrow_lines = good;
  narrow_lines[66] = 10;  // fewer bytes per line than the width
  EXPECT_FALSE(Decode(narrow_lines));
  Bytes backwards = good;
  backwards[4] = 50;  // x_min past x_max
  EXPECT_FALSE(Decode(backwards));
  Bytes huge = good;
  huge[8] = 0xFE, huge[9] = huge[10] = huge[11] = 0xFF;  // 65535 x 65536
  huge[66] = huge[67] = 0xFF;
  EXPECT_FALSE(Decode(huge));
  EXPECT_FALSE(Decode(Bytes(good.begin(), good.begin() + 100)));
}

}  // namespace
}  // namespace gs
