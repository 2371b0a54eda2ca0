// The GIF reader: first image only, palette kept as it is, offsets ignored,
// interlacing undone, LZW up to 12 bits, broken data gives no picture.
#include <gtest/gtest.h>

#include <random>

#include "media/picture.h"
#include "tests/pictures/picture_fixtures.h"

namespace gs {
namespace {

using test::Bytes;
using test::GifSpec;

std::unique_ptr<Picture> Decode(const Bytes& bytes) {
  return DecodePictureBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// The picture's indices without row padding, rows top to bottom.
std::vector<uint8_t> Indices(const Picture& picture) {
  std::vector<uint8_t> out;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = picture.pixels.data() + static_cast<size_t>(y) * picture.stride;
    out.insert(out.end(), row, row + picture.width);
  }
  return out;
}

std::vector<uint32_t> GreyTable(int entries) {
  std::vector<uint32_t> table(entries);
  for (int i = 0; i < entries; ++i) {
    const uint32_t v = static_cast<uint32_t>(i * 255 / (entries - 1));
    table[i] = (v << 16) | (v << 8) | v;
  }
  return table;
}

std::vector<uint8_t> Noise(size_t count, int colours, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> out(count);
  for (uint8_t& v : out) v = static_cast<uint8_t>(random() % colours);
  return out;
}

// A picture as big as its image with the given indices.
GifSpec Square(int width, int height, std::vector<uint8_t> indices, int colours = 256) {
  GifSpec spec;
  spec.screen_width = spec.width = width;
  spec.screen_height = spec.height = height;
  spec.global_table = GreyTable(colours);
  spec.indices = std::move(indices);
  return spec;
}

// A GIF of 5 x 1 pixels, all index 1, with its code stream packed by hand:
// clear(4) 1 1 6 as 3-bit codes; adding entry 7 fills 3 bits, so the last 1
// and end(5) are 4-bit codes. Bits least significant first:
// 001 100 100 011 | 1000 1010 -> 0x4C 0x1C 0x05.
const Bytes kHandPackedGif = {'G',  'I', 'F',  '8',  '9',  'a',  5, 0, 1, 0,
                              0x80, 0,   0,                       // screen 5 x 1, 2-entry table
                              0,    0,   0,    0xFF, 0xFF, 0xFF,  // black, white
                              0x2C, 0,   0,    0,    0,    5,    0, 1, 0, 0,  // image 5 x 1
                              2,    3,   0x4C, 0x1C, 0x05, 0,  // min code size 2, one sub-block
                              0x3B};

TEST(GifReader, DecodesHandPackedCodesWithCodeSizeGrowth) {
  auto picture = Decode(kHandPackedGif);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->kind, PictureKind::kGif);
  EXPECT_EQ(picture->width, 5);
  EXPECT_EQ(picture->height, 1);
  EXPECT_EQ(picture->stride, 8);
  EXPECT_EQ(picture->pixel_size, 8);
  EXPECT_EQ(Indices(*picture), std::vector<uint8_t>(5, 1));
  EXPECT_EQ(picture->palette[0], 0x000000u);
  EXPECT_EQ(picture->palette[1], 0xFFFFFFu);
  EXPECT_EQ(picture->palette[2], 0u);  // entries past the table stay 0
}

TEST(GifReader, KeepsIndicesAndPaletteAndPadsRows) {
  const int w = 7, h = 5;
  GifSpec spec = Square(w, h, Noise(w * h, 16, 1), 16);
  spec.global_table[3] = 0x123456;
  spec.lzw.min_code_size = 4;
  auto picture = Decode(EncodeGif(spec));
  ASSERT_TRUE(picture);
  EXPECT_EQ(Indices(*picture), spec.indices);
  EXPECT_EQ(picture->stride, 8);
  EXPECT_EQ(picture->pixel_size, 8 * h);
  EXPECT_EQ(picture->image_width, w);
  EXPECT_EQ(picture->image_height, h);
  EXPECT_EQ(picture->palette[3], 0x123456u);
  EXPECT_EQ(picture->palette[15], 0xFFFFFFu);
}

TEST(GifReader, Version87aDecodesLikeVersion89a) {
  GifSpec spec = Square(9, 6, Noise(54, 4, 2), 4);
  spec.lzw.min_code_size = 2;
  const Bytes new_version = EncodeGif(spec);
  spec.version = "87a";
  const Bytes old_version = EncodeGif(spec);
  ASSERT_NE(new_version, old_version);
  auto a = Decode(new_version);
  auto b = Decode(old_version);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->pixels, b->pixels);
  EXPECT_EQ(a->palette, b->palette);
  EXPECT_EQ(a->width, b->width);
}

TEST(GifReader, InterlacedDecodesLikeNonInterlaced) {
  // Heights that leave some of the four passes empty or short.
  for (int h : {1, 2, 3, 5, 8, 9, 19}) {
    std::vector<uint8_t> rows;
    for (int y = 0; y < h; ++y) rows.insert(rows.end(), 6, static_cast<uint8_t>(y * 10));
    GifSpec spec = Square(6, h, rows);
    const Bytes plain = EncodeGif(spec);
    spec.interlaced = true;
    const Bytes interlaced = EncodeGif(spec);
    auto a = Decode(plain);
    auto b = Decode(interlaced);
    ASSERT_TRUE(a && b) << "height " << h;
    EXPECT_EQ(Indices(*b), rows) << "height " << h;
    EXPECT_EQ(a->pixels, b->pixels) << "height " << h;
  }
}

TEST(GifReader, LocalColourTableReplacesGlobalOne) {
  GifSpec spec = Square(2, 2, {0, 1, 2, 3}, 4);
  spec.global_table = {0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000};
  spec.local_table = {0x00FF00, 0x0000FF, 0x101010, 0x202020};
  spec.lzw.min_code_size = 2;
  auto picture = Decode(EncodeGif(spec));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->palette[0], 0x00FF00u);
  EXPECT_EQ(picture->palette[1], 0x0000FFu);
  EXPECT_EQ(picture->palette[3], 0x202020u);
  EXPECT_EQ(RenderPicture(*picture, 0).pixels,
            (std::vector<uint32_t>{0x00FF00, 0x0000FF, 0x101010, 0x202020}));
}

TEST(GifReader, WorksWithOnlyLocalColourTable) {
  GifSpec spec = Square(2, 1, {1, 0}, 2);
  spec.global_table.clear();
  spec.local_table = {0xABCDEF, 0x010203};
  spec.lzw.min_code_size = 2;
  auto picture = Decode(EncodeGif(spec));
  ASSERT_TRUE(picture);
  EXPECT_EQ(RenderPicture(*picture, 0).pixels, (std::vector<uint32_t>{0x010203, 0xABCDEF}));
}

TEST(GifReader, TransparencyIndexKeepsItsPaletteColour) {
  // Index 2 is the transparency index; its pixels show its palette colour.
  GifSpec spec = Square(3, 1, {0, 2, 1}, 4);
  spec.global_table = {0xFF0000, 0x00FF00, 0xFFFFFF, 0x000000};
  spec.transparent_index = 2;
  spec.lzw.min_code_size = 2;
  auto white = Decode(EncodeGif(spec));
  ASSERT_TRUE(white);
  EXPECT_EQ(Indices(*white), (std::vector<uint8_t>{0, 2, 1}));
  EXPECT_EQ(RenderPicture(*white, 0x00FF00FF).pixels,
            (std::vector<uint32_t>{0xFF0000, 0xFFFFFF, 0x00FF00}));

  spec.global_table[2] = 0x000000;
  auto black = Decode(EncodeGif(spec));
  ASSERT_TRUE(black);
  EXPECT_EQ(RenderPicture(*black, 0x00FFFFFF).pixels,
            (std::vector<uint32_t>{0xFF0000, 0x000000, 0x00FF00}));
}

TEST(GifReader, ImageOffsetsAreNotApplied) {
  GifSpec spec = Square(4, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  const Bytes at_origin = EncodeGif(spec);
  spec.left = 3;
  spec.top = 2;
  auto shifted = Decode(EncodeGif(spec));
  auto origin = Decode(at_origin);
  ASSERT_TRUE(shifted && origin);
  EXPECT_EQ(Indices(*shifted), spec.indices);
  EXPECT_EQ(shifted->pixels, origin->pixels);
}

TEST(GifReader, ImageSmallerThanScreenLiesTopLeftOverBackgroundIndex) {
  GifSpec spec = Square(3, 2, {1, 2, 3, 4, 5, 6});
  spec.screen_width = 6;
  spec.screen_height = 4;
  spec.background_index = 9;
  spec.left = 2;
  spec.top = 1;
  auto picture = Decode(EncodeGif(spec));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, 6);
  EXPECT_EQ(picture->height, 4);
  EXPECT_EQ(picture->image_width, 3);
  EXPECT_EQ(picture->image_height, 2);
  EXPECT_EQ(Indices(*picture), (std::vector<uint8_t>{1, 2, 3, 9, 9, 9,  //
                                                     4, 5, 6, 9, 9, 9,  //
                                                     9, 9, 9, 9, 9, 9,  //
                                                     9, 9, 9, 9, 9, 9}));
}

TEST(GifReader, ImageLargerThanScreenIsCutToTheScreen) {
  GifSpec spec = Square(4, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  spec.screen_width = 2;
  spec.screen_height = 2;
  auto picture = Decode(EncodeGif(spec));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, 2);
  EXPECT_EQ(picture->image_width, 2);
  EXPECT_EQ(picture->image_height, 2);
  EXPECT_EQ(Indices(*picture), (std::vector<uint8_t>{1, 2, 5, 6}));
}

TEST(GifReader, CodesGrowTo12BitsWithClearCodes) {
  // 256 colours of noise fill the 4096-entry table several times over.
  const int w = 160, h = 150;
  for (bool clear_when_full : {true, false}) {
    GifSpec spec = Square(w, h, Noise(w * h, 256, 3));
    spec.lzw.clear_when_full = clear_when_full;
    auto picture = Decode(EncodeGif(spec));
    ASSERT_TRUE(picture) << "clear when full: " << clear_when_full;
    EXPECT_EQ(Indices(*picture), spec.indices) << "clear when full: " << clear_when_full;
  }
}

TEST(GifReader, LongRunsMakeLongStrings) {
  // One colour: strings grow by one per code, up to thousands of indices.
  const int w = 1000, h = 700;
  GifSpec spec = Square(w, h, std::vector<uint8_t>(w * h, 7));
  auto picture = Decode(EncodeGif(spec));
  ASSERT_TRUE(picture);
  EXPECT_EQ(Indices(*picture), spec.indices);
}

TEST(GifReader, EveryMinimumCodeSize) {
  for (int size = 2; size <= 8; ++size) {
    const int colours = 1 << size;
    GifSpec spec = Square(33, 17, Noise(33 * 17, colours, size), colours);
    spec.lzw.min_code_size = size;
    auto picture = Decode(EncodeGif(spec));
    ASSERT_TRUE(picture) << "minimum code size " << size;
    EXPECT_EQ(Indices(*picture), spec.indices) << "minimum code size " << size;
  }
}

TEST(GifReader, SkipsKnownExtensionsBeforeTheImage) {
  GifSpec spec = Square(2, 2, {0, 1, 1, 0});
  spec.before_image = {
      0x21, 0xFE, 3,   'h',  'i', '!', 2,   'y', 'o', 0,                        // comment
      0x21, 0xFF, 11,  'N',  'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',  // application
      3,    1,    0,   0,    0,                                                 //
      0x21, 0x01, 12,  0,    0,   0,   0,   2,   0,   2,   0,   1,   1,   0,
      0,    2,    'a', 'b',  0,                  // plain text
      0x21, 0xF9, 4,   0x05, 10,  0,   3,   0};  // graphic control
  auto picture = Decode(EncodeGif(spec));
  ASSERT_TRUE(picture);
  EXPECT_EQ(Indices(*picture), spec.indices);
}

TEST(GifReader, ReadsOnlyTheFirstImage) {
  GifSpec first = Square(2, 2, {1, 2, 3, 4});
  GifSpec second = Square(2, 2, {9, 9, 9, 9});
  const Bytes second_bytes = EncodeGif(second);
  // The second image's descriptor and data, without its header and trailer.
  const size_t image_start = 13 + 3 * 256;
  first.after_image.assign(second_bytes.begin() + image_start, second_bytes.end() - 1);
  // Anything at all may follow the first image.
  for (Bytes tail : {first.after_image, Bytes{0x99, 0x21, 0x77, 0x2C}}) {
    first.after_image = tail;
    auto picture = Decode(EncodeGif(first));
    ASSERT_TRUE(picture);
    EXPECT_EQ(Indices(*picture), (std::vector<uint8_t>{1, 2, 3, 4}));
  }
}

TEST(GifReader, CodesBeyondAFullImageAreIgnored) {
  // A 2 x 4 stream under a descriptor (and screen) of 2 x 1.
  GifSpec spec = Square(2, 4, {1, 2, 3, 4, 5, 6, 7, 8});
  Bytes bytes = EncodeGif(spec);
  const size_t descriptor = 13 + 3 * 256;
  bytes[8] = 1;               // screen height
  bytes[descriptor + 7] = 1;  // image height
  auto picture = Decode(bytes);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->height, 1);
  EXPECT_EQ(Indices(*picture), (std::vector<uint8_t>{1, 2}));
}

// ---- data that is no picture ---------------------------------------------

Bytes Replace(Bytes bytes, size_t at, std::initializer_list<uint8_t> with) {
  for (uint8_t b : with) bytes.at(at++) = b;
  return bytes;
}

Bytes Cut(Bytes bytes, size_t length) {
  bytes.resize(length);
  return bytes;
}

struct BrokenCase {
  const char* name;
  Bytes bytes;
};

class BrokenGifTest : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenGifTest, GivesNoPicture) {
  EXPECT_FALSE(Decode(GetParam().bytes)) << GetParam().name;
}

// Offsets in kHandPackedGif: table at 13, image descriptor at 19, code size at
// 29, first sub-block size at 30, codes at 31..33, terminator 34, trailer 35.
std::vector<BrokenCase> BrokenCases() {
  const Bytes good = kHandPackedGif;
  const size_t image = 19;
  auto with_block_before_image = [&](Bytes block) {
    Bytes out = good;
    out.insert(out.begin() + image, block.begin(), block.end());
    return out;
  };
  return {
      {"ThirteenBytes", Cut(good, 13)},
      {"TableReachesEnd", Cut(good, 19)},
      {"EndsAfterABlockBeforeAnyImage",
       Cut(with_block_before_image({0x21, 0xFE, 1, 'x', 0}), image + 5)},
      {"TrailerBeforeAnyImage", Replace(good, image, {0x3B})},
      {"StrayByteWhereBlockStarts", Replace(good, image, {0x00})},
      {"UnknownExtensionLabel", with_block_before_image({0x21, 0x22, 1, 0, 0})},
      {"ExtensionWithoutTerminator", Cut(with_block_before_image({0x21, 0xFE, 5, 1, 2}), 26)},
      {"DescriptorCut", Cut(good, 25)},
      {"NoCodeSize", Cut(good, 29)},
      {"CodeSizeZero", Replace(good, 29, {0})},
      {"CodeSizeNine", Replace(good, 29, {9})},
      {"NoCodes", Cut(good, 30)},
      {"CodesCutShort", Cut(good, 32)},
      // clear, 1, end: the stream ends after one of five pixels.
      {"EndCodeTooEarly", Replace(good, 31, {0x4C, 0x05, 0x00})},
      // clear, then code 6 with no string before it.
      {"FirstCodeNotAColour", Replace(good, 31, {0x34, 0x00, 0x00})},
      // clear, 1, then code 7 although the next free code is 6.
      {"CodeBeyondTable", Replace(good, 31, {0xCC, 0x01, 0x00})},
      {"GifPrefixOnly", Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0}},
      {"ZeroSizedScreen", Replace(good, 6, {0, 0, 0, 0})},
  };
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenGifTest, ::testing::ValuesIn(BrokenCases()),
                         [](const ::testing::TestParamInfo<BrokenCase>& info) {
                           return info.param.name;
                         });

TEST(GifReader, EveryCutOfAValidFileBeforeItsLastCodeGivesNoPicture) {
  GifSpec spec = Square(20, 10, Noise(200, 256, 9));
  const Bytes bytes = EncodeGif(spec);
  ASSERT_TRUE(Decode(bytes));
  // The last sub-block byte holds the end code; everything before it is needed.
  const size_t needed = bytes.size() - 4;
  for (size_t length = 0; length < needed; ++length) {
    EXPECT_FALSE(Decode(Cut(bytes, length))) << "cut at " << length;
  }
}

TEST(GifReader, TinyDataClaimingAHugeImageGivesNoPicture) {
  // 65535 x 65535 screen and image: more pixels than any picture may have.
  Bytes bytes = Replace(kHandPackedGif, 6, {0xFF, 0xFF, 0xFF, 0xFF});
  bytes = Replace(bytes, 19 + 5, {0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_FALSE(Decode(bytes));
  // A modest screen with a huge image that the few codes cannot fill.
  bytes = Replace(kHandPackedGif, 19 + 5, {0xFF, 0x7F, 0xFF, 0x00});
  EXPECT_FALSE(Decode(bytes));
}

TEST(GifReader, ScreenSizeLimitsThePicture) {
  // A tiny image on a large screen: the picture is the size of the screen, and
  // no picture may have more than 64 Mi pixels (256 MiB once rendered).
  Bytes bytes = kHandPackedGif;
  bytes[6] = 0x00, bytes[7] = 0x20, bytes[8] = 0x00, bytes[9] = 0x20;  // 8192 x 8192
  auto picture = Decode(bytes);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->pixel_size, 8192 * 8192);
  EXPECT_EQ(picture->pixels[0], 1);
  EXPECT_EQ(picture->pixels[5], 0);  // background index outside the 5 x 1 image

  bytes[8] = 0x01;  // 8192 x 8193
  EXPECT_FALSE(Decode(bytes));
}

}  // namespace
}  // namespace gs
