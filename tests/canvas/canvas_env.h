// The private desktop the canvas and capture tests draw on, and helpers to
// make pictures, read the screen back and compare.
//
// One desktop for the whole executable: 1920x1080 with a 40-pixel strip at
// the bottom, a foreign top-level window on it (for window captures), and the
// main window loaded and shown maximised. The created event does what the show
// does first: it stretches the window and the canvas over the screen, gives
// the canvas a background and captures the screen while the window is hidden.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "media/byte_block.h"
#include "media/picture.h"

namespace gs::test {

constexpr int kScreenW = 1920;
constexpr int kScreenH = 1080;
// The work area the main window is maximised to.
constexpr int kWorkH = 1040;

struct CanvasWorld {
  Display* probe = nullptr;  // a second connection, for reading the screen
  // The whole screen as it was just before the main window was loaded.
  std::vector<uint32_t> desktop_before_load;
  // What the created event saw and captured while the window was still hidden.
  bool window_mapped_in_created = true;
  OwnedByteBlock capture_in_created;
  // The background the created event gave the canvas.
  Image created_background;
  // A foreign, managed top-level window and the frame the window manager gave it.
  Window foreign = 0;
  int foreign_x = 0, foreign_y = 0, foreign_w = 0, foreign_h = 0;  // client, on screen
  int frame_x = 0, frame_y = 0, frame_w = 0, frame_h = 0;
};
const CanvasWorld& World();

// Reads the screen once the program's own requests have reached the server.
std::vector<uint32_t> ReadScreen(int x, int y, int width, int height);
// Handles waiting events and owed repaints until the server has nothing more.
void Settle();

// An image of the given size whose pixels come from `colour(x, y)`.
template <typename F>
Image MakeImage(int width, int height, F colour) {
  Image image;
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.pixels[static_cast<size_t>(y) * width + x] = colour(x, y);
  return image;
}
// A dark picture in which every pixel differs from its neighbours (so a shift
// of one pixel shows), all channels below 0x40.
Image DarkPattern(int width, int height, uint32_t seed);
// A light pattern, all channels 0xC0 or above but never pure white.
Image LightPattern(int width, int height, uint32_t seed);

// 24-bit bottom-up BMP file bytes of an image (written here, independently of
// the program's capture code).
OwnedByteBlock MakeBmp(const Image& image);

// A BMP file as the capture writes it, read back field by field.
struct BmpFile {
  bool ok = false;
  std::string error;
  uint32_t file_size = 0, pixel_offset = 0, header_size = 0, image_size = 0;
  int32_t width = 0, height = 0;
  uint16_t planes = 0, bits = 0;
  uint32_t compression = 0;
  int64_t stride = 0;
  std::vector<uint32_t> pixels;  // top row first, 0x00RRGGBB
};
BmpFile ReadBmp(const ByteBlock* block);

// Makes the canvas cover (left, top, width, height) of the window with the
// image as its tiled background, cleared and settled.
void ShowCanvas(const Image& background, int left = 0, int top = 0, int width = kScreenW,
                int height = kScreenH);

// A stored picture, loaded once and kept.
PictureHandle Handle(const ByteBlock& asset);
// A stored picture rendered as DrawPicture renders it (white behind alpha).
Image Rendered(const ByteBlock& asset);

// Saves pixels as a PNG under the test-artifacts directory; returns the path.
std::string SavePng(const std::string& name, const std::vector<uint32_t>& pixels, int width,
                    int height);

// The tile of `image` that lands on (x, y) when tiled from (0, 0).
inline uint32_t TileAt(const Image& image, int x, int y) {
  return image.pixels[static_cast<size_t>(y % image.height) * image.width + x % image.width];
}

// Sub-rectangle of a row-major pixel block.
std::vector<uint32_t> Crop(const std::vector<uint32_t>& pixels, int width, int x, int y, int w,
                           int h);

}  // namespace gs::test
