#include "show/show_marks.h"

#include <atomic>

namespace gs {
namespace {
std::atomic<ShowMarkObserver> g_observer{nullptr};
}

void SetShowMarkObserver(ShowMarkObserver observer) {
  g_observer.store(observer);
}

void ShowMark(const char* mark) {
  if (ShowMarkObserver observer = g_observer.load()) observer(mark);
}

}  // namespace gs
