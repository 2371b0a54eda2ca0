// The icon and cursor reader: the best image of the directory, BMP-style with
// its AND mask or embedded PNG, rendered over the background colour.
#include <gtest/gtest.h>

#include "media/picture.h"
#include "tests/pictures/picture_fixtures.h"

namespace gs {
namespace {

using test::Bytes;
using test::IconBitmapSpec;
using test::IconEntry;
using test::WriteIconFile;

std::unique_ptr<Picture> Decode(const Bytes& bytes) {
  return DecodePictureBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// A square icon image of one colour; (0,0) is masked out.
IconBitmapSpec Plain(int size, int bits, uint32_t colour) {
  IconBitmapSpec spec;
  spec.width = spec.height = size;
  spec.bits = bits;
  if (bits <= 8) {
    spec.table.assign(size_t{1} << bits, 0);
    spec.table[1] = colour;
    spec.pixels.assign(size * size, 1);
  } else {
    spec.pixels.assign(size * size, (bits == 32 ? 0xFF000000u : 0) | colour);
    if (bits == 32) spec.pixels[0] = colour;  // alpha 0 where the mask is set
  }
  spec.mask.assign(size * size, 0);
  spec.mask[0] = 1;
  return spec;
}

IconEntry Entry(const IconBitmapSpec& spec) {
  return IconEntry{spec.width, spec.height, spec.bits, WriteIconBitmap(spec)};
}

TEST(IconReader, PicksTheLargestImageThenTheDeepest) {
  const Bytes file =
      WriteIconFile(1, {Entry(Plain(16, 8, 0x111111)), Entry(Plain(32, 4, 0x222222)),
                        Entry(Plain(32, 24, 0x333333)), Entry(Plain(24, 32, 0x444444))});
  auto picture = Decode(file);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->kind, PictureKind::kIcon);
  EXPECT_EQ(picture->width, 32);
  EXPECT_EQ(picture->height, 32);
  EXPECT_EQ(picture->stride, 32 * 4);
  EXPECT_TRUE(picture->pixels.empty());
  ASSERT_EQ(picture->icon.size(), 32u * 32 * 4);
  EXPECT_EQ(RenderPicture(*picture, 0).pixels[5], 0x333333u);
}

TEST(IconReader, EveryDepthWithItsMask) {
  for (int bits : {1, 4, 8, 24, 32}) {
    auto picture = Decode(WriteIconFile(1, {Entry(Plain(20, bits, 0x3366CC))}));
    ASSERT_TRUE(picture) << bits;
    const std::vector<uint8_t>& rgba = picture->icon;
    EXPECT_EQ(rgba[3], 0) << bits << " bits: masked pixel";
    EXPECT_EQ((std::vector<uint8_t>(rgba.begin() + 4, rgba.begin() + 8)),
              (std::vector<uint8_t>{0x33, 0x66, 0xCC, 255}))
        << bits;
    // The masked pixel shows the background (0x00BBGGRR: red here).
    const Image image = RenderPicture(*picture, 0x000000FF);
    EXPECT_EQ(image.pixels[0], 0xFF0000u) << bits;
    EXPECT_EQ(image.pixels[1], 0x3366CCu) << bits;
  }
}

TEST(IconReader, ThirtyTwoBitsUseTheirOwnAlpha) {
  IconBitmapSpec spec = Plain(2, 32, 0);
  spec.pixels = {0x80FF0000, 0x00FFFFFF, 0xFF00FF00, 0x330000FF};
  spec.mask.clear();
  spec.with_mask = false;
  auto picture = Decode(WriteIconFile(1, {Entry(spec)}));
  ASSERT_TRUE(picture);
  // Rows are stored bottom first; the picture is top first as given.
  EXPECT_EQ(picture->icon, (std::vector<uint8_t>{255, 0, 0, 0x80, 255, 255, 255, 0,  //
                                                 0, 255, 0, 255, 0, 0, 255, 0x33}));
}

TEST(IconReader, ThirtyTwoBitsWithoutAlphaFallBackToTheMask) {
  IconBitmapSpec spec = Plain(2, 32, 0x00ABCDEF);
  spec.pixels.assign(4, 0x00ABCDEF);
  auto picture = Decode(WriteIconFile(1, {Entry(spec)}));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->icon[3], 0);
  EXPECT_EQ(picture->icon[7], 255);
}

TEST(IconReader, PngImageInsideAnIcon) {
  const std::vector<uint8_t> rgba = {10, 20, 30, 255, 255, 255, 255, 0,  //
                                     0,  0,  0,  51,  200, 100, 50,  255};
  const Bytes file = WriteIconFile(
      1, {Entry(Plain(1, 32, 0xFFFFFF)), IconEntry{2, 2, 32, test::EncodePng(2, 2, rgba)}});
  auto picture = Decode(file);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, 2);
  EXPECT_EQ(picture->icon, rgba);
  EXPECT_EQ(RenderPicture(*picture, 0x00FFFFFF).pixels,
            (std::vector<uint32_t>{0x0A141E, 0xFFFFFF, 0xCCCCCC, 0xC86432}));
}

TEST(IconReader, PngAndBitmapImagesCompareBySize) {
  const Bytes small_png = test::EncodePng(2, 2, std::vector<uint8_t>(16, 200));
  const Bytes large_png = test::EncodePng(8, 8, std::vector<uint8_t>(256, 200));
  auto bitmap_wins =
      Decode(WriteIconFile(1, {IconEntry{2, 2, 32, small_png}, Entry(Plain(4, 8, 1))}));
  ASSERT_TRUE(bitmap_wins);
  EXPECT_EQ(bitmap_wins->width, 4);
  auto png_wins = Decode(WriteIconFile(1, {Entry(Plain(4, 8, 1)), IconEntry{8, 8, 32, large_png}}));
  ASSERT_TRUE(png_wins);
  EXPECT_EQ(png_wins->width, 8);
}

TEST(IconReader, CursorIsKindFour) {
  auto picture = Decode(WriteIconFile(2, {Entry(Plain(8, 24, 0x010203))}));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->kind, PictureKind::kCursor);
  EXPECT_EQ(picture->width, 8);
}

TEST(IconReader, BrokenBestImageFallsBackToTheNextOne) {
  IconEntry broken = Entry(Plain(64, 32, 0x111111));
  broken.image.resize(60);  // header claims 64 x 64 but the rows are missing
  auto picture = Decode(WriteIconFile(1, {broken, Entry(Plain(16, 8, 0x222222))}));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, 16);
}

TEST(IconReader, PngEntryClaimingAnEnormousSizeIsPassedOver) {
  // The IHDR of a real 1 x 1 PNG patched to 0xFFFFFF00 x 0xFFFFFFFF: its area
  // must not overflow, and the entry cannot be decoded, so the other one wins.
  Bytes png = test::EncodePng(1, 1, {1, 2, 3, 255});
  for (size_t i = 16; i < 24; ++i) png[i] = 0xFF;
  png[19] = 0x00;
  auto picture =
      Decode(WriteIconFile(1, {IconEntry{0, 0, 32, png}, Entry(Plain(16, 8, 0x222222))}));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, 16);
}

TEST(IconReader, BrokenFilesGiveNoPicture) {
  const Bytes good = WriteIconFile(1, {Entry(Plain(16, 8, 0x222222))});
  ASSERT_TRUE(Decode(good));
  Bytes entry_past_end = good;
  test::SetLe32(entry_past_end, 6 + 12, 100000);
  EXPECT_FALSE(Decode(entry_past_end));
  Bytes size_past_end = good;
  test::SetLe32(size_past_end, 6 + 8, 0xFFFFFFF0u);
  EXPECT_FALSE(Decode(size_past_end));
  Bytes many_entries = good;
  many_entries[4] = 0xFF;  // 255 directory entries do not fit
  EXPECT_FALSE(Decode(many_entries));
  EXPECT_FALSE(Decode(Bytes(good.begin(), good.begin() + 30)));
  IconBitmapSpec compressed = Plain(4, 8, 1);
  Bytes compressed_file = WriteIconFile(1, {Entry(compressed)});
  test::SetLe32(compressed_file, 22 + 16, 1);
  EXPECT_FALSE(Decode(compressed_file));
  IconBitmapSpec sixteen = Plain(4, 24, 1);
  Bytes sixteen_file = WriteIconFile(1, {Entry(sixteen)});
  sixteen_file[22 + 14] = 16;
  EXPECT_FALSE(Decode(sixteen_file));
  Bytes huge = good;
  test::SetLe32(huge, 22 + 4, 30000);
  test::SetLe32(huge, 22 + 8, 60000);
  EXPECT_FALSE(Decode(huge));
}

}  // namespace
}  // namespace gs
