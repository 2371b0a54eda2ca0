// Opens the canvas font of the main window design under whatever font
// configuration the environment selects, and prints what it resolved to as
// key=value lines, for a test that runs it with a private configuration.
#include <fontconfig/fontconfig.h>

#include <cstdio>

#include "stage/fonts.h"
#include "stage/window_description.h"
#include "stage/x_connection.h"

int main() {
  using namespace gs;
  if (!x::Open()) return 2;
  const ControlDesign* canvas = nullptr;
  for (const ControlDesign& c : MainWindowDesign().controls)
    if (c.kind == ControlKind::kCanvas) canvas = &c;
  if (!canvas) return 3;
  XftFont* font = CanvasFont(canvas->font_face, -canvas->font_height, canvas->font_weight);
  if (!font) {
    std::printf("font=none\n");
    return 0;
  }
  int weight = 0;
  double pixel_size = 0;
  FcBool embolden = FcFalse;
  FcCharSet* charset = nullptr;
  FcPatternGetInteger(font->pattern, FC_WEIGHT, 0, &weight);
  FcPatternGetDouble(font->pattern, FC_PIXEL_SIZE, 0, &pixel_size);
  FcPatternGetBool(font->pattern, FC_EMBOLDEN, 0, &embolden);
  bool chinese = FcPatternGetCharSet(font->pattern, FC_CHARSET, 0, &charset) == FcResultMatch &&
                 FcCharSetHasChar(charset, 0x8FD9);  // 这
  XGlyphInfo h{};
  XftTextExtentsUtf8(x::Dpy(), font, reinterpret_cast<const FcChar8*>("H"), 1, &h);
  std::printf(
      "font=%s\nweight=%d\nembolden=%d\npixelsize=%g\nascent=%d\ndescent=%d\n"
      "chinese=%d\nH_height=%d\n",
      FontFamily(font).c_str(), weight, embolden ? 1 : 0, pixel_size, font->ascent, font->descent,
      chinese ? 1 : 0, h.height);
  return 0;
}
