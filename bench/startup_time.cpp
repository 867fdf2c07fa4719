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

// Median start of each program; the two take turns, so that neither gets the quieter
// moments, after one start each that warms the system's caches. Empty when one failed.
std::vector<double> MedianStarts(const std::vector<std::wstring>& exes, int repetitions) {
  std::vector<std::vector<double>> times(exes.size());
  for (int round = 0; round <= repetitions; ++round) {
    for (std::size_t i = 0; i < exes.size(); ++i) {
      const double ms = TimeOneStart(exes[i]);
      if (ms < 0) return {};
      if (round > 0) times[i].push_back(ms);
    }
  }
  std::vector<double> medians;
  for (const auto& t : times) medians.push_back(bench::Median(t));
  return medians;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: startup_time REPETITIONS CLIENT_EXE MINIMAL_EXE\n");
    return 2;
  }
  const int repetitions = std::atoi(argv[1]);
  const std::vector<double> medians =
      MedianStarts({rt::WidenGbk(argv[2]), rt::WidenGbk(argv[3])}, repetitions);
  if (medians.empty()) {
    std::fprintf(stderr, "startup_time: a program showed no visible \"Lumivox\" window\n");
    return 1;
  }
  const double client = medians[0];
  const double minimal = medians[1];
  bench::Table table({"program", "ms to window shown"});
  table.Add({"ttsclient.exe", bench::Fixed(client, 1)});
  table.Add({"minimal Win32 window", bench::Fixed(minimal, 1)});
  table.Add({"ratio", bench::Fixed(client / minimal, 2)});
  table.Print(
      ("start-up, median of " + std::to_string(repetitions) + " starts (goal ratio at most 1.5)")
          .c_str());
  return 0;
}
