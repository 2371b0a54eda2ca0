// The overlay timer's tick: the closing text, a row of flowers, the message
// strip with the countdown, and the end of the program.
#include "core/exit.h"
#include "core/globals.h"
#include "core/random.h"
#include "media/assets.h"
#include "media/music.h"
#include "media/screen.h"
#include "show/handlers.h"
#include "show/show.h"
#include "show/show_marks.h"
#include "stage/canvas.h"
#include "stage/properties.h"
#include "stage/window_description.h"

namespace gs {

void OnOverlayTimerTick() {
  ShowMark("overlay");
  WriteTextAt(画板1, 10, 100, "这里自己写");
  for (int32_t y : {200, 300, 400, 500}) WriteTextAt(画板1, 100, y, "、、、、、");
  int32_t r = RandomInRange(0, 255);
  int32_t g = RandomInRange(0, 255);
  int32_t b = RandomInRange(0, 255);
  WriteProperty(画板1, Setting::kTextColour, RgbColour(r, g, b));
  for (int i = 1; i <= 10; ++i) {
    PictureHandle flower = LoadPicture(&assets::flower_01);
    DrawPicture(画板1, flower, Truncate((i - 1) * 143.0), Truncate(ScreenHeight() - 200.0), {}, {},
                kWhiteKey);
  }
  if (countdown < 10) {
    std::string text = "距离程序运行结束还有" + IntToText(countdown) + "秒！";
    WriteProperty(标签1, Setting::kCaption, text);
    MoveControl(标签1, 0, Truncate(ScreenHeight() - 80.0), ScreenWidth(), 80);
    WriteProperty(标签1, Setting::kVisible, true);
    WriteProperty(标签1, Setting::kBackColour, static_cast<int32_t>(32896));
  }
  countdown -= 1;
  if (countdown == -1) {
    StopMusic();
    EndProgram(0);
  }
}

}  // namespace gs
