#include "stage/controls.h"

#include <array>
#include <atomic>
#include <mutex>

#include "stage/button_internal.h"
#include "stage/canvas_internal.h"
#include "stage/label.h"

namespace gs {
namespace {
constexpr int32_t kFirstId = 100;
constexpr int32_t kMaxControls = 8192;
std::array<std::atomic<Control*>, kMaxControls> g_controls{};
std::atomic<int32_t> g_next_copy_id{1000};
}  // namespace

Control::Control(const ControlDesign& d)
    : design(d),
      id(d.id),
      kind(d.kind),
      d_left(d.left),
      d_top(d.top),
      d_width(d.width),
      d_height(d.height),
      d_visible(d.visible) {}

Control::~Control() = default;

Control* FindControl(int32_t control_id) {
  int32_t index = control_id - kFirstId;
  if (index < 0 || index >= kMaxControls) return nullptr;
  return g_controls[static_cast<size_t>(index)].load(std::memory_order_acquire);
}

bool RegisterControl(Control* control) {
  int32_t index = control->id - kFirstId;
  if (index < 0 || index >= kMaxControls) return false;
  g_controls[static_cast<size_t>(index)].store(control, std::memory_order_release);
  return true;
}

void UnregisterAllControls() {
  for (auto& slot : g_controls) slot.store(nullptr, std::memory_order_release);
}

int32_t NextCopyId() {
  return g_next_copy_id.fetch_add(1);
}

}  // namespace gs
