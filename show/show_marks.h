// Marks the moments where the show moves from one phase to the next. Nothing
// listens in the program itself; test builds attach an observer to time the
// phases.
#pragma once

namespace gs {

using ShowMarkObserver = void (*)(const char* mark);
void SetShowMarkObserver(ShowMarkObserver observer);
void ShowMark(const char* mark);

}  // namespace gs
