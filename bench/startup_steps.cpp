// Where ttsclient's start-up time goes: the program's own start-up steps, with its resources
// and libraries, each timed, from the driver's CreateProcess to the window shown and painted.
// The form engine is timed from outside through window hooks, so that the steps are the
// engine's own: each unit from its creation to the next one's.
//   startup_steps CREATED_TICKS   (the driver's performance counter at CreateProcess)
// Writes "STEP<TAB>MS" lines to its standard output and exits once the window has been shown.
#include <windows.h>
// After windows.h, whose types they use.
#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench_common.h"
#include "client/credentials.h"
#include "client/handlers.h"
#include "client/window_templates.h"
#include "rt/exit_routines.h"
#include "rt/form_engine.h"
#include "rt/handle_owners.h"
#include "rt/startup.h"

namespace {

struct Hooks {
  HWND window = nullptr;
  std::vector<double> unitStarts;  // the window first, then each unit of the template
  double shown = 0;
  double painted = 0;
};
Hooks g_hooks;

LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    const CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
    // The window's units only: a combo box makes windows of its own.
    if (g_hooks.window == nullptr && create->hwndParent == nullptr) {
      g_hooks.window = reinterpret_cast<HWND>(wParam);
      g_hooks.unitStarts.push_back(bench::NowMs());
    } else if (g_hooks.window != nullptr && create->hwndParent == g_hooks.window) {
      g_hooks.unitStarts.push_back(bench::NowMs());
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK OnSent(int code, WPARAM wParam, LPARAM lParam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && sent->hwnd == g_hooks.window && g_hooks.window != nullptr) {
    if (sent->message == WM_SHOWWINDOW && g_hooks.shown == 0) g_hooks.shown = bench::NowMs();
    if (sent->message == WM_PAINT && g_hooks.painted == 0) g_hooks.painted = bench::NowMs();
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

const char* KindName(rt::UnitClass unitClass) {
  switch (unitClass) {
    case rt::UnitClass::kWindow: return "the window, its icons";
    case rt::UnitClass::kEditBox: return "edit boxes";
    case rt::UnitClass::kGroupBox: return "group boxes";
    case rt::UnitClass::kLabel: return "labels";
    case rt::UnitClass::kButton: return "buttons";
    case rt::UnitClass::kComboBox: return "combo boxes with their entries";
    case rt::UnitClass::kSliderBar: return "sliders";
    case rt::UnitClass::kLinkButton: return "link buttons";
  }
  return "?";
}

class Report {
public:
  void Add(const std::string& step, double ms) {
    text_ += step + "\t" + bench::Fixed(ms, 3) + "\n";
  }
  void Write() const {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text_.data(), static_cast<DWORD>(text_.size()),
                &written, nullptr);
  }

private:
  std::string text_;
};

// The fonts the form engine makes for a window, made and let go again: what making them costs
// alone. The stock font and its underlined form, and one for each unit with a font of its own.
double FontsAloneMs(const rt::WindowTemplate& window) {
  const double start = bench::NowMs();
  {
    std::vector<rt::UniqueFont> fonts;
    LOGFONTW lf{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    fonts.emplace_back(::CreateFontIndirectW(&lf));
    lf.lfUnderline = TRUE;
    fonts.emplace_back(::CreateFontIndirectW(&lf));
    for (const rt::UnitTemplate& unit : window.units) {
      if (!unit.font) continue;
      LOGFONTW own{};
      own.lfHeight = unit.font->height;
      own.lfWeight = unit.font->weight;
      own.lfCharSet = static_cast<BYTE>(unit.font->charset);
      own.lfPitchAndFamily = static_cast<BYTE>(unit.font->pitchAndFamily);
      lstrcpynW(own.lfFaceName, unit.font->face, LF_FACESIZE);
      fonts.emplace_back(::CreateFontIndirectW(&own));
    }
  }
  return bench::NowMs() - start;
}

// The window's two icons, loaded and let go again.
double IconsAloneMs() {
  const double start = bench::NowMs();
  for (int metric : {SM_CXICON, SM_CXSMICON}) {
    const int size = ::GetSystemMetrics(metric);
    const rt::UniqueIcon icon(static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(client::kWindowIconResource),
                     IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
  }
  return bench::NowMs() - start;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
  const double entered = bench::NowMs();
  Report report;
  if (__argc > 1) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    const double created = static_cast<double>(std::strtoll(__argv[1], nullptr, 10)) * 1000.0 /
                           static_cast<double>(frequency.QuadPart);
    report.Add("process start: loader, the imported libraries, C++ start-up", entered - created);
  }
  double t = bench::NowMs();
  const auto lap = [&](const std::string& step) {
    const double now = bench::NowMs();
    report.Add(step, now - t);
    t = now;
  };
  // Each system step is taken once before the program's own call, which then only nests.
  ::OleInitialize(nullptr);
  lap("OleInitialize");
  rt::StartRuntime();
  lap("rest of the runtime's start (working directory)");
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  lap("InitCommonControlsEx (common controls v6)");
  const rt::WindowTemplate window = client::TtsClientWindow(
      {&client::OnMainWindowCreated, &client::OnApplyIdLinkClicked, &client::OnSynthesizeClicked});
  rt::RegisterExitRoutine(&client::FreeGlobalTexts);
  lap("the window's template");

  rt::UniqueHook cbt(::SetWindowsHookExW(WH_CBT, OnCbt, nullptr, ::GetCurrentThreadId()));
  rt::UniqueHook sent(::SetWindowsHookExW(WH_CALLWNDPROC, OnSent, nullptr, ::GetCurrentThreadId()));
  const double loadStart = bench::NowMs();
  const HWND shown = rt::LoadWindow(window, showCommand, true);
  const double loaded = bench::NowMs();
  cbt.reset();
  sent.reset();
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  const double idle = bench::NowMs();

  const std::vector<double>& starts = g_hooks.unitStarts;
  if (shown == nullptr || starts.size() != window.units.size() || g_hooks.shown == 0 ||
      g_hooks.painted == 0) {
    report.Add("(the window's steps were not all seen)", 0);
  } else {
    report.Add("form set-up: window class, the engine's fonts, its copy of the template",
               starts.front() - loadStart);
    std::map<std::string, double> kinds;
    std::vector<std::string> order;
    for (std::size_t i = 0; i < starts.size(); ++i) {
      const std::string kind = KindName(window.units[i].unitClass);
      if (kinds.find(kind) == kinds.end()) order.push_back(kind);
      const double end = i + 1 < starts.size() ? starts[i + 1] : g_hooks.shown;
      kinds[kind] += end - starts[i];
    }
    for (const std::string& kind : order) report.Add(kind, kinds[kind]);
    report.Add("ShowWindow", g_hooks.painted - g_hooks.shown);
    report.Add("first paint (UpdateWindow)", loaded - g_hooks.painted);
    report.Add("messages until the queue is empty", idle - loaded);
  }
  report.Add("(apart) making the engine's fonts alone", FontsAloneMs(window));
  report.Add("(apart) loading the two icons alone", IconsAloneMs());
  report.Write();
  return rt::EndRuntime(0);
}
