// BMP reader: uncompressed 1, 4, 8, 24 and 32 bits per pixel, into 24-bit
// R, G, B rows top to bottom.
#include <algorithm>
#include <array>
#include <cstdlib>

#include "media/picture_readers.h"

namespace gs::picture_readers {
namespace {

constexpr int64_t kFileHeaderSize = 14;
constexpr int64_t kInfoHeaderSize = 40;

struct Rgb {
  uint8_t r, g, b;
};

void ConvertBgr24Row(const uint8_t* src, uint8_t* dst, int64_t width) {
  for (int64_t x = 0; x < width; ++x) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
    src += 3;
    dst += 3;
  }
}

void ConvertBgrx32Row(const uint8_t* src, uint8_t* dst, int64_t width) {
  for (int64_t x = 0; x < width; ++x) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
    src += 4;
    dst += 3;
  }
}

// Rows of 1, 4 or 8 bits per pixel, leftmost pixel in the high bits.
void ConvertIndexedRow(const uint8_t* src, uint8_t* dst, int64_t width, int bits,
                       const std::array<Rgb, 256>& colours) {
  const int per_byte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  for (int64_t x = 0; x < width; ++x) {
    const int shift = 8 - bits * (1 + static_cast<int>(x % per_byte));
    const Rgb c = colours[(src[x / per_byte] >> shift) & mask];
    dst[0] = c.r;
    dst[1] = c.g;
    dst[2] = c.b;
    dst += 3;
  }
}

}  // namespace

std::unique_ptr<Picture> ReadBmp(const uint8_t* data, int64_t length) {
  if (data == nullptr || length < kFileHeaderSize + kInfoHeaderSize) return nullptr;
  if (data[0] != 'B' || data[1] != 'M') return nullptr;
  const int64_t rows_offset = Le32(data + 10);
  // Later versions of the information header only add fields after the first 40 bytes.
  const int64_t info_size = Le32(data + 14);
  if (info_size < kInfoHeaderSize || kFileHeaderSize + info_size > length) return nullptr;
  const int64_t raw_height = Le32Signed(data + 22);
  const int64_t width = std::abs(int64_t{Le32Signed(data + 18)});
  // Width and height count without sign. A negative height marks rows stored
  // top row first, the other way round from the usual bottom-up order.
  const int64_t height = std::abs(raw_height);
  const bool top_down = raw_height < 0;
  const int bits = Le16(data + 28);
  const uint32_t compression = Le32(data + 30);
  const uint32_t colours_used = Le32(data + 46);
  if (compression != 0) return nullptr;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return nullptr;

  const int64_t table_pos = kFileHeaderSize + info_size;
  int64_t table_entries = 0;
  if (bits <= 8) table_entries = colours_used != 0 ? colours_used : (int64_t{1} << bits);
  const int64_t table_end = table_pos + 4 * table_entries;
  if (table_end > length || rows_offset < table_end) return nullptr;

  if (!SizeFits(width, height)) return nullptr;
  const int64_t src_stride = (width * bits + 31) / 32 * 4;
  const int64_t last_row_bytes = (width * bits + 7) / 8;
  if (rows_offset + src_stride * (height - 1) + last_row_bytes > length) return nullptr;

  std::array<Rgb, 256> colours{};
  for (int64_t i = 0; i < std::min<int64_t>(table_entries, 256); ++i) {
    const uint8_t* entry = data + table_pos + 4 * i;
    colours[i] = Rgb{entry[2], entry[1], entry[0]};
  }

  auto picture = std::make_unique<Picture>();
  picture->kind = PictureKind::kBmp;
  picture->width = static_cast<int32_t>(width);
  picture->height = static_cast<int32_t>(height);
  picture->stride = static_cast<int32_t>(width * 3);
  picture->pixel_size = static_cast<int32_t>(width * 3 * height);
  picture->pixels.resize(picture->pixel_size);
  uint8_t* out = picture->pixels.data();
  for (int64_t y = 0; y < height; ++y) {
    const int64_t file_row = top_down ? y : height - 1 - y;
    const uint8_t* src = data + rows_offset + file_row * src_stride;
    uint8_t* dst = out + y * picture->stride;
    if (bits == 24) {
      ConvertBgr24Row(src, dst, width);
    } else if (bits == 32) {
      ConvertBgrx32Row(src, dst, width);
    } else {
      ConvertIndexedRow(src, dst, width, bits, colours);
    }
  }
  return picture;
}

}  // namespace gs::picture_readers
