// A test suite whose cases share one private desktop, started before the
// first case and stopped after the last.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "tests/support/virtual_desktop.h"

namespace gs::test {

class SharedDesktopSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    desktop_ = new VirtualDesktop();
    ASSERT_TRUE(desktop_->ok()) << desktop_->error();
  }
  static void TearDownTestSuite() {
    delete desktop_;
    desktop_ = nullptr;
  }
  static inline VirtualDesktop* desktop_ = nullptr;
};

// True when a wait status says the process exited with `code`.
inline bool ExitedWith(int status, int code) {
  return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == code;
}
inline bool ExitedWithZero(int status) {
  return ExitedWith(status, 0);
}

}  // namespace gs::test
