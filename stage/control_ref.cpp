#include "stage/control_ref.h"

#include <string>
#include <vector>

#include "core/exit.h"

namespace gs {
namespace {
// The line under the message names the index and the list's count.
void CheckIndex(int32_t index, int32_t count) {
  std::vector<std::string> where = {std::to_string(index) + ", " + std::to_string(count)};
  if (index < 1) RuntimeErrorStop(4, "数组成员引用下标必须大于等于1", where);
  if (index > count) RuntimeErrorStop(1, "数组成员引用下标超出定义范围", where);
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

void AppendToList(ControlRefList& list, ControlRef element) {
  list.Append(element);
}

}  // namespace gs
