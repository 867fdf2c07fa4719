#include "rt/events.h"

#include <windows.h>

#include "rt/form_engine.h"

namespace rt {
namespace {

long long g_calls = 0;
ULONGLONG g_lastLook = 0;

}  // namespace

void ProcessEvents() {
  ++g_calls;
  // Looking at an empty queue costs tens of microseconds; skip it when we looked just now.
  // The tick count is read from memory the system keeps current, so it costs next to nothing.
  const ULONGLONG now = ::GetTickCount64();
  if (g_lastLook != 0 && now - g_lastLook < kProcessEventsIntervalMs) return;
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Leave the quit message for the message loop.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (TranslateFormKey(msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  g_lastLook = ::GetTickCount64();
}

long long ProcessEventsCallCount() { return g_calls; }

}  // namespace rt
