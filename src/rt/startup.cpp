#include "rt/startup.h"

#include <ole2.h>
#include <windows.h>

#include <exception>

#include "rt/audio.h"
#include "rt/dll_commands.h"
#include "rt/exit_routines.h"
#include "rt/fatal_error.h"
#include "rt/form_engine.h"

namespace rt {

std::wstring ProgramDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

void StartRuntime() {
  // An exception that no code handles, or one that reaches a noexcept callback, is a fatal
  // run-time error with its own code and message, not a silent end.
  std::set_terminate([] { FatalUnhandledException(); });
  const std::wstring directory = ProgramDirectory();
  if (!directory.empty()) ::SetCurrentDirectoryW(directory.c_str());
  ::OleInitialize(nullptr);
}

int RunMainWindow(const WindowTemplate& window, int showCommand) {
  if (LoadWindow(window, showCommand, true) == nullptr) return -1;
  return RunMessageLoop();
}

int EndRuntime(int exitCode) {
  // The player's threads are stopped before the process goes: a device left open at exit
  // takes the process down with it under some systems' media stacks.
  StopMusic();
  UnloadAllWindows();
  RunExitRoutines();
  UnloadDllCommandLibraries();
  ::OleUninitialize();
  return exitCode;
}

}  // namespace rt
