// Test-only: runs the program's delays and timers faster. Linked into test
// executables only; the shipped program has no way to change its clock.
#pragma once

namespace gs::test {

// 1.0 is real time; 0.05 runs twenty times faster.
void SetTimeScale(double scale);

}  // namespace gs::test
