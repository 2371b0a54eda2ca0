#include "stage/control_ref.h"

#include "core/exit.h"

namespace gs {
namespace {
void CheckIndex(int32_t index, int32_t count) {
  if (index < 1) RuntimeErrorStop(4, "数组成员引用下标必须大于等于1");
  if (index > count) RuntimeErrorStop(1, "数组成员引用下标超出定义范围");
}
}  // namespace

ControlRef& ControlRefList::At(int32_t index) {
  CheckIndex(index, Count());
  return elements_[static_cast<size_t>(index - 1)];
}

const ControlRef& ControlRefList::At(int32_t index) const {
  CheckIndex(index, Count());
  return elements_[static_cast<size_t>(index - 1)];
}

void AppendToList(ControlRefList& list, ControlRef element) { list.Append(element); }

}  // namespace gs
