// The BMP reader: uncompressed 1/4/8/24/32 bits, bottom-up padded rows, the
// row offset checked, into 24-bit R, G, B rows top to bottom.
#include <gtest/gtest.h>

#include "media/picture.h"
#include "tests/pictures/picture_fixtures.h"

namespace gs {
namespace {

using test::BmpSpec;
using test::Bytes;

std::unique_ptr<Picture> Decode(const Bytes& bytes) {
  return DecodePictureBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// The picture's pixels as 0xRRGGBB, rows top to bottom.
std::vector<uint32_t> Colours(const Picture& picture) {
  std::vector<uint32_t> out;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const uint8_t* p = picture.pixels.data() + y * picture.stride + x * 3;
      out.push_back((uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]);
    }
  }
  return out;
}

// Distinct colours, so that a swapped channel, row or column shows.
const std::vector<uint32_t> kTable16 = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0x654321,
                                        0xABCDEF, 0xFEDCBA, 0x010203, 0x102030, 0x808080, 0xC0FFEE,
                                        0xBADA55, 0x0FF1CE, 0xDECADE, 0xFFFFFF};

struct DepthCase {
  int bits;
  int width;
};

class BmpDepthTest : public ::testing::TestWithParam<DepthCase> {};

// Widths chosen so that the rows need padding to 4 bytes.
TEST_P(BmpDepthTest, DecodesEveryPixelTopRowFirst) {
  const DepthCase c = GetParam();
  const int height = 3;
  BmpSpec spec;
  spec.bits = c.bits;
  spec.width = c.width;
  spec.height = height;
  spec.padding_byte = 0xEE;  // padding and the 4th byte of 32-bit pixels are ignored
  std::vector<uint32_t> expected;
  for (int i = 0; i < c.width * height; ++i) {
    if (c.bits <= 8) {
      const uint32_t index = (i * 7 + i / c.width) % (1u << std::min(c.bits, 4));
      spec.pixels.push_back(index);
      expected.push_back(kTable16[index]);
    } else {
      const uint32_t colour = kTable16[i % 16] ^ (i * 0x010101);
      spec.pixels.push_back(colour);
      expected.push_back(colour & 0xFFFFFF);
    }
  }
  if (c.bits <= 8) {
    spec.table.assign(kTable16.begin(), kTable16.begin() + std::min(16, 1 << c.bits));
    spec.table.resize(size_t{1} << c.bits, 0);
  }
  auto picture = Decode(WriteBmp(spec));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->kind, PictureKind::kBmp);
  EXPECT_EQ(picture->width, c.width);
  EXPECT_EQ(picture->height, height);
  EXPECT_EQ(picture->stride, c.width * 3);
  EXPECT_EQ(picture->pixel_size, c.width * 3 * height);
  EXPECT_EQ(Colours(*picture), expected);
  // RenderPicture gives the same colours as 0x00RRGGBB.
  EXPECT_EQ(RenderPicture(*picture, 0x00FFFFFF).pixels, expected);
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpDepthTest,
                         ::testing::Values(DepthCase{1, 13}, DepthCase{4, 5}, DepthCase{8, 3},
                                           DepthCase{24, 5}, DepthCase{24, 4}, DepthCase{32, 3}),
                         [](const ::testing::TestParamInfo<DepthCase>& info) {
                           return std::to_string(info.param.bits) + "BitsWidth" +
                                  std::to_string(info.param.width);
                         });

BmpSpec EightBitSpec() {
  BmpSpec spec;
  spec.bits = 8;
  spec.width = 2;
  spec.height = 2;
  spec.table = {0x112233, 0x445566, 0x778899};
  spec.colours_used = 3;
  spec.pixels = {0, 1, 2, 1};
  return spec;
}

TEST(BmpReader, ColoursUsedGivesTheTableSize) {
  auto picture = Decode(WriteBmp(EightBitSpec()));
  ASSERT_TRUE(picture);
  EXPECT_EQ(Colours(*picture), (std::vector<uint32_t>{0x112233, 0x445566, 0x778899, 0x445566}));
}

TEST(BmpReader, NegativeHeightMeansTopRowFirst) {
  BmpSpec spec;
  spec.width = 2;
  spec.height = -3;
  spec.pixels = {1, 2, 3, 4, 5, 6};
  auto picture = Decode(WriteBmp(spec));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->height, 3);
  EXPECT_EQ(Colours(*picture), spec.pixels);
}

TEST(BmpReader, RowsMayStartAfterAGap) {
  BmpSpec spec = EightBitSpec();
  spec.rows_offset = 14 + 40 + 3 * 4 + 20;
  auto picture = Decode(WriteBmp(spec));
  ASSERT_TRUE(picture);
  EXPECT_EQ(Colours(*picture), (std::vector<uint32_t>{0x112233, 0x445566, 0x778899, 0x445566}));
}

TEST(BmpReader, LongerInformationHeadersAreAccepted) {
  for (uint32_t info_size : {52u, 56u, 108u, 124u}) {
    BmpSpec spec = EightBitSpec();
    spec.info_size = info_size;
    auto picture = Decode(WriteBmp(spec));
    ASSERT_TRUE(picture) << info_size;
    EXPECT_EQ(Colours(*picture), (std::vector<uint32_t>{0x112233, 0x445566, 0x778899, 0x445566}));
  }
}

TEST(BmpReader, ScreenCaptureLayout) {
  // 24 bits, offset 54, bottom row first, the layout the screen capture writes.
  const int w = 1366, h = 4;
  BmpSpec spec;
  spec.width = w;
  spec.height = h;
  for (int i = 0; i < w * h; ++i)
    spec.pixels.push_back(static_cast<uint32_t>(i * 2654435761u) >> 8);
  const Bytes bytes = WriteBmp(spec);
  ASSERT_EQ(bytes.size(), 54u + (24 * w + 31) / 32 * 4 * h);
  auto picture = Decode(bytes);
  ASSERT_TRUE(picture);
  EXPECT_EQ(Colours(*picture), spec.pixels);
}

struct BadCase {
  const char* name;
  Bytes bytes;
};

class BadBmpTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadBmpTest, GivesNoPicture) {
  EXPECT_FALSE(Decode(GetParam().bytes));
}

Bytes Modified(BmpSpec spec, void (*change)(BmpSpec&)) {
  change(spec);
  return WriteBmp(spec);
}

Bytes Cut(Bytes bytes, size_t length) {
  bytes.resize(length);
  return bytes;
}

Bytes Patched32(Bytes bytes, size_t at, uint32_t value) {
  test::SetLe32(bytes, at, value);
  return bytes;
}

std::vector<BadCase> BadCases() {
  const BmpSpec base = EightBitSpec();
  const Bytes good = WriteBmp(base);
  return {
      {"RunLength8", Modified(base, [](BmpSpec& s) { s.compression = 1; })},
      {"RunLength4", Modified(base, [](BmpSpec& s) { s.compression = 2; })},
      {"BitFields", Modified(base, [](BmpSpec& s) { s.compression = 3; })},
      {"OffsetInFileHeader", Modified(base, [](BmpSpec& s) { s.rows_offset = 10; })},
      {"OffsetInInfoHeader", Modified(base, [](BmpSpec& s) { s.rows_offset = 20; })},
      {"OffsetInColourTable", Modified(base, [](BmpSpec& s) { s.rows_offset = 54 + 8; })},
      {"OffsetPastTheData", Patched32(good, 10, 100000)},
      {"OffsetFarPastTheData", Patched32(good, 10, 0xFFFFFFF0u)},
      {"SixteenBits", Patched32(Modified(base, [](BmpSpec& s) { s.table.clear(); }), 28, 16)},
      {"ZeroBits", Patched32(good, 28, 0)},
      {"InfoHeaderTooShort", Patched32(good, 14, 12)},
      {"InfoHeaderPastTheData", Patched32(good, 14, 4000)},
      {"ColoursUsedPastTheData", Patched32(good, 46, 0x40000000)},
      {"RowsCutShort", Cut(good, good.size() - 3)},
      {"ZeroWidth", Patched32(good, 18, 0)},
      {"ZeroHeight", Patched32(good, 22, 0)},
      {"HugeWidthAndHeight", Patched32(Patched32(good, 18, 100000), 22, 100000)},
      {"HugeNegativeHeight", Patched32(good, 22, 0x80000000u)},
      {"HeadersOnly", Cut(good, 54)},
      {"FileHeaderOnly", Cut(good, 14)},
  };
}

INSTANTIATE_TEST_SUITE_P(Cases, BadBmpTest, ::testing::ValuesIn(BadCases()),
                         [](const ::testing::TestParamInfo<BadCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace gs
