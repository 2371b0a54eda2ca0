#include "stage/fonts.h"

#include <fontconfig/fontconfig.h>

#include <map>

#include "stage/x_connection.h"

namespace gs {
namespace {
std::map<std::string, XftFont*> g_fonts;
bool g_rules_loaded = false;

// Desktop machines rarely have the designed face; map it to the Kai face
// Debian ships before matching.
const char kSubstitution[] = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <alias binding="strong">
    <family>楷体_GB2312</family>
    <prefer><family>AR PL UKai CN</family></prefer>
  </alias>
</fontconfig>)";

void LoadRules() {
  if (g_rules_loaded) return;
  g_rules_loaded = true;
  FcInit();
  FcConfigParseAndLoadFromMemory(FcConfigGetCurrent(),
                                 reinterpret_cast<const FcChar8*>(kSubstitution), FcTrue);
}

bool HasChinese(FcPattern* pattern) {
  FcCharSet* charset = nullptr;
  if (FcPatternGetCharSet(pattern, FC_CHARSET, 0, &charset) != FcResultMatch) return false;
  return FcCharSetHasChar(charset, 0x751F) && FcCharSetHasChar(charset, 0x3001);  // 生 、
}

// A bold request that matched a face without a bold style (Debian's Kai face
// has none) is drawn emboldened, as the system's own rules would do.
void EmboldenIfNeeded(FcPattern* requested, FcPattern* matched) {
  int wanted = 0, got = 0;
  FcBool embolden = FcFalse;
  if (FcPatternGetInteger(requested, FC_WEIGHT, 0, &wanted) != FcResultMatch ||
      wanted < FC_WEIGHT_BOLD)
    return;
  if (FcPatternGetBool(matched, FC_EMBOLDEN, 0, &embolden) == FcResultMatch && embolden) return;
  if (FcPatternGetInteger(matched, FC_WEIGHT, 0, &got) == FcResultMatch &&
      got >= FC_WEIGHT_DEMIBOLD)
    return;
  FcPatternDel(matched, FC_EMBOLDEN);
  FcPatternAddBool(matched, FC_EMBOLDEN, FcTrue);
}

XftFont* OpenMatched(const std::string& pattern_text, bool need_chinese) {
  Display* display = x::Dpy();
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(pattern_text.c_str()));
  if (!pattern) return nullptr;
  if (need_chinese) FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
  FcResult result;
  XftPattern* matched = XftFontMatch(display, x::ScreenNumber(), pattern, &result);
  if (matched) EmboldenIfNeeded(pattern, matched);
  FcPatternDestroy(pattern);
  if (!matched) return nullptr;
  if (need_chinese && !HasChinese(matched)) {
    FcPatternDestroy(matched);
    return nullptr;
  }
  return XftFontOpenPattern(display, matched);
}

XftFont* Cached(const std::string& key, const std::vector<std::string>& candidates,
                bool chinese_first) {
  auto it = g_fonts.find(key);
  if (it != g_fonts.end()) return it->second;
  LoadRules();
  XftFont* font = nullptr;
  if (chinese_first)
    for (const std::string& c : candidates)
      if ((font = OpenMatched(c, true))) break;
  if (!font)
    for (const std::string& c : candidates)
      if ((font = OpenMatched(c, false))) break;
  g_fonts[key] = font;
  return font;
}
}  // namespace

XftFont* CanvasFont(const std::string& face, int pixel_height, int weight) {
  std::string size = ":pixelsize=" + std::to_string(pixel_height);
  std::string bold = weight >= 600 ? ":weight=bold" : "";
  std::vector<std::string> candidates = {face + size + bold, "AR PL UKai CN" + size + bold,
                                         "serif" + size + bold, "sans-serif" + size + bold};
  return Cached("canvas|" + face + size + bold, candidates, true);
}

XftFont* UiFont() {
  return Cached("ui", {"sans-serif:pixelsize=13", "AR PL UKai CN:pixelsize=13"}, true);
}

std::string FontFamily(XftFont* font) {
  if (!font) return {};
  FcChar8* family = nullptr;
  if (FcPatternGetString(font->pattern, FC_FAMILY, 0, &family) == FcResultMatch)
    return reinterpret_cast<const char*>(family);
  return {};
}

void ReleaseFonts() {
  if (x::IsOpen())
    for (auto& [key, font] : g_fonts)
      if (font) XftFontClose(x::Dpy(), font);
  g_fonts.clear();
}

XftColor AllocTextColour(uint32_t rgb) {
  XRenderColor render{static_cast<unsigned short>(((rgb >> 16) & 0xFF) * 257),
                      static_cast<unsigned short>(((rgb >> 8) & 0xFF) * 257),
                      static_cast<unsigned short>((rgb & 0xFF) * 257), 0xFFFF};
  XftColor colour;
  XftColorAllocValue(x::Dpy(), x::DefaultVisualPtr(), x::DefaultColormapId(), &render, &colour);
  return colour;
}

void FreeTextColour(XftColor& colour) {
  XftColorFree(x::Dpy(), x::DefaultVisualPtr(), x::DefaultColormapId(), &colour);
}

}  // namespace gs
