// Copies of the four flower buttons, placed above the screen and moved down
// it by five workers, one column each.
#include "core/globals.h"
#include "core/timing.h"
#include "media/screen.h"
#include "show/show.h"
#include "stage/framework.h"
#include "stage/properties.h"
#include "stage/window_description.h"

namespace gs {
namespace {

int32_t FlowerHeight() {
  return ReadProperty(花1, Setting::kHeight);
}

ControlRefList& List(int m) {
  switch (m) {
    case 1:
      return *flower_list_1;
    case 2:
      return *flower_list_2;
    case 3:
      return *flower_list_3;
    default:
      return *flower_list_4;
  }
}

constexpr ControlRef kTemplates[] = {花1, 花2, 花3, 花4};

void WorkerEntry(int32_t k) {
  FallingFlowerWorker(k);
}

}  // namespace

void PlaceFlowersAboveScreen(ControlRef a, ControlRef b, ControlRef c, ControlRef d) {
  WriteProperty(a, Setting::kTop, Truncate(-static_cast<double>(FlowerHeight())));
  WriteProperty(b, Setting::kTop, Truncate(-4.0 * FlowerHeight()));
  WriteProperty(c, Setting::kTop, Truncate(-9.0 * FlowerHeight()));
  WriteProperty(d, Setting::kTop, Truncate(-16.0 * FlowerHeight()));
}

void SetUpFallingFlowers() {
  PlaceFlowersAboveScreen(花1, 花2, 花3, 花4);
  for (int m = 1; m <= 4; ++m) AppendToList(List(m), kTemplates[m - 1]);
  for (int i = 1; i <= 4; ++i) {
    for (int m = 1; m <= 4; ++m) AppendToList(List(m), kTemplates[m - 1]);
    for (int m = 1; m <= 4; ++m) CopyControl(kTemplates[m - 1], List(m).At(i));
    for (int m = 1; m <= 4; ++m) {
      int32_t w = ReadProperty(kTemplates[m - 1], Setting::kWidth);
      WriteProperty(List(m).At(i), Setting::kLeft, Truncate(i * (w + i + 130.0)));
    }
    PlaceFlowersAboveScreen(List(1).At(i), List(2).At(i), List(3).At(i), List(4).At(i));
    for (int m = 1; m <= 4; ++m) WriteProperty(List(m).At(i), Setting::kVisible, true);
  }
  for (int32_t j = 1; j <= 5; ++j) StartThread(WorkerEntry, j);
  WriteProperty(画板1, Setting::kLeft, 0);
  WriteProperty(画板1, Setting::kTop, 0);
  WriteProperty(画板1, Setting::kWidth, ScreenWidth());
  WriteProperty(画板1, Setting::kHeight, ScreenHeight());
}

void FallingFlowerWorker(int32_t k) {
  for (;;) {
    int32_t screen_height = ScreenHeight();
    for (int m = 1; m <= 4; ++m) {
      ControlRef flower = List(m).At(k);
      if (ReadProperty(flower, Setting::kTop) >= screen_height) {
        int32_t h = FlowerHeight();
        WriteProperty(flower, Setting::kTop, Truncate(-static_cast<double>(m) * h));
      }
    }
    int32_t d = k * 10;
    for (int m = 1; m <= 4; ++m) {
      ControlRef flower = List(m).At(k);
      WriteProperty(flower, Setting::kTop, ReadProperty(flower, Setting::kTop) + d);
    }
    if (stop_workers.load() != 0) return;
    Delay(100);
    ProcessEvents();
    RefreshWindow(窗口);
  }
}

}  // namespace gs
