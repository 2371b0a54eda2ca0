#include "stage/window_description.h"

extern "C" {
// The window description's own copies of the button pictures.
extern const gs::ByteBlock gs_button_picture_flower_05;
extern const gs::ByteBlock gs_button_picture_flower_03;
extern const gs::ByteBlock gs_button_picture_flower_04;
extern const gs::ByteBlock gs_button_picture_flower_02;
extern const gs::ByteBlock gs_button_picture_flower_07;
}

namespace gs {
namespace {

ControlDesign Make(ControlKind kind, const char* name, ControlRef ref, int32_t left, int32_t top,
                   int32_t width, int32_t height, bool visible,
                   HandlerId handler = HandlerId::kNone) {
  ControlDesign d;
  d.kind = kind;
  d.name = name;
  d.id = ref.control_id;
  d.left = left;
  d.top = top;
  d.width = width;
  d.height = height;
  d.visible = visible;
  d.handler = handler;
  return d;
}

ControlDesign Button(const char* name, ControlRef ref, int32_t left, int32_t top, int32_t width,
                     int32_t height, const ByteBlock* picture) {
  ControlDesign d = Make(ControlKind::kPictureButton, name, ref, left, top, width, height, false);
  d.picture = picture;
  d.transparent_colour = 0x00FFFFFF;
  return d;
}

WindowDesign BuildMainWindowDesign() {
  WindowDesign w;
  w.window = Make(ControlKind::kWindow, "窗口", 窗口, 50, 50, 612, 469, true, HandlerId::kCreated);
  w.window.back_colour = kFaceColourValue;

  ControlDesign label = Make(ControlKind::kLabel, "标签1", 标签1, 392, 80, 80, 24, false);
  label.caption = "标签";
  label.text_colour = 0x00000000;
  label.back_colour = kFaceColourValue;

  ControlDesign canvas = Make(ControlKind::kCanvas, "画板1", 画板1, 32, 24, 88, 72, true);
  canvas.back_colour = kFaceColourValue;
  canvas.display_mode = 1;
  canvas.text_colour = 0x0000FF00;
  canvas.font_face = "楷体_GB2312";
  canvas.font_height = -64;
  canvas.font_weight = 700;

  w.controls = {
      Make(ControlKind::kTimer, "时钟2", 时钟2, 480, 48, 26, 26, false, HandlerId::kBurstTimerTick),
      label,
      Button("花5", 花5, 88, 224, 144, 128, &gs_button_picture_flower_07),
      Button("花4", 花4, 344, 240, 144, 96, &gs_button_picture_flower_02),
      Button("花1", 花1, 240, 144, 112, 128, &gs_button_picture_flower_05),
      Button("花3", 花3, 200, 264, 120, 112, &gs_button_picture_flower_04),
      Button("花2", 花2, 400, 128, 120, 80, &gs_button_picture_flower_03),
      Make(ControlKind::kTimer, "时钟1", 时钟1, 560, 24, 40, 32, false,
           HandlerId::kOverlayTimerTick),
      canvas,
  };
  return w;
}

}  // namespace

const WindowDesign& MainWindowDesign() {
  static const WindowDesign design = BuildMainWindowDesign();
  return design;
}

}  // namespace gs
