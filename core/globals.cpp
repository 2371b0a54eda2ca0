#include "core/globals.h"

#include <new>
#include <string>

#include "core/exit.h"

namespace gs {

int32_t countdown = 0;
int32_t burst_tick_count = 0;
OwnedByteBlock kept_screenshot;
std::unique_ptr<ControlRefList> flower_list_1;
std::unique_ptr<ControlRefList> flower_list_2;
std::unique_ptr<ControlRefList> flower_list_3;
std::unique_ptr<ControlRefList> flower_list_4;
std::atomic<int32_t> stop_workers{0};

namespace {
ReleaseRecord g_released;

std::unique_ptr<ControlRefList> NewList() {
  auto* list = new (std::nothrow) ControlRefList();
  if (!list)
    RuntimeErrorStop(0, "分配 " + std::to_string(sizeof(ControlRefList)) + " 字节内存失败!");
  return std::unique_ptr<ControlRefList>(list);
}
}  // namespace

void InitGlobals() {
  flower_list_1 = NewList();
  flower_list_2 = NewList();
  flower_list_3 = NewList();
  flower_list_4 = NewList();
}

void ReleaseGlobals() {
  if (kept_screenshot) {
    kept_screenshot.reset();
    ++g_released.screenshots;
  }
  for (auto* list : {&flower_list_1, &flower_list_2, &flower_list_3, &flower_list_4}) {
    if (*list) {
      list->reset();
      ++g_released.lists;
    }
  }
}

const ReleaseRecord& GlobalsReleased() {
  return g_released;
}

}  // namespace gs
