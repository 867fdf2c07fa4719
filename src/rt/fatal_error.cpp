#include "rt/fatal_error.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "rt/wide.h"

namespace rt {
namespace {

FatalErrorReporter& Reporter() {
  static FatalErrorReporter reporter;
  return reporter;
}

// Given back when an allocation fails, so that the message box and its texts can be made.
constexpr std::size_t kReserveBytes = 64 * 1024;
void* g_reserve = std::malloc(kReserveBytes);
std::atomic<bool> g_outOfMemory{false};

// what() of a library exception is ASCII, but any byte outside it would not be GBK.
Text Printable(const char* what) {
  std::string out;
  for (const char* p = what; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    out += c >= 0x20 && c < 0x7F ? *p : '?';
  }
  return Text(std::move(out));
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

void FatalOutOfMemory(std::size_t bytes) noexcept {
  // A second failure while the first is being reported (or on another thread) ends at once.
  if (g_outOfMemory.exchange(true)) ::ExitProcess(static_cast<UINT>(-1));
  std::free(g_reserve);
  g_reserve = nullptr;
  char message[64];
  std::snprintf(message, sizeof message, "分配 %llu 字节内存失败!",
                static_cast<unsigned long long>(bytes));
  FatalRuntimeError(FatalErrorCode::kOutOfMemory, Text(message));
}

void FatalUnhandledException() noexcept {
  Text message("未处理的异常");
  if (const std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::exception& e) {
      message += Text("：") + Printable(e.what());
    } catch (...) {
    }
  }
  FatalRuntimeError(FatalErrorCode::kUnhandledException, message);
}

}  // namespace rt
