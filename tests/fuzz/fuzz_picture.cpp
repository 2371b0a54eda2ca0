// One libFuzzer target per picture reader; the build picks the reader with
// GS_FUZZ_GIF, GS_FUZZ_BMP, GS_FUZZ_PCX or GS_FUZZ_ICON. Every input goes
// straight to that reader (no signature needed), then any picture it gives
// is checked for consistency and rendered.
#include <cstdint>
#include <cstdlib>

#include "media/picture.h"
#include "media/picture_readers.h"

namespace {

std::unique_ptr<gs::Picture> Read(const uint8_t* data, int64_t size) {
  using namespace gs::picture_readers;
#if defined(GS_FUZZ_GIF)
  return ReadGif(data, size);
#elif defined(GS_FUZZ_BMP)
  return ReadBmp(data, size);
#elif defined(GS_FUZZ_PCX)
  return ReadPcx(data, size);
#elif defined(GS_FUZZ_ICON)
  const bool cursor = size >= 4 && data[2] == 2;
  return ReadIconFile(data, size, cursor ? gs::PictureKind::kCursor : gs::PictureKind::kIcon);
#else
#error "choose a reader"
#endif
}

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#if defined(GS_FUZZ_GIF)
  // A GIF's picture is as large as its logical screen whatever the image, so a
  // few header bytes can ask for up to 64 Mi pixels. Such inputs decode
  // correctly but slowly (the unit tests cover the size limit); leaving them
  // out keeps the fuzzer on the block and code-stream parsing.
  if (size >= 10 &&
      int64_t{gs::picture_readers::Le16(data + 6)} * gs::picture_readers::Le16(data + 8) >
          (int64_t{1} << 22)) {
    return 0;
  }
#endif
  std::unique_ptr<gs::Picture> picture = Read(data, static_cast<int64_t>(size));
  // The same data through the public entry point gives a picture exactly when
  // its signature leads to this reader, so only compare when both give one.
  std::unique_ptr<gs::Picture> again = gs::DecodePictureBytes(data, static_cast<int64_t>(size));
  if (again && picture) Check(again->pixels == picture->pixels && again->icon == picture->icon);
  if (!picture) return 0;

  const int64_t w = picture->width;
  const int64_t h = picture->height;
  Check(w > 0 && h > 0 && w * h <= gs::picture_readers::kMaxPixels);
  Check(int64_t{picture->pixel_size} == static_cast<int64_t>(picture->pixels.size()));
  Check(static_cast<int64_t>(picture->pixels.size() + picture->icon.size()) <=
        gs::picture_readers::kMaxPixelBytes);
  const std::vector<uint8_t>& block = picture->icon.empty() ? picture->pixels : picture->icon;
  Check(int64_t{picture->stride} * h <= static_cast<int64_t>(block.size()));

  const gs::Image image = gs::RenderPicture(*picture, 0x00FFFFFF);
  Check(image.width == w && image.height == h);
  Check(static_cast<int64_t>(image.pixels.size()) == w * h);
  for (uint32_t pixel : image.pixels) Check(pixel <= 0xFFFFFF);
  return 0;
}
