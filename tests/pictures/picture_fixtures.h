// Small encoders that build picture files byte by byte for the decoder tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gs::test {

using Bytes = std::vector<uint8_t>;

void PutLe16(Bytes& out, uint32_t value);
void PutLe32(Bytes& out, uint32_t value);
void SetLe32(Bytes& out, size_t at, uint32_t value);

// ---- GIF -----------------------------------------------------------------

struct LzwOptions {
  int min_code_size = 8;
  // When the code table is full: emit a clear code and start over (true), or
  // keep going with the full table and no new entries (false).
  bool clear_when_full = true;
};

// The LZW code stream (no sub-blocks), codes packed least significant bit first.
Bytes EncodeLzw(const std::vector<uint8_t>& indices, const LzwOptions& options);

// Splits a code stream into data sub-blocks, with the terminating empty block.
Bytes ToSubBlocks(const Bytes& stream);

struct GifSpec {
  std::string version = "89a";
  int screen_width = 4;
  int screen_height = 4;
  uint8_t background_index = 0;
  std::vector<uint32_t> global_table;  // 0xRRGGBB; empty: no global table
  std::vector<uint32_t> local_table;   // empty: no local table
  int left = 0;
  int top = 0;
  int width = 4;
  int height = 4;
  bool interlaced = false;
  std::vector<uint8_t> indices;  // width * height, rows top to bottom
  int transparent_index = -1;    // >= 0 adds a graphic control block
  LzwOptions lzw;
  Bytes before_image;  // raw blocks written before the image descriptor
  Bytes after_image;   // raw blocks written after the first image, before the trailer
};

Bytes EncodeGif(const GifSpec& spec);

// The 6-byte GIF block of a graphic control extension.
Bytes GraphicControlBlock(int transparent_index);

// ---- BMP -----------------------------------------------------------------

struct BmpSpec {
  int width = 1;
  int height = 1;  // negative: rows stored top row first
  int bits = 24;
  std::vector<uint32_t> table;   // 0xRRGGBB colour table for 1, 4 and 8 bits
  std::vector<uint32_t> pixels;  // rows top to bottom: indices, or 0xRRGGBB for 24 and 32 bits
  uint32_t colours_used = 0;
  uint32_t compression = 0;
  uint32_t info_size = 40;
  int64_t rows_offset = -1;  // -1: right after the colour table
  uint8_t padding_byte = 0;  // value written into row padding and the 4th byte of 32-bit pixels
};

Bytes WriteBmp(const BmpSpec& spec);

// ---- PCX -----------------------------------------------------------------

struct PcxSpec {
  int bits = 8;  // 8 or 1
  int width = 1;
  int height = 1;
  int bytes_per_line = 0;  // 0: the least that holds a row, rounded up to even
  int version = 5;
  std::vector<uint8_t> pixels;    // width * height: indices, or 0/1 for 1 bit
  std::vector<uint32_t> palette;  // 8 bits only: up to 256 colours 0xRRGGBB
  bool with_palette = true;
  bool runs_across_lines = false;  // let runs carry on into the next scan line
};

Bytes WritePcx(const PcxSpec& spec);

// ---- PNG, JPEG -----------------------------------------------------------

Bytes EncodePng(int width, int height, const std::vector<uint8_t>& rgba);
Bytes EncodeJpeg(int width, int height, const std::vector<uint8_t>& rgb, int quality);

// ---- icons and cursors ---------------------------------------------------

// A BMP-style icon image: information header (height doubled), colour table,
// colour rows and AND mask, bottom row first. `pixels` holds indices for 1, 4
// and 8 bits, 0xAARRGGBB for 32 bits and 0xRRGGBB for 24 bits; `mask` holds 1
// for transparent pixels (empty: all opaque). `with_mask` false leaves the mask out.
struct IconBitmapSpec {
  int width = 1;
  int height = 1;
  int bits = 32;
  std::vector<uint32_t> table;
  std::vector<uint32_t> pixels;
  std::vector<uint8_t> mask;
  bool with_mask = true;
};

Bytes WriteIconBitmap(const IconBitmapSpec& spec);

struct IconEntry {
  int width = 0;  // as the directory states it
  int height = 0;
  int bits = 0;
  Bytes image;  // BMP-style image or PNG data
};

// type 1: icon, 2: cursor.
Bytes WriteIconFile(int type, const std::vector<IconEntry>& entries);

}  // namespace gs::test
