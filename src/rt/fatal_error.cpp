#include "rt/fatal_error.h"

#include <windows.h>

#include <cstdlib>

#include "rt/wide.h"

namespace rt {
namespace {

FatalErrorReporter& Reporter() {
  static FatalErrorReporter reporter;
  return reporter;
}

}  // namespace

void SetFatalErrorReporter(FatalErrorReporter reporter) { Reporter() = std::move(reporter); }

void FatalRuntimeError(FatalErrorCode code, const Text& message) {
  const int number = static_cast<int>(code);
  if (Reporter()) {
    Reporter()(number, message);
  } else {
    const Text body = Text("错误代码：") + ToText(number) + "\r\n错误信息：" + message;
    ::MessageBoxW(nullptr, WidenGbk(body).c_str(), WidenGbk("运行时出错!").c_str(),
                  MB_OK | MB_ICONERROR | MB_TASKMODAL);
  }
  ::ExitProcess(static_cast<UINT>(-1));
}

}  // namespace rt
