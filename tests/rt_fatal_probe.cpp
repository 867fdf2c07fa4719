// Child process of the runtime tests: triggers the fatal run-time error named by its
// argument with a reporter that writes "code|message" to standard output, so the test
// can see both the report and the exit code without a message box.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "rt/dll_commands.h"
#include "rt/fatal_error.h"
#include "rt/form_engine.h"
#include "rt/startup.h"
#include "rt/text.h"

namespace {

// More than any process can have, on both architectures.
constexpr std::size_t kHugeAllocation = SIZE_MAX / 4;

void AllocateTooMuch() {
  std::vector<char> v;
  v.reserve(kHugeAllocation);
}

void ThrowFromHandler() { throw std::runtime_error("probe"); }

// Raises the handler from a button click, as a user's click would.
void ClickButtonBoundTo(rt::EventHandler handler) {
  rt::WindowTemplate window;
  window.windowId = 1;
  rt::UnitTemplate self;
  self.unitClass = rt::UnitClass::kWindow;
  self.rect = {0, 0, 200, 100};
  rt::UnitTemplate button;
  button.unitClass = rt::UnitClass::kButton;
  button.unitId = 2;
  button.rect = {10, 10, 80, 24};
  button.flags = rt::kUnitInput;
  button.events = {{0, handler}};
  window.units = {self, button};
  rt::LoadWindow(window, SW_HIDE, false);
  ::SendMessageW(rt::FindUnit(1, 2), BM_CLICK, 0, 0);
}

void WriteOut(const std::string& bytes) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  rt::SetFatalErrorReporter([](int code, const rt::Text& message) {
    WriteOut(std::to_string(code) + "|" + message.str());
  });
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "missing-library") rt::BindExport({"lumivox_no_such_library.dll", "GetLocalTime"});
  if (what == "missing-export") rt::BindExport({"kernel32.dll", "NoSuchExport"});
  if (what == "missing-ordinal") rt::BindExport({"kernel32.dll", "#65000"});
  if (what == "ordinal-beyond-16-bits") rt::BindExport({"kernel32.dll", "#70000"});
  if (what == "missing-standard-export") rt::BindExport({"", "NoSuchExport"});
  if (what == "index-below-one") rt::SplitText("a,b").At(0);
  if (what == "index-beyond-count") rt::SplitText("a,b").At(3);
  if (what == "divide-by-zero") rt::IntegerDivide(1, argc - 2);
  if (what == "out-of-memory") AllocateTooMuch();
  if (what == "out-of-memory-in-handler") ClickButtonBoundTo(&AllocateTooMuch);
  if (what == "exception-in-handler") ClickButtonBoundTo(&ThrowFromHandler);
  if (what == "exception-unhandled") {
    rt::StartRuntime();
    throw std::logic_error("nobody catches this");
  }
  // Reached only when nothing was fatal: a distinct exit code.
  WriteOut("no fatal error");
  return 3;
}
