// PCX reader: run-length encoded, one plane of 8 bits (palette indices with the
// 256-colour palette at the end of the data) or of 1 bit (black and white).
#include <algorithm>

#include "media/picture_readers.h"

namespace gs::picture_readers {
namespace {

constexpr int64_t kHeaderSize = 128;
constexpr int64_t kPaletteBlockSize = 769;  // the 0x0C marker and 256 R, G, B triples
constexpr uint8_t kPaletteMarker = 0x0C;

// Run-length decoder over data[pos, end). Runs may carry on from one scan line
// into the next.
class RunReader {
 public:
  RunReader(const uint8_t* data, int64_t pos, int64_t end) : data_(data), pos_(pos), end_(end) {}

  // Fills `line` with `count` decoded bytes; false when the data runs out first.
  bool ReadLine(uint8_t* line, int64_t count) {
    int64_t done = 0;
    while (done < count) {
      if (run_left_ == 0) {
        if (pos_ >= end_) return false;
        const uint8_t b = data_[pos_++];
        if ((b & 0xC0) == 0xC0) {
          if (pos_ >= end_) return false;
          run_left_ = b & 0x3F;
          run_value_ = data_[pos_++];
          continue;  // a run of 0 writes nothing
        }
        run_left_ = 1;
        run_value_ = b;
      }
      const int64_t take = std::min<int64_t>(run_left_, count - done);
      std::fill_n(line + done, take, run_value_);
      done += take;
      run_left_ -= static_cast<int>(take);
    }
    return true;
  }

 private:
  const uint8_t* data_;
  int64_t pos_;
  int64_t end_;
  int run_left_ = 0;
  uint8_t run_value_ = 0;
};

}  // namespace

std::unique_ptr<Picture> ReadPcx(const uint8_t* data, int64_t length) {
  if (data == nullptr || length < kHeaderSize || data[0] != 0x0A || data[2] != 1) return nullptr;
  const int bits = data[3];
  const int planes = data[65];
  if ((bits != 8 && bits != 1) || planes != 1) return nullptr;
  const int64_t x_min = Le16(data + 4);
  const int64_t y_min = Le16(data + 6);
  const int64_t x_max = Le16(data + 8);
  const int64_t y_max = Le16(data + 10);
  const int64_t bytes_per_line = Le16(data + 66);
  if (x_max < x_min || y_max < y_min) return nullptr;
  const int64_t width = x_max - x_min + 1;
  const int64_t height = y_max - y_min + 1;
  if (bytes_per_line < (width * bits + 7) / 8) return nullptr;

  int64_t data_end = length;
  auto picture = std::make_unique<Picture>();
  if (bits == 8) {
    data_end = length - kPaletteBlockSize;
    if (data_end < kHeaderSize || data[data_end] != kPaletteMarker) return nullptr;
    const uint8_t* p = data + data_end + 1;
    for (int i = 0; i < 256; ++i, p += 3) {
      picture->palette[i] = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | uint32_t{p[2]};
    }
  }
  const int64_t stride = (width + 3) & ~int64_t{3};
  if (!SizeFits(width, height)) return nullptr;
  // Each two bytes of data give at most 63 decoded bytes; refuse before
  // allocating when the data cannot fill the picture.
  if (bytes_per_line * height > (data_end - kHeaderSize + 1) / 2 * 63) return nullptr;

  picture->kind = bits == 8 ? PictureKind::kPcx8 : PictureKind::kPcx1;
  picture->width = static_cast<int32_t>(width);
  picture->height = static_cast<int32_t>(height);
  picture->stride = static_cast<int32_t>(stride);
  picture->pixel_size = static_cast<int32_t>(stride * height);
  picture->pixels.assign(picture->pixel_size, 0);

  RunReader runs(data, kHeaderSize, data_end);
  std::vector<uint8_t> line(bytes_per_line);
  for (int64_t y = 0; y < height; ++y) {
    if (!runs.ReadLine(line.data(), bytes_per_line)) return nullptr;
    uint8_t* dst = picture->pixels.data() + y * stride;
    if (bits == 8) {
      std::copy_n(line.data(), width, dst);
    } else {
      for (int64_t x = 0; x < width; ++x) dst[x] = (line[x >> 3] >> (7 - (x & 7))) & 1;
    }
  }
  return picture;
}

}  // namespace gs::picture_readers
