// Starts ttsclient.exe and stands by its window for tools/run.sh, which clicks and takes the
// screenshots itself. Reports one line each on stdout:
//   window LEFT TOP RIGHT BOTTOM   the main window, frame included, once it is idle
//   button LEFT TOP RIGHT BOTTOM   the synthesis button, in the same (screen) coordinates
// then answers commands read from stdin:
//   message   "message TEXT" for a message box the program shows (closed after reading),
//             "message" alone when none shows, "ended CODE" when the program has ended
//   close     WM_CLOSE to the window; "exited CODE" once the process ended, within 10 s
// The end of stdin closes too. Failures are one "error: ..." line and exit code 1.
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "client/window_templates.h"
#include "rt/handle_owners.h"
#include "rt/wide.h"
#include "tools/program_windows.h"

namespace {

constexpr DWORD kWindowWaitMs = 30000;
constexpr DWORD kExitWaitMs = 10000;

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

int Fail(const std::string& what) {
  Say("error: " + what);
  return 1;
}

std::string Rect(const char* name, HWND hwnd) {
  RECT r{};
  ::GetWindowRect(hwnd, &r);
  return std::string(name) + " " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
         std::to_string(r.right) + " " + std::to_string(r.bottom);
}

std::string TakeMessageBox(DWORD processId) {
  HWND box = program_windows::FindTopWindow(processId, true);
  if (!box) return "message";
  std::wstring flat = program_windows::TakeMessageBoxText(box);
  for (wchar_t& c : flat) {
    if (c == L'\r' || c == L'\n') c = L' ';
  }
  return "message " + rt::Narrow(flat.c_str(), flat.size(), CP_UTF8, 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return Fail("usage: window_driver PROGRAM.exe");
  std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    return Fail("the program did not start (error " + std::to_string(::GetLastError()) + ")");
  }
  const rt::UniqueKernelHandle process(info.hProcess);
  const rt::UniqueKernelHandle thread(info.hThread);

  HWND window = nullptr;
  const DWORD end = ::GetTickCount() + kWindowWaitMs;
  while (!(window = program_windows::FindTopWindow(info.dwProcessId, false))) {
    if (::WaitForSingleObject(process.get(), 100) == WAIT_OBJECT_0) {
      return Fail("the program ended before it showed its window");
    }
    if (static_cast<LONG>(end - ::GetTickCount()) <= 0) {
      ::TerminateProcess(process.get(), 1);
      return Fail("the program showed no window within 30 s");
    }
  }
  // The window shows before its units hold their start values.
  ::WaitForInputIdle(process.get(), 10000);
  HWND button = program_windows::UnitControl(window, client::TtsClientWindow({}),
                                             client::kSynthesizeButtonUnit);
  if (!button) {
    ::TerminateProcess(process.get(), 1);
    return Fail("the window has no synthesis button");
  }
  Say(Rect("window", window));
  Say(Rect("button", button));

  std::string command;
  while (std::getline(std::cin, command) && command != "close") {
    DWORD code = 0;
    if (command == "message" && ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
      ::GetExitCodeProcess(process.get(), &code);
      Say("ended " + std::to_string(code));
    } else if (command == "message") {
      Say(TakeMessageBox(info.dwProcessId));
    } else {
      Say("error: unknown command " + command);
    }
  }
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(process.get(), kExitWaitMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 1);
    return Fail("the program was still running 10 s after WM_CLOSE");
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  Say("exited " + std::to_string(code));
  return 0;
}
