// Decoded pictures, picture handles and the registry of loaded pictures.
// Pure code: no window-system calls here.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/byte_block.h"

namespace gs {

enum class PictureKind : int32_t {
  kNone = 0,
  kJpeg = 1,
  kBmp = 2,
  kIcon = 3,
  kCursor = 4,
  kGif = 5,
  kPcx8 = 6,
  kPcx1 = 7,
  kPng = 8,
};

// One decoded picture.
//  kJpeg, kBmp: pixels are 24-bit colour, 3 bytes per pixel (R, G, B), rows top to bottom,
//               stride = width * 3.
//  kGif, kPcx8: pixels are 8-bit palette indices, rows padded to a multiple of 4 bytes;
//               `palette` holds 256 colours as 0x00RRGGBB. For GIF the first image lies at the
//               top-left; image_width x image_height is the part of it inside the picture, and
//               the rest of the picture holds the logical screen's background index.
//  kPcx1:       pixels are 8-bit, 0 = black, 1 = white, stride padded to 4.
//  kPng:        pixels are 32-bit, 4 bytes per pixel (R, G, B, A), stride = width * 4.
//  kIcon, kCursor: `icon` holds the chosen image as 4 bytes per pixel (R, G, B, A); pixels empty.
struct Picture {
  PictureKind kind = PictureKind::kNone;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> icon;  // kinds 3 and 4 only
  std::vector<uint8_t> pixels;
  int32_t pixel_size = 0;  // bytes in `pixels`
  int32_t stride = 0;      // bytes per row of `pixels` (or of `icon` for kinds 3, 4)
  std::array<uint32_t, 256> palette{};
  int32_t image_width = 0;  // GIF: size of the first image (at 0,0), cut to the picture
  int32_t image_height = 0;
};

// A colour image, 0x00RRGGBB per pixel, rows top to bottom, no padding.
struct Image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
};

using PictureHandle = int32_t;

// Reads at most the first 8 bytes; fewer than 8 available gives 0.
int32_t DetectPictureFormat(const uint8_t* data, int64_t available);

// Decodes bytes into a picture, or gives none.
std::unique_ptr<Picture> DecodePictureBytes(const uint8_t* data, int64_t length);

// `background` is a colour value 0x00BBGGRR, used for kinds with alpha.
Image RenderPicture(const Picture& picture, uint32_t background);

// Decodes and registers; 0 when there is no picture.
PictureHandle LoadPicture(const ByteBlock* bytes);
PictureHandle LoadPicture(const std::string& file_name);

bool IsRegisteredPicture(PictureHandle handle);

// The registered picture behind a handle, or null. Pictures live until the process ends.
const Picture* RegisteredPicture(PictureHandle handle);

// Number of registered pictures (for tests and reports).
int32_t RegisteredPictureCount();

}  // namespace gs
