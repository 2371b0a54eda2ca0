// References to controls and the lists that hold them.
#pragma once

#include <cstdint>
#include <vector>

namespace gs {

// Names one control of a loaded window, or the window itself.
struct ControlRef {
  int32_t window_id = 0;
  int32_t control_id = 0;
  friend bool operator==(const ControlRef&, const ControlRef&) = default;
};
static_assert(sizeof(ControlRef) == 8, "two 32-bit integers");

// A growable list of references numbered from 1. Every element access is
// range-tested; an index out of range is a fatal run-time error.
class ControlRefList {
 public:
  void Append(ControlRef element) { elements_.push_back(element); }
  int32_t Count() const { return static_cast<int32_t>(elements_.size()); }
  // Element `index` (1-based) for reading or writing in place.
  ControlRef& At(int32_t index);
  const ControlRef& At(int32_t index) const;

 private:
  std::vector<ControlRef> elements_;
};

void AppendToList(ControlRefList& list, ControlRef element);

}  // namespace gs
