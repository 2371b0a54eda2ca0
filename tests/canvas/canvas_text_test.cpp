// WriteTextAt on the real screen: where the text cell lands, overdrawing,
// line breaks, the text position, the text colour, and which font the canvas
// gets with and without a Chinese Kai face installed.

// clang-format off
#include <gtest/gtest.h>  // before any X11 header: Xlib's None clashes with it
// clang-format on

#include <X11/Xft/Xft.h>
#include <fontconfig/fontconfig.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#include "stage/canvas.h"
#include "stage/fonts.h"
#include "stage/properties.h"
#include "stage/window_description.h"
#include "stage/x_connection.h"
#include "tests/canvas/canvas_env.h"
#include "tests/support/child_process.h"

namespace gs {
namespace {

using test::ReadScreen;
using test::Settle;

constexpr uint32_t kGround = 0x182028;
const char kUkaiFile[] = "/usr/share/fonts/truetype/arphic/ukai.ttc";

XftFont* TheFont() {
  for (const ControlDesign& c : MainWindowDesign().controls)
    if (c.kind == ControlKind::kCanvas)
      return CanvasFont(c.font_face, -c.font_height, c.font_weight);
  return nullptr;
}

XGlyphInfo Extents(const std::string& text) {
  XGlyphInfo info{};
  XftTextExtentsUtf8(x::Dpy(), TheFont(), reinterpret_cast<const FcChar8*>(text.data()),
                     static_cast<int>(text.size()), &info);
  return info;
}

void PlainGround() {
  test::ShowCanvas(test::MakeImage(8, 8, [](int, int) { return kGround; }));
  WriteProperty(画板1, Setting::kTextColour, static_cast<int32_t>(0x0000FF00));
}

struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, count = 0;
};

// The box of everything that is not the ground in a block read at (x0, y0).
Ink InkOf(const std::vector<uint32_t>& screen, int x0, int y0, int w, int h) {
  Ink ink;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (screen[static_cast<size_t>(y) * w + x] != kGround) {
        ink.left = std::min(ink.left, x0 + x);
        ink.right = std::max(ink.right, x0 + x);
        ink.top = std::min(ink.top, y0 + y);
        ink.bottom = std::max(ink.bottom, y0 + y);
        ++ink.count;
      }
  return ink;
}

// Where the glyphs of `text` written with its cell's top-left at (x, y) must be.
Ink ExpectedInk(const std::string& text, int x, int y) {
  XGlyphInfo g = Extents(text);
  Ink ink;
  ink.left = x - g.x;
  ink.top = y + TheFont()->ascent - g.y;
  ink.right = ink.left + g.width - 1;
  ink.bottom = ink.top + g.height - 1;
  return ink;
}

std::string Describe(const Ink& i) {
  return "[" + std::to_string(i.left) + "," + std::to_string(i.top) + " .. " +
         std::to_string(i.right) + "," + std::to_string(i.bottom) + "]";
}

// The glyph boxes of an emboldened face reserve a few pixels on the right
// and at the bottom that stay empty; the top-left corner is exact to one pixel.
void ExpectInkAt(const Ink& shown, const Ink& expected, const std::string& what) {
  EXPECT_NEAR(shown.left, expected.left, 1) << what << " shown " << Describe(shown);
  EXPECT_NEAR(shown.top, expected.top, 1) << what << " shown " << Describe(shown);
  EXPECT_LE(shown.right, expected.right) << what << " shown " << Describe(shown);
  EXPECT_GE(shown.right, expected.right - 4) << what << " shown " << Describe(shown);
  EXPECT_LE(shown.bottom, expected.bottom) << what << " shown " << Describe(shown);
  EXPECT_GE(shown.bottom, expected.bottom - 4) << what << " shown " << Describe(shown);
}

TEST(CanvasText, TheCellsTopLeftCornerIsTheGivenPoint) {
  PlainGround();
  ASSERT_NE(TheFont(), nullptr);
  struct Case {
    const char* text;
    int x, y;
  };
  const Case cases[] = {{"这", 10, 100}, {"W", 10, 100}, {"生日快乐", 333, 517}, {"gy", 4, 0}};
  for (const Case& c : cases) {
    ClearCanvas(画板1);
    WriteTextAt(画板1, c.x, c.y, c.text);
    const int x0 = std::max(0, c.x - 20), y0 = std::max(0, c.y - 20);
    Ink shown = InkOf(ReadScreen(x0, y0, 500, 140), x0, y0, 500, 140);
    ASSERT_GT(shown.count, 20) << c.text;
    ExpectInkAt(shown, ExpectedInk(c.text, c.x, c.y), c.text);
    // The same in words: the cell's top is the ink's top less the part of the
    // ascent above the glyphs.
    EXPECT_NEAR(shown.top - (TheFont()->ascent - Extents(c.text).y), c.y, 1) << c.text;
  }
}

TEST(CanvasText, TextFarBeyondTheCanvasShowsNowhere) {
  PlainGround();
  ClearCanvas(画板1);
  const std::vector<uint32_t> before = ReadScreen(0, 0, test::kScreenW, test::kWorkH);
  struct Case {
    int x, y;
  };
  // 16-bit window coordinates would wrap these round to (10, 100).
  const Case cases[] = {
      {65536 + 10, 100}, {10, 65536 + 100}, {-65536 + 10, 100}, {10, -65536 + 100}};
  for (const Case& c : cases) {
    WriteTextAt(画板1, c.x, c.y, "这\r\n这");
    EXPECT_TRUE(ReadScreen(0, 0, test::kScreenW, test::kWorkH) == before) << c.x << "," << c.y;
  }
  // Partly on the canvas: the part that is on it shows.
  WriteTextAt(画板1, -30, -40, "这");
  Ink shown = InkOf(ReadScreen(0, 0, 200, 200), 0, 0, 200, 200);
  EXPECT_EQ(shown.left, 0);
  EXPECT_EQ(shown.top, 0);
  EXPECT_GT(shown.count, 50);
}

TEST(CanvasText, ASecondWriteDrawsOverTheFirstWithoutErasingIt) {
  PlainGround();
  const int x = 40, y = 60, w = 200, h = 120;
  ClearCanvas(画板1);
  WriteTextAt(画板1, x, y, "这");
  std::vector<uint32_t> first = ReadScreen(0, 0, w + x, h + y);
  ClearCanvas(画板1);
  WriteTextAt(画板1, x, y, "W");
  std::vector<uint32_t> second = ReadScreen(0, 0, w + x, h + y);
  ClearCanvas(画板1);
  WriteTextAt(画板1, x, y, "这");
  WriteTextAt(画板1, x, y, "W");
  std::vector<uint32_t> both = ReadScreen(0, 0, w + x, h + y);
  int kept = 0, wrong = 0;
  for (size_t i = 0; i < both.size(); ++i) {
    if (second[i] != kGround) continue;
    if (first[i] != kGround) ++kept;
    wrong += both[i] != first[i];
  }
  EXPECT_GT(kept, 100) << "ink of the first text outside the second";
  EXPECT_EQ(wrong, 0) << "the first text is untouched where the second has no ink";
}

TEST(CanvasText, LinesBreakAtCrAtLfAndOnceAtCrLf) {
  PlainGround();
  XftFont* font = TheFont();
  const int advance = font->ascent + font->descent + 2;
  struct Case {
    const char* name;
    const char* text;
    std::vector<int> lines;  // line numbers that hold a glyph
  };
  const Case cases[] = {
      {"CR", "这\r这", {0, 1}},
      {"LF", "这\n这", {0, 1}},
      {"CR LF counts once", "这\r\n这", {0, 1}},
      {"LF CR is two breaks", "这\n\r这", {0, 2}},
      {"an empty line", "这\n\n这", {0, 2}},
      {"CR LF twice", "这\r\n\r\n这", {0, 2}},
      {"three lines, mixed", "这\r\n这\r这", {0, 1, 2}},
      {"a leading break", "\n这", {1}},
  };
  const int x = 30, y = 20, w = 160, h = 4 * advance + 20;
  const Ink glyph = ExpectedInk("这", x, y);
  for (const Case& c : cases) {
    ClearCanvas(画板1);
    WriteTextAt(画板1, x, y, c.text);
    std::vector<uint32_t> screen = ReadScreen(0, 0, w, h + y);
    // Rows with ink, grouped into runs: one run per written line.
    std::vector<Ink> runs;
    bool in_run = false;
    for (int row = 0; row < h + y; ++row) {
      Ink ink = InkOf(std::vector<uint32_t>(screen.begin() + static_cast<ptrdiff_t>(row) * w,
                                            screen.begin() + static_cast<ptrdiff_t>(row + 1) * w),
                      0, row, w, 1);
      if (ink.count && !in_run) runs.push_back(ink);
      if (ink.count) {
        runs.back().bottom = row;
        runs.back().left = std::min(runs.back().left, ink.left);
      }
      in_run = ink.count > 0;
    }
    ASSERT_EQ(runs.size(), c.lines.size()) << c.name;
    for (size_t i = 0; i < runs.size(); ++i) {
      EXPECT_NEAR(runs[i].top, glyph.top + c.lines[i] * advance, 1)
          << c.name << ", line " << c.lines[i];
      EXPECT_NEAR(runs[i].left, glyph.left, 1) << c.name << ": every line starts at x";
    }
  }
}

TEST(CanvasText, SeveralValuesFollowOneAnotherOnOneLine) {
  PlainGround();
  ClearCanvas(画板1);
  WriteTextAt(画板1, 10, 100, "生日W");
  std::vector<uint32_t> joined = ReadScreen(0, 80, 400, 120);
  ClearCanvas(画板1);
  WriteTextAt(画板1, 10, 100, std::vector<std::string>{"生", "日", "W"});
  EXPECT_EQ(ReadScreen(0, 80, 400, 120), joined);
}

TEST(CanvasText, TheTextPositionComesFromTheLastClearAndWritesKeepIt) {
  PlainGround();
  const int w = 700, h = 500;
  struct Step {
    const char* name;
    std::optional<int32_t> x, y;
    int expect_x, expect_y;
  };
  // After ClearCanvas(300, 200, 250, 150) the text position is (300, 200).
  const Step steps[] = {
      {"both omitted", {}, {}, 300, 200},
      {"again, the position did not move", {}, {}, 300, 200},
      {"x given", 50, {}, 50, 200},
      {"y given", {}, 330, 300, 330},
  };
  for (const Step& s : steps) {
    ClearCanvas(画板1);
    ClearCanvas(画板1, 300, 200, 250, 150);
    WriteTextAt(画板1, s.x, s.y, std::vector<std::string>{"这"});
    Ink shown = InkOf(ReadScreen(0, 0, w, h), 0, 0, w, h);
    ExpectInkAt(shown, ExpectedInk("这", s.expect_x, s.expect_y), s.name);
  }
  // A clear without a rectangle resets it to the canvas's corner.
  ClearCanvas(画板1);
  WriteTextAt(画板1, std::nullopt, std::nullopt, std::vector<std::string>{"这"});
  ExpectInkAt(InkOf(ReadScreen(0, 0, w, h), 0, 0, w, h), ExpectedInk("这", 0, 0), "after a clear");
}

uint32_t CommonestInk(const std::vector<uint32_t>& pixels) {
  std::map<uint32_t, int> counts;
  for (uint32_t p : pixels)
    if (p != kGround) ++counts[p];
  if (counts.empty()) return kGround;
  return std::max_element(counts.begin(), counts.end(),
                          [](auto& a, auto& b) { return a.second < b.second; })
      ->first;
}

TEST(CanvasText, TheTextColourAppliesToLaterTextOnly) {
  PlainGround();
  ClearCanvas(画板1);
  WriteTextAt(画板1, 10, 100, "这");
  const std::vector<uint32_t> green_text = ReadScreen(0, 80, 200, 120);
  EXPECT_EQ(CommonestInk(green_text), 0x00FF00u);
  WriteProperty(画板1, Setting::kTextColour, static_cast<int32_t>(0x000000FF));  // red
  EXPECT_EQ(ReadProperty(画板1, Setting::kTextColour), 0x000000FF);
  EXPECT_EQ(ReadScreen(0, 80, 200, 120), green_text) << "nothing on the screen changes";
  WriteTextAt(画板1, 300, 100, "这");
  EXPECT_EQ(ReadScreen(0, 80, 200, 120), green_text);
  EXPECT_EQ(CommonestInk(ReadScreen(290, 80, 200, 120)), 0xFF0000u);
  WriteProperty(画板1, Setting::kTextColour, static_cast<int32_t>(0x00FF8000));
  WriteTextAt(画板1, 600, 100, "这");
  EXPECT_EQ(CommonestInk(ReadScreen(590, 80, 200, 120)), 0x0080FFu) << "blue, green, red";
}

// The ink of one text written alone, as a mask.
std::vector<bool> InkMask(const std::string& text) {
  ClearCanvas(画板1);
  WriteTextAt(画板1, 20, 20, text);
  std::vector<uint32_t> screen = ReadScreen(0, 0, 120, 120);
  std::vector<bool> mask(screen.size());
  for (size_t i = 0; i < screen.size(); ++i) mask[i] = screen[i] != kGround;
  return mask;
}

TEST(CanvasText, TheCanvasFontIsABoldKaiFaceThatDrawsChinese) {
  if (access(kUkaiFile, R_OK) != 0) GTEST_SKIP() << "fonts-arphic-ukai is not installed";
  EXPECT_EQ(CanvasFontFamily(画板1), "AR PL UKai CN");
  XftFont* font = TheFont();
  ASSERT_NE(font, nullptr);
  double pixel_size = 0;
  int weight = 0;
  FcBool embolden = FcFalse;
  FcPatternGetDouble(font->pattern, FC_PIXEL_SIZE, 0, &pixel_size);
  FcPatternGetInteger(font->pattern, FC_WEIGHT, 0, &weight);
  FcPatternGetBool(font->pattern, FC_EMBOLDEN, 0, &embolden);
  EXPECT_EQ(pixel_size, 64);
  EXPECT_TRUE(weight >= FC_WEIGHT_BOLD || embolden) << "weight " << weight;
  PlainGround();
  // Characters, not boxes: different characters give different ink, unlike a
  // character the font lacks.
  std::vector<bool> zhe = InkMask("这"), ri = InkMask("日"), missing = InkMask("\U0010FFFD");
  EXPECT_GT(std::count(zhe.begin(), zhe.end(), true), 400);
  EXPECT_NE(zhe, ri);
  EXPECT_NE(zhe, missing);
  ClearCanvas(画板1);
  WriteProperty(画板1, Setting::kTextColour, static_cast<int32_t>(0x0000FFFF));
  WriteTextAt(画板1, 10, 10, "这是生日快乐！\r\n祝你生日快乐 Happy");
  test::SavePng("kai_bold_64", ReadScreen(0, 0, 800, 170), 800, 170);
}

// Runs the font probe under a private font configuration that lists only the
// given font files.
std::map<std::string, std::string> ProbeFonts(const std::vector<std::string>& files) {
  char dir_template[] = "/tmp/gs-fonts-XXXXXX";
  std::string dir = mkdtemp(dir_template);
  mkdir((dir + "/fonts").c_str(), 0755);
  for (const std::string& f : files)
    EXPECT_EQ(symlink(f.c_str(), (dir + "/fonts/" + f.substr(f.rfind('/') + 1)).c_str()), 0);
  std::ofstream(dir + "/fonts.conf")
      << "<?xml version=\"1.0\"?>\n"
         "<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
         "<fontconfig><dir>"
      << dir << "/fonts</dir><cachedir>" << dir << "/cache</cachedir></fontconfig>\n";
  test::ChildSpec spec;
  spec.argv = {GS_FONT_PROBE_PATH};
  spec.env = {{"FONTCONFIG_FILE", dir + "/fonts.conf"}, {"FONTCONFIG_PATH", dir}};
  std::string output;
  int status = test::RunChild(spec, 20000, &output);
  EXPECT_EQ(status, 0) << output;
  std::map<std::string, std::string> values;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return values;
}

TEST(CanvasText, WithoutTheKaiFaceTheFontIsStillBoldAndSixtyFourPixelsHigh) {
  const std::string dejavu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  const std::string dejavu_bold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
  struct Case {
    const char* name;
    std::vector<std::string> files;
    const char* family;
    bool chinese;
  };
  const Case cases[] = {
      {"a Latin face with a bold style", {dejavu, dejavu_bold}, "DejaVu Sans", false},
      {"a Latin face without a bold style", {dejavu}, "DejaVu Sans", false},
      {"the Kai face alone, without the system's rules", {kUkaiFile}, "AR PL UKai CN", true},
      {"a Latin bold face and the Kai face", {dejavu_bold, kUkaiFile}, "AR PL UKai CN", true},
  };
  for (const Case& c : cases) {
    bool present = true;
    for (const std::string& f : c.files) present = present && access(f.c_str(), R_OK) == 0;
    if (!present) {
      std::cerr << "[ SKIPPED  ] " << c.name << ": font files missing\n";
      continue;
    }
    std::map<std::string, std::string> font = ProbeFonts(c.files);
    EXPECT_EQ(font["font"], c.family) << c.name;
    EXPECT_EQ(font["pixelsize"], "64") << c.name;
    EXPECT_TRUE(std::atoi(font["weight"].c_str()) >= FC_WEIGHT_BOLD || font["embolden"] == "1")
        << c.name << ": weight " << font["weight"] << ", embolden " << font["embolden"];
    EXPECT_EQ(font["chinese"], c.chinese ? "1" : "0") << c.name;
  }
}

}  // namespace
}  // namespace gs
