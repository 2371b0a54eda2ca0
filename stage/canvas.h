// Drawing on a canvas control. Nothing is kept: every operation draws
// straight onto the screen, and a repaint shows the background only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "media/picture.h"
#include "stage/control_ref.h"

namespace gs {

// Copy modes: 1 plain, 2 inverted, 3 xor, 4 or, 5 and; negative: colour key
// whose transparent colour value is the value negated.
inline constexpr int32_t kWhiteKey = static_cast<int32_t>(0xFF000001u);

void ClearCanvas(ControlRef canvas, std::optional<int32_t> left = {},
                 std::optional<int32_t> top = {}, std::optional<int32_t> width = {},
                 std::optional<int32_t> height = {});

void DrawPicture(ControlRef canvas, PictureHandle picture, int32_t left, int32_t top,
                 std::optional<int32_t> width = {}, std::optional<int32_t> height = {},
                 std::optional<int32_t> copy_mode = {});

// Writes the values one after another on the same line start; CR, LF and
// CR LF break lines.
void WriteTextAt(ControlRef canvas, std::optional<int32_t> x, std::optional<int32_t> y,
                 const std::vector<std::string>& values);
inline void WriteTextAt(ControlRef canvas, int32_t x, int32_t y, const std::string& text) {
  WriteTextAt(canvas, std::optional<int32_t>(x), std::optional<int32_t>(y), {text});
}

// A record of one DrawPicture call, for tests that check where things are drawn.
struct DrawCall {
  PictureHandle picture;
  int32_t left, top;
  std::optional<int32_t> width, height, copy_mode;
};
using DrawObserver = void (*)(const DrawCall&);
// Test seam: called for every DrawPicture (null, the default, records nothing).
void SetDrawObserver(DrawObserver observer);

// The family the canvas font resolved to (for tests and reports).
std::string CanvasFontFamily(ControlRef canvas);

}  // namespace gs
