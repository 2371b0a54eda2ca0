// PNG reader through libpng's simplified interface, from memory, into 8-bit
// R, G, B, A. libpng reports every failure through its result, never by
// ending the process.
#include <png.h>

#include "media/picture_readers.h"

namespace gs::picture_readers {

bool DecodePngRgba(const uint8_t* data, int64_t length, RgbaImage& out) {
  if (data == nullptr || length <= 0) return false;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, static_cast<size_t>(length))) {
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_RGBA;
  // Deflate packs at most 1032 bytes into one and a 1-bit pixel becomes 4
  // bytes here, so data this short cannot hold the picture it claims: refuse
  // before allocating for it.
  const int64_t rgba_bytes = int64_t{image.width} * 4 * image.height;
  if (!SizeFits(image.width, image.height) || rgba_bytes > length * 1032 * 32 + 65536) {
    png_image_free(&image);
    return false;
  }
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  png_image_free(&image);
  out.width = static_cast<int32_t>(image.width);
  out.height = static_cast<int32_t>(image.height);
  out.rgba = std::move(rgba);
  return true;
}

std::unique_ptr<Picture> ReadPng(const uint8_t* data, int64_t length) {
  RgbaImage image;
  if (!DecodePngRgba(data, length, image)) return nullptr;
  auto picture = std::make_unique<Picture>();
  picture->kind = PictureKind::kPng;
  picture->width = image.width;
  picture->height = image.height;
  picture->stride = image.width * 4;
  picture->pixel_size = static_cast<int32_t>(image.rgba.size());
  picture->pixels = std::move(image.rgba);
  return picture;
}

}  // namespace gs::picture_readers
