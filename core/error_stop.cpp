#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "core/exit.h"
#include "stage/error_box.h"
#include "stage/framework.h"

namespace gs {

std::string BuildErrorText(int32_t code, const std::string& message,
                           const std::vector<std::string>& where) {
  const std::string kBreak = "\r\n";
  std::string text = "运行时出错!" + kBreak;
  if (code != 0) text += kBreak + "错误代码：" + std::to_string(code) + kBreak;
  if (!message.empty()) text += kBreak + "错误信息：" + message + kBreak;
  for (const std::string& line : where) text += kBreak + line;
  text += kBreak;
  return text;
}

void RuntimeErrorStop(int32_t code, const std::string& message,
                      const std::vector<std::string>& where) {
  if (!IsMainThread()) {
    // Windows belong to the main thread: it shows the box when it next serves us.
    ShowErrorBoxFromWorker(BuildErrorText(code, message, where));
  }
  // Only one fatal stop is ever shown.
  static std::once_flag once;
  std::call_once(once, [&] {
    std::string text = BuildErrorText(code, message, where);
    StopEventDelivery();
    ShowErrorBox("错误", text);
    internal::DiscardExitHooks();
    EndProgram(-1);
  });
  for (;;) pause();
}

}  // namespace gs
