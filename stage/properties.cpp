#include "stage/properties.h"

#include <X11/Xlib.h>

#include <algorithm>

#include "core/exit.h"
#include "stage/button_internal.h"
#include "stage/canvas_internal.h"
#include "stage/framework.h"
#include "stage/label.h"
#include "stage/window_internal.h"
#include "stage/x_connection.h"

namespace gs {
namespace {

enum class Access { kRead, kWrite, kMove };

Control* Resolve(ControlRef ref, Access access) {
  if (!LoadedWindow(ref.window_id)) RuntimeErrorStop(0, "未载入欲访问窗口组件所在的窗口");
  Control* control = FindControl(ref.control_id);
  if (!control) {
    if (access == Access::kMove) RuntimeErrorStop(0, "指定窗口或窗口组件不存在或尚未载入");
    return nullptr;  // a reference that names nothing: ignored
  }
  return control;
}

Control* ResolveLive(ControlRef ref, Access access) {
  Control* control = Resolve(ref, access);
  if (control && !control->live.load()) {
    RuntimeErrorStop(0, access == Access::kRead ? "读取组件属性时发现指定窗口尚未载入"
                                                : "修改组件属性时发现指定窗口尚未载入");
  }
  return control;
}

bool IsGeometry(Setting s) {
  return s == Setting::kLeft || s == Setting::kTop || s == Setting::kWidth || s == Setting::kHeight;
}

// Applies a geometry change on the main thread (workers wait for it).
void ApplyGeometry(Control* control, Setting setting, int32_t value) {
  RunOnMainThread([control, setting, value] {
    if (!control->live.load()) return;
    int32_t x = control->x.load(), y = control->y.load(), w = control->w.load(),
            h = control->h.load();
    if (setting == Setting::kLeft) x = value;
    if (setting == Setting::kTop) y = value;
    if (setting == Setting::kWidth) w = value;
    if (setting == Setting::kHeight) h = value;
    if (x == control->x.load() && y == control->y.load() && w == control->w.load() &&
        h == control->h.load())
      return;
    bool resized = w != control->w.load() || h != control->h.load();
    SetLiveGeometry(control, x, y, w, h);
    if (resized && control->kind == ControlKind::kPictureButton) PictureButtonResized(control);
  });
}

}  // namespace

int32_t ReadProperty(ControlRef ref, Setting setting) {
  Control* control = Resolve(ref, Access::kRead);
  if (!control) return 0;
  bool live = control->live.load();
  switch (setting) {
    case Setting::kLeft:
      return live ? control->x.load() : control->d_left.load();
    case Setting::kTop:
      return live ? control->y.load() : control->d_top.load();
    case Setting::kWidth:
      return live ? control->w.load() : control->d_width.load();
    case Setting::kHeight:
      return live ? control->h.load() : control->d_height.load();
    case Setting::kVisible:
      return control->d_visible.load() ? 1 : 0;
    default:
      break;
  }
  ResolveLive(ref, Access::kRead);
  switch (setting) {
    case Setting::kBackColour:
      return control->label ? static_cast<int32_t>(control->label->back_colour) : 0;
    case Setting::kTimerPeriod:
      return control->timer ? control->timer->period : 0;
    case Setting::kTextColour:
      return control->canvas ? static_cast<int32_t>(control->canvas->text_colour) : 0;
    default:
      return 0;
  }
}

void WriteProperty(ControlRef ref, Setting setting, int32_t value) {
  if (setting == Setting::kVisible) {
    WriteProperty(ref, setting, value != 0);
    return;
  }
  Control* control = Resolve(ref, Access::kWrite);
  if (!control) return;
  if (IsGeometry(setting)) {
    if (setting == Setting::kLeft || setting == Setting::kTop)
      value = std::clamp(value, kMinPosition, kMaxPosition);
    else
      value = std::clamp(value, 0, kMaxPosition);
    if (setting == Setting::kLeft) control->d_left = value;
    if (setting == Setting::kTop) control->d_top = value;
    if (setting == Setting::kWidth) control->d_width = value;
    if (setting == Setting::kHeight) control->d_height = value;
    if (control->live.load()) ApplyGeometry(control, setting, value);
    return;
  }
  ResolveLive(ref, Access::kWrite);
  RunOnMainThread([control, setting, value] {
    switch (setting) {
      case Setting::kTimerPeriod:
        if (control->timer) WriteTimerPeriod({kMainWindowId, control->id}, value);
        break;
      case Setting::kBackColour:
        if (control->label) {
          control->label->back_colour = static_cast<uint32_t>(value);
          LabelChanged(control);
        }
        break;
      case Setting::kTextColour:
        if (control->canvas) CanvasSetTextColour(control, static_cast<uint32_t>(value));
        break;
      default:
        break;
    }
  });
}

void WriteProperty(ControlRef ref, Setting setting, bool value) {
  Control* control = Resolve(ref, Access::kWrite);
  if (!control || setting != Setting::kVisible) return;
  control->d_visible = value;
  if (control->design.kind == ControlKind::kTimer) return;
  if (!control->live.load()) return;
  RunOnMainThread([control, value] { SetLiveVisible(control, value); });
}

void WriteProperty(ControlRef ref, Setting setting, const std::string& value) {
  Control* control = ResolveLive(ref, Access::kWrite);
  if (!control || setting != Setting::kCaption || !control->label) return;
  RunOnMainThread([control, value] {
    control->label->caption = value;
    LabelChanged(control);
  });
}

void WriteProperty(ControlRef ref, Setting setting, const ByteBlock* value) {
  Control* control = ResolveLive(ref, Access::kWrite);
  if (!control || setting != Setting::kBackgroundPicture || !control->canvas) return;
  RunOnMainThread([control, value] { CanvasSetBackgroundBytes(control, value); });
}

void MoveControl(ControlRef ref, std::optional<int32_t> left, std::optional<int32_t> top,
                 std::optional<int32_t> width, std::optional<int32_t> height) {
  Control* control = Resolve(ref, Access::kMove);
  if (!control->live.load()) RuntimeErrorStop(0, "指定窗口或窗口组件不存在或尚未载入");
  RunOnMainThread([=] {
    int32_t x = control->x.load(), y = control->y.load(), w = control->w.load(),
            h = control->h.load();
    if (left) x = *left;
    if (top) y = *top;
    if (width && *width != -1) w = *width;
    if (height && *height != -1) h = *height;
    if (x == control->x.load() && y == control->y.load() && w == control->w.load() &&
        h == control->h.load())
      return;
    bool resized = w != control->w.load() || h != control->h.load();
    control->d_left = x;
    control->d_top = y;
    control->d_width = w;
    control->d_height = h;
    SetLiveGeometry(control, x, y, w, h);
    if (resized && control->kind == ControlKind::kPictureButton) PictureButtonResized(control);
  });
}

bool CopyControl(ControlRef source, ControlRef& target) {
  WindowRecord* window = LoadedWindow(source.window_id);
  if (source.window_id == 0 || !window || source.control_id == 0) return false;
  if (source.control_id == window->self->id) return false;
  const ControlDesign* design = nullptr;
  for (const ControlDesign& d : window->snapshot)
    if (d.id == source.control_id) design = &d;
  if (!design) return false;
  // The target variable must hold a reference of the same kind (or nothing yet).
  if (target.control_id != 0) {
    Control* existing = FindControl(target.control_id);
    if (existing && existing->kind != design->kind) return false;
  }
  Control* live_source = FindControl(source.control_id);
  ControlDesign copy = *design;
  copy.id = NextCopyId();
  copy.handler = HandlerId::kNone;
  auto control = std::make_unique<Control>(copy);
  if (!CreateLiveControl(control.get(), window->self->xwin)) {
    DestroyLiveControl(control.get());
    return false;
  }
  if (!RegisterControl(control.get())) {
    DestroyLiveControl(control.get());
    return false;
  }
  // Directly below the source, hidden.
  if (live_source && live_source->xwin && control->xwin) {
    XWindowChanges changes{};
    changes.sibling = live_source->xwin;
    changes.stack_mode = Below;
    XConfigureWindow(x::Dpy(), control->xwin, CWSibling | CWStackMode, &changes);
  }
  auto it = std::find(window->controls.begin(), window->controls.end(), live_source);
  window->controls.insert(it, control.get());
  target = {source.window_id, copy.id};
  window->owned.push_back(std::move(control));
  return true;
}

}  // namespace gs
