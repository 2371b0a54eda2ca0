// Gives up tunes whose output has made no progress for kGiveUpMs of the
// program's clock. One detached thread for the whole process; nothing ever
// waits for it.
#pragma once

#include <memory>

namespace gs::audio {

class Tune;

class Watchdog {
 public:
  static void Watch(const std::shared_ptr<Tune>& tune);

 private:
  Watchdog() = default;
  static Watchdog& Instance();
  void Run();
  struct State;
  State* state_ = nullptr;
};

}  // namespace gs::audio
