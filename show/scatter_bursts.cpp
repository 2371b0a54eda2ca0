// The thirtieth tick of the burst timer: ten bursts of 99 scattered flowers.
#include "core/exit.h"
#include "core/globals.h"
#include "core/random.h"
#include "core/timing.h"
#include "media/assets.h"
#include "media/screen.h"
#include "show/handlers.h"
#include "show/show.h"
#include "show/show_marks.h"
#include "stage/canvas.h"
#include "stage/properties.h"
#include "stage/window_description.h"

namespace gs {
namespace {

const ByteBlock* const kPool[] = {&assets::flower_02, &assets::flower_03, &assets::flower_04,
                                  &assets::flower_05, &assets::flower_06};

// One value out of n by a 1-based index; an index outside 1..n is fatal.
PictureHandle Choose(int32_t index, const PictureHandle (&choices)[5]) {
  if (index < 1 || index > 5)
    RuntimeErrorStop(9, "“多项选择”命令的索引值参数小于零或超出了所提供参数表范围");
  return choices[index - 1];
}

void ScatterOne(PictureHandle picture) {
  int32_t x = RandomInRange(0, Truncate(ScreenWidth() - 110.0));
  int32_t y = RandomInRange(0, Truncate(ScreenHeight() - 110.0));
  DrawPicture(画板1, picture, x, y, {}, {}, kWhiteKey);
}

}  // namespace

void OnBurstTimerTick() {
  burst_tick_count += 1;
  if (burst_tick_count == 30) {
    ShowMark("bursts");
    RunScatterBursts();
    ShowMark("bursts done");
  }
}

void RunScatterBursts() {
  for (int burst = 1; burst <= 10; ++burst) {
    int32_t choice = RandomInRange(1, 5);
    PictureHandle loaded[5];
    for (int i = 0; i < 5; ++i) loaded[i] = LoadPicture(kPool[i]);
    ScatterPicture(1, Choose(choice, loaded));
  }
  ClearCanvas(画板1);
  WriteProperty(时钟1, Setting::kTimerPeriod, 1000);
}

void ScatterPicture(int32_t mode, PictureHandle picture) {
  if (mode == 1) {
    for (int row = 1; row <= 11; ++row) {
      for (int n = 1; n <= 9; ++n) ScatterOne(picture);
      Delay(500);
    }
  } else if (mode == 0) {
    ScatterOne(picture);
    Delay(20);
  }
}

}  // namespace gs
