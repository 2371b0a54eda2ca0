// WriteTextAt: text in the canvas font, glyphs only, from the top-left of the
// first line's cell.
#include <X11/Xft/Xft.h>

#include "stage/canvas.h"
#include "stage/canvas_internal.h"
#include "stage/fonts.h"
#include "stage/x_connection.h"

namespace gs {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

XftFont* FontOf(Control* control) {
  const ControlDesign& d = control->design;
  int pixels = d.font_height < 0 ? -d.font_height : (d.font_height > 0 ? d.font_height : 16);
  return CanvasFont(d.font_face.empty() ? "sans-serif" : d.font_face, pixels, d.font_weight);
}

// Whether a line whose cell starts at (x, top) can show on the canvas. Lines
// that cannot are skipped: their window coordinates, 16-bit on the wire,
// could wrap round onto the canvas.
bool LineMeetsCanvas(Control* control, XftFont* font, const std::string& line, int64_t x,
                     int64_t top) {
  const int64_t margin = font->ascent + font->descent;  // room for overhanging glyphs
  if (top >= control->h.load() + margin || top + 2 * margin <= 0) return false;
  if (x >= control->w.load() + margin) return false;
  if (x < -margin) {
    XGlyphInfo extents{};
    XftTextExtentsUtf8(x::Dpy(), font, reinterpret_cast<const FcChar8*>(line.data()),
                       static_cast<int>(line.size()), &extents);
    if (x + extents.xOff + margin <= 0) return false;
  }
  return x > -32768 + 2 * margin && top < 32767 - 2 * margin;
}

}  // namespace

void WriteTextAt(ControlRef ref, std::optional<int32_t> x, std::optional<int32_t> y,
                 const std::vector<std::string>& values) {
  Control* control = ResolveCanvas(ref);
  if (!control->xwin) return;
  CanvasState& state = *control->canvas;
  int32_t left = x.value_or(state.text_x);
  int32_t top = y.value_or(state.text_y);
  std::string text;
  for (const std::string& value : values) text += value;
  XftFont* font = FontOf(control);
  if (!font) return;
  Display* display = x::Dpy();
  XftDraw* draw =
      XftDrawCreate(display, control->xwin, x::DefaultVisualPtr(), x::DefaultColormapId());
  XftColor colour = AllocTextColour(x::RgbForColourValue(state.text_colour));
  const int line_height = font->ascent + font->descent;
  int64_t row = top;
  for (const std::string& line : SplitLines(text)) {
    if (!line.empty()) {
      if (LineMeetsCanvas(control, font, line, left, row))
        XftDrawStringUtf8(draw, &colour, font, left, static_cast<int>(row + font->ascent),
                          reinterpret_cast<const FcChar8*>(line.data()),
                          static_cast<int>(line.size()));
      row += line_height + 2;
    } else {
      XGlyphInfo extents{};
      XftTextExtentsUtf8(display, font, reinterpret_cast<const FcChar8*>("W"), 1, &extents);
      row += std::max<int>(extents.height, line_height) + 2;
    }
  }
  FreeTextColour(colour);
  XftDrawDestroy(draw);
  XFlush(display);
}

std::string CanvasFontFamily(ControlRef ref) {
  Control* control = ResolveCanvas(ref);
  return FontFamily(FontOf(control));
}

}  // namespace gs
