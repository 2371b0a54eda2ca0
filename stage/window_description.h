// The design of the main window and its controls, as fixed data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/byte_block.h"
#include "stage/control_ref.h"

namespace gs {

enum class ControlKind : int32_t { kWindow, kTimer, kLabel, kPictureButton, kCanvas };

// Colour values are 0x00BBGGRR. This one stands for the system face colour.
inline constexpr uint32_t kFaceColourValue = 0xFF000000u;

enum class HandlerId : int32_t { kNone, kCreated, kOverlayTimerTick, kBurstTimerTick };

struct ControlDesign {
  ControlKind kind = ControlKind::kTimer;
  std::string name;
  int32_t id = 0;
  int32_t left = 0, top = 0, width = 0, height = 0;
  bool visible = false;
  bool disabled = false;
  bool tab_stop = false;
  std::string tag;
  HandlerId handler = HandlerId::kNone;
  // Label
  std::string caption;
  uint32_t text_colour = 0;
  uint32_t back_colour = kFaceColourValue;
  // Picture button: the stored normal picture (a 32-bit length followed by the bytes).
  const ByteBlock* picture = nullptr;
  uint32_t transparent_colour = 0x00FFFFFF;
  // Canvas
  int32_t display_mode = 1;  // 0 top-left, 1 tiled, 2 centred
  std::string font_face;
  int32_t font_height = 0;  // negative: character height in pixels
  int32_t font_weight = 400;
  // Timer
  int32_t timer_period = 0;
};

struct WindowDesign {
  ControlDesign window;
  std::vector<ControlDesign> controls;  // stacking order, top first
  bool always_on_top = true;
  bool show_in_taskbar = false;
  bool esc_closes = true;
  bool start_maximised = true;
};

// The main window 窗口 as designed.
const WindowDesign& MainWindowDesign();

// References to the designed window and controls.
inline constexpr int32_t kMainWindowId = 1;
inline constexpr ControlRef 窗口{kMainWindowId, 100};
inline constexpr ControlRef 时钟2{kMainWindowId, 101};
inline constexpr ControlRef 标签1{kMainWindowId, 102};
inline constexpr ControlRef 花5{kMainWindowId, 103};
inline constexpr ControlRef 花4{kMainWindowId, 104};
inline constexpr ControlRef 花1{kMainWindowId, 105};
inline constexpr ControlRef 花3{kMainWindowId, 106};
inline constexpr ControlRef 花2{kMainWindowId, 107};
inline constexpr ControlRef 时钟1{kMainWindowId, 108};
inline constexpr ControlRef 画板1{kMainWindowId, 109};

}  // namespace gs
