// Every stored GIF decodes to its catalogue size as a still picture, and its
// first image matches what giflib makes of the same bytes.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "media/assets.h"
#include "media/picture.h"

namespace gs {
namespace {

struct Size {
  int width, height;
};

const std::map<std::string, Size, std::less<>> kCatalogueSizes = {
    {"flower_01", {147, 163}}, {"flower_02", {147, 90}},    {"flower_03", {100, 77}},
    {"flower_04", {115, 115}}, {"flower_05", {125, 135}},   {"flower_06", {147, 131}},
    {"flower_07", {130, 129}}, {"flower_08", {147, 110}},   {"flower_09", {147, 125}},
    {"flower_10", {147, 139}}, {"flower_11", {147, 102}},   {"flower_12", {147, 98}},
    {"flower_13", {147, 142}}, {"flower_14", {147, 134}},   {"flower_15", {147, 124}},
    {"card_1", {400, 400}},    {"card_2", {400, 400}},      {"card_3", {400, 400}},
    {"card_4", {400, 400}},    {"centrepiece", {1010, 737}}};

struct Reader {
  const uint8_t* data;
  size_t left;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int wanted) {
  auto* reader = static_cast<Reader*>(gif->UserData);
  const size_t n = std::min<size_t>(static_cast<size_t>(wanted), reader->left);
  std::memcpy(out, reader->data, n);
  reader->data += n;
  reader->left -= n;
  return static_cast<int>(n);
}

TEST(StoredPictures, EveryGifDecodesToItsCatalogueSize) {
  int gifs = 0;
  for (const assets::AssetEntry& asset : assets::kCatalogue) {
    if (asset.extension != "gif") continue;
    ++gifs;
    SCOPED_TRACE(std::string(asset.name));
    const auto size = kCatalogueSizes.find(asset.name);
    ASSERT_NE(size, kCatalogueSizes.end());
    const PictureHandle handle = LoadPicture(asset.block);
    ASSERT_NE(handle, 0);
    const Picture* picture = RegisteredPicture(handle);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->kind, PictureKind::kGif);
    EXPECT_EQ(picture->width, size->second.width);
    EXPECT_EQ(picture->height, size->second.height);
    const Image image = RenderPicture(*picture, 0xFFFFFF);
    EXPECT_EQ(image.width, size->second.width);
    EXPECT_EQ(image.pixels.size(), size_t(size->second.width) * size->second.height);
  }
  EXPECT_EQ(gifs, 20);
}

TEST(StoredPictures, FirstImageMatchesGiflib) {
  for (const assets::AssetEntry& asset : assets::kCatalogue) {
    if (asset.extension != "gif") continue;
    SCOPED_TRACE(std::string(asset.name));
    Reader reader{asset.block->bytes(), static_cast<size_t>(asset.block->length)};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, ReadFromMemory, &error);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    ASSERT_GE(gif->ImageCount, 1);
    const SavedImage& first = gif->SavedImages[0];
    const ColorMapObject* map =
        first.ImageDesc.ColorMap ? first.ImageDesc.ColorMap : gif->SColorMap;

    const auto picture = DecodePictureBytes(asset.block->bytes(), asset.block->length);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, gif->SWidth);
    EXPECT_EQ(picture->height, gif->SHeight);
    const int iw = first.ImageDesc.Width;
    const int w = std::min(iw, picture->width);
    const int h = std::min(first.ImageDesc.Height, picture->height);
    int mismatches = 0;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        mismatches += picture->pixels[y * picture->stride + x] != first.RasterBits[y * iw + x];
      }
    }
    EXPECT_EQ(mismatches, 0);
    ASSERT_NE(map, nullptr);
    for (int i = 0; i < map->ColorCount; ++i) {
      const GifColorType& c = map->Colors[i];
      EXPECT_EQ(picture->palette[i], (uint32_t{c.Red} << 16) | (uint32_t{c.Green} << 8) | c.Blue);
    }
    DGifCloseFile(gif, &error);
  }
}

TEST(StoredPictures, CardTwoIsAStillOfItsFirstImage) {
  const Picture* picture = RegisteredPicture(LoadPicture(&assets::card_2));
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->kind, PictureKind::kGif);
  EXPECT_EQ(picture->width, 400);
  EXPECT_EQ(picture->height, 400);
  EXPECT_EQ(picture->image_width, 400);
  EXPECT_EQ(picture->image_height, 400);
}

TEST(StoredPictures, TenLoadsOfOneFlowerGiveTenHandlesOfTheSamePicture) {
  std::set<PictureHandle> handles;
  for (int i = 0; i < 10; ++i) handles.insert(LoadPicture(&assets::flower_01));
  EXPECT_EQ(handles.size(), 10u);
  EXPECT_EQ(handles.count(0), 0u);
  const Image first = RenderPicture(*RegisteredPicture(*handles.begin()), 0xFFFFFF);
  for (PictureHandle handle : handles) {
    EXPECT_EQ(RenderPicture(*RegisteredPicture(handle), 0xFFFFFF).pixels, first.pixels);
  }
}

}  // namespace
}  // namespace gs
