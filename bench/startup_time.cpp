// Start-up: from CreateProcess to a visible top-level window of that process captioned
// "Lumivox", for the client, its floor (startup_floor: the least program that starts as the
// client must) and the least window program, each started alike and in turns. Then where the
// client's time goes (startup_steps) and what each of its imported libraries costs to load.
//   startup_time REPETITIONS CLIENT_EXE   (the other programs are found beside this one)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench_common.h"
#include "rt/wide.h"
#include "tools/program_windows.h"

namespace {

constexpr double kGoalShareOfFloor = 1.2;
constexpr double kGoalShareOfMinimal = 1.5;

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
  rt::UniqueKernelHandle process(info.hProcess);
  rt::UniqueKernelHandle thread(info.hThread);
  HWND window = nullptr;
  double shown = -1;
  while (bench::NowMs() - start < kGiveUpMs) {
    window = program_windows::FindTopWindow(info.dwProcessId, false);
    if (window) {
      shown = bench::NowMs() - start;
      break;
    }
    if (::WaitForSingleObject(process.get(), 1) == WAIT_OBJECT_0) break;
  }
  if (window) ::PostMessageW(window, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), 10000);
  }
  return shown;
}

// The starts of each program; the programs take turns, so that none gets the quieter moments,
// after one start each that warms the system's caches. Empty when one failed.
std::vector<std::vector<double>> Starts(const std::vector<std::wstring>& exes, int repetitions) {
  std::vector<std::vector<double>> times(exes.size());
  for (int round = 0; round <= repetitions; ++round) {
    for (std::size_t i = 0; i < exes.size(); ++i) {
      const double ms = TimeOneStart(exes[i]);
      if (ms < 0) return {};
      if (round > 0) times[i].push_back(ms);
    }
  }
  return times;
}

// "NAME<TAB>MS" lines, gathered over runs in the order the names first came.
class StepTimes {
public:
  void Add(const std::string& lines) {
    std::istringstream in(lines);
    std::string line;
    while (std::getline(in, line)) {
      const std::size_t tab = line.find('\t');
      if (tab == std::string::npos) continue;
      const std::string name = line.substr(0, tab);
      if (times_.find(name) == times_.end()) order_.push_back(name);
      times_[name].push_back(std::atof(line.c_str() + tab + 1));
    }
  }
  const std::vector<std::string>& Names() const { return order_; }
  double Median(const std::string& name) const { return bench::Median(times_.at(name)); }

private:
  std::vector<std::string> order_;
  std::map<std::string, std::vector<double>> times_;
};

std::string StepsRun(const std::wstring& exe) {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return bench::RunAndCapture(L"\"" + exe + L"\" " + std::to_wstring(now.QuadPart));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: startup_time REPETITIONS CLIENT_EXE\n");
    return 2;
  }
  const int repetitions = std::max(1, std::atoi(argv[1]));
  const std::wstring here = bench::ProgramDirectory();
  const std::vector<std::vector<double>> starts =
      Starts({rt::WidenGbk(argv[2]), here + L"startup_floor.exe", here + L"minimal_window.exe"},
             repetitions);
  if (starts.empty()) {
    std::fprintf(stderr, "startup_time: a program showed no visible \"Lumivox\" window\n");
    return 1;
  }
  const double client = bench::Median(starts[0]);
  const double floor = bench::Median(starts[1]);
  const double minimal = bench::Median(starts[2]);
  const std::string build = bench::BuildNote();
  bench::Table table({"program", "ms to window shown", "min-max"});
  table.Add({"ttsclient.exe", bench::Fixed(client, 1), bench::Spread(starts[0], 1)});
  table.Add({"floor: OLE, common controls v6, the same units, fonts and icon",
             bench::Fixed(floor, 1), bench::Spread(starts[1], 1)});
  table.Add({"minimal Win32 window (one empty window)", bench::Fixed(minimal, 1),
             bench::Spread(starts[2], 1)});
  table.Print(("start-up (" + build + "; medians of " + std::to_string(repetitions) +
               " starts, the programs in turns)")
                  .c_str());
  std::printf("ttsclient / floor: %.2f   (goal <= %.1f: %s)\n", client / floor, kGoalShareOfFloor,
              bench::Verdict(client / floor <= kGoalShareOfFloor));
  std::printf("ttsclient / minimal window: %.2f   (the earlier yardstick, goal <= %.1f: %s)\n",
              client / minimal, kGoalShareOfMinimal,
              bench::Verdict(client / minimal <= kGoalShareOfMinimal));

  StepTimes steps;
  for (int round = 0; round <= repetitions; ++round) {
    const std::string lines = StepsRun(here + L"startup_steps.exe");
    if (round > 0) steps.Add(lines);
  }
  bench::Table stepTable({"step", "ms"});
  double total = 0;
  for (const std::string& name : steps.Names()) {
    const double ms = steps.Median(name);
    if (name.rfind("(apart)", 0) != 0) total += ms;
    stepTable.Add({name, bench::Fixed(ms, 2)});
  }
  stepTable.Add({"sum of the steps", bench::Fixed(total, 2)});
  stepTable.Print(("ttsclient's start-up by step: its own code and resources, timed inside (" +
                   build + "; medians of " + std::to_string(repetitions) + " starts)")
                      .c_str());

  StepTimes libraries;
  for (int round = 0; round < repetitions; ++round)
    libraries.Add(bench::RunAndCapture(L"\"" + here + L"dll_load_times.exe\""));
  bench::Table libraryTable({"library", "ms to load", "the floor imports it"});
  double clientOnly = 0;
  for (const std::string& name : libraries.Names()) {
    const bool floorToo = name == "user32.dll" || name == "gdi32.dll" || name == "ole32.dll" ||
                          name == "comctl32.dll";
    if (!floorToo) clientOnly += libraries.Median(name);
    libraryTable.Add({name, bench::Fixed(libraries.Median(name), 2), floorToo ? "yes" : "no"});
  }
  libraryTable.Print(("each library ttsclient imports, loaded alone into a process that has "
                      "none of them, in this order (" +
                      build + "; medians of " + std::to_string(repetitions) + ")")
                         .c_str());
  std::printf("the libraries only the client imports: %.1f ms of its process start\n", clientOnly);
  return 0;
}
