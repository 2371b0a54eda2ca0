// PNG and JPEG through their libraries; PNG alpha rendered over the
// background colour.
#include <gtest/gtest.h>

#include <cstdlib>

#include "media/picture.h"
#include "tests/pictures/picture_fixtures.h"

namespace gs {
namespace {

using test::Bytes;

std::unique_ptr<Picture> Decode(const Bytes& bytes) {
  return DecodePictureBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
}

TEST(PngReader, DecodesToRgbaAndBlendsOverTheBackground) {
  // Alpha 255, 0, 51 (one fifth) and 204 (four fifths): exact results.
  const std::vector<uint8_t> rgba = {200, 100, 50, 255, 200, 100, 50,  0,  //
                                     200, 100, 50, 51,  0,   255, 100, 204};
  auto picture = Decode(test::EncodePng(2, 2, rgba));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->kind, PictureKind::kPng);
  EXPECT_EQ(picture->width, 2);
  EXPECT_EQ(picture->height, 2);
  EXPECT_EQ(picture->stride, 8);
  EXPECT_EQ(picture->pixel_size, 16);
  EXPECT_EQ(picture->pixels, rgba);

  // White: 0.2 * 200 + 0.8 * 255 = 244; 0.8 * 0 + 0.2 * 255 = 51 ...
  EXPECT_EQ(RenderPicture(*picture, 0x00FFFFFF).pixels,
            (std::vector<uint32_t>{0xC86432, 0xFFFFFF, 0xF4E0D6, 0x33FF83}));
  EXPECT_EQ(RenderPicture(*picture, 0x00000000).pixels,
            (std::vector<uint32_t>{0xC86432, 0x000000, 0x28140A, 0x00CC50}));
  // The background is 0x00BBGGRR: 0x000000FF is red.
  EXPECT_EQ(RenderPicture(*picture, 0x000000FF).pixels[1], 0xFF0000u);
  EXPECT_EQ(RenderPicture(*picture, 0x00FF0000).pixels[1], 0x0000FFu);
}

TEST(PngReader, BrokenDataGivesNoPicture) {
  const Bytes good = test::EncodePng(8, 8, std::vector<uint8_t>(8 * 8 * 4, 90));
  ASSERT_TRUE(Decode(good));
  EXPECT_FALSE(Decode(Bytes(good.begin(), good.begin() + good.size() / 2)));
  Bytes bad_crc = good;
  bad_crc[30] ^= 0xFF;  // inside IHDR
  EXPECT_FALSE(Decode(bad_crc));
  EXPECT_FALSE(Decode(Bytes(good.begin(), good.begin() + 8)));
}

TEST(JpegReader, DecodesToRgb) {
  const int w = 16, h = 8;
  std::vector<uint8_t> rgb;
  for (int i = 0; i < w * h; ++i) rgb.insert(rgb.end(), {200, 40, 90});
  auto picture = Decode(test::EncodeJpeg(w, h, rgb, 95));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->kind, PictureKind::kJpeg);
  EXPECT_EQ(picture->width, w);
  EXPECT_EQ(picture->height, h);
  EXPECT_EQ(picture->stride, w * 3);
  ASSERT_EQ(picture->pixels.size(), rgb.size());
  for (size_t i = 0; i < rgb.size(); ++i) {
    EXPECT_NEAR(picture->pixels[i], rgb[i], 4) << i;  // lossy
  }
}

TEST(JpegReader, BrokenDataGivesNoPicture) {
  std::vector<uint8_t> rgb(64 * 64 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 31);
  const Bytes good = test::EncodeJpeg(64, 64, rgb, 80);
  ASSERT_TRUE(Decode(good));
  EXPECT_FALSE(Decode(Bytes(good.begin(), good.begin() + good.size() / 2)));
  EXPECT_FALSE(Decode(Bytes(good.begin(), good.begin() + 20)));
  Bytes not_jpeg = {0xFF, 0xD8, 'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'};
  EXPECT_FALSE(Decode(not_jpeg));
}

}  // namespace
}  // namespace gs
