// Child process of the runtime tests: triggers the fatal run-time error named by its
// argument with a reporter that writes "code|message" to standard output, so the test
// can see both the report and the exit code without a message box.
#include <windows.h>

#include <cstring>
#include <string>

#include "rt/dll_commands.h"
#include "rt/fatal_error.h"
#include "rt/text.h"

namespace {

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
  // Reached only when nothing was fatal: a distinct exit code.
  WriteOut("no fatal error");
  return 3;
}
