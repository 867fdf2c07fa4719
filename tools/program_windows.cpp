#include "tools/program_windows.h"

#include "rt/form_engine.h"

namespace program_windows {
namespace {

struct WindowSearch {
  DWORD processId;
  bool messageBox;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM lp) {
  auto& s = *reinterpret_cast<WindowSearch*>(lp);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(hwnd, &owner);
  wchar_t cls[64] = {};
  ::GetClassNameW(hwnd, cls, 64);
  if (owner != s.processId || !::IsWindowVisible(hwnd)) return TRUE;
  if ((std::wstring(cls) == L"#32770") != s.messageBox) return TRUE;
  s.found = hwnd;
  return FALSE;
}

}  // namespace

HWND FindTopWindow(DWORD processId, bool messageBox) {
  WindowSearch search{processId, messageBox, nullptr};
  ::EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring TakeMessageBoxText(HWND box) {
  // The message text is the box's static control 0xFFFF.
  wchar_t text[4096] = {};
  ::GetDlgItemTextW(box, 0xFFFF, text, 4096);
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  return text;
}

HWND UnitControl(HWND window, const rt::WindowTemplate& layout, std::uint32_t unitId) {
  for (std::size_t i = 1; i < layout.units.size(); ++i) {
    if (layout.units[i].unitId == unitId) {
      return ::GetDlgItem(window, rt::kFirstControlId + static_cast<int>(i));
    }
  }
  return nullptr;
}

}  // namespace program_windows
