// Start-up: from CreateProcess to a visible top-level window of that process captioned
// "Lumivox", for the client and for the minimal window program, each started alike.
//   startup_time REPETITIONS CLIENT_EXE MINIMAL_EXE
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_common.h"
#include "rt/unique_handle.h"
#include "rt/wide.h"

namespace {

struct CloseKernelHandle {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using KernelHandle = rt::UniqueHandle<HANDLE, CloseKernelHandle>;

struct Search {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindShownWindow(HWND window, LPARAM lParam) {
  auto& search = *reinterpret_cast<Search*>(lParam);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search.processId || !::IsWindowVisible(window)) return TRUE;
  wchar_t caption[16] = {};
  ::GetWindowTextW(window, caption, 16);
  if (std::wstring(caption) != L"Lumivox") return TRUE;
  search.found = window;
  return FALSE;
}

constexpr double kGiveUpMs = 60000;

// ms until the window shows, or a negative number when the program failed to show one.
double TimeOneStart(const std::wstring& exe) {
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  const double start = bench::NowMs();
  if (!::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    return -1;
  }
  KernelHandle process(info.hProcess);
  KernelHandle thread(info.hThread);
  Search search = {info.dwProcessId, nullptr};
  double shown = -1;
  while (bench::NowMs() - start < kGiveUpMs) {
    ::EnumWindows(FindShownWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      shown = bench::NowMs() - start;
      break;
    }
    if (::WaitForSingleObject(process.get(), 1) == WAIT_OBJECT_0) break;
  }
  if (search.found) ::PostMessageW(search.found, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), 10000);
  }
  return shown;
}

// Median of the starts after one that warms the system's caches; negative when one failed.
double MedianStart(const std::wstring& exe, int repetitions) {
  if (TimeOneStart(exe) < 0) return -1;
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    const double ms = TimeOneStart(exe);
    if (ms < 0) return -1;
    times.push_back(ms);
  }
  return bench::Median(times);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: startup_time REPETITIONS CLIENT_EXE MINIMAL_EXE\n");
    return 2;
  }
  const int repetitions = std::atoi(argv[1]);
  const double client = MedianStart(rt::WidenGbk(argv[2]), repetitions);
  const double minimal = MedianStart(rt::WidenGbk(argv[3]), repetitions);
  if (client < 0 || minimal < 0) {
    std::fprintf(stderr, "startup_time: %s showed no \"Lumivox\" window\n",
                 client < 0 ? argv[2] : argv[3]);
    return 1;
  }
  bench::Table table({"program", "ms to window shown"});
  table.Add({"ttsclient.exe", bench::Fixed(client, 1)});
  table.Add({"minimal Win32 window", bench::Fixed(minimal, 1)});
  table.Add({"ratio", bench::Fixed(client / minimal, 2)});
  table.Print(
      ("start-up, median of " + std::to_string(repetitions) + " starts (goal ratio at most 1.5)")
          .c_str());
  return 0;
}
