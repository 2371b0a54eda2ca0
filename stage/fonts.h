// Fonts through Xft and fontconfig.
#pragma once

#include <X11/Xft/Xft.h>

#include <cstdint>
#include <string>
#include <vector>

namespace gs {

// The canvas font: the designed face, or a bold CJK substitute of the same
// pixel height; never a font without Chinese glyphs when one is installed.
XftFont* CanvasFont(const std::string& face, int pixel_height, int weight);
// The default user-interface font (able to show Chinese when such a font exists).
XftFont* UiFont();
// Name of the family a font resolved to (for tests and reports).
std::string FontFamily(XftFont* font);
void ReleaseFonts();

// An Xft colour for text in 0xRRGGBB; give it back with FreeTextColour.
XftColor AllocTextColour(uint32_t rgb);
void FreeTextColour(XftColor& colour);

}  // namespace gs
