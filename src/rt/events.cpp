#include "rt/events.h"

#include <windows.h>

namespace rt {
namespace {

long long g_calls = 0;
LONGLONG g_lastLook = 0;

LONGLONG Ticks() {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now.QuadPart;
}

LONGLONG IntervalTicks() {
  static const LONGLONG ticks = [] {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart * kProcessEventsIntervalMs / 1000;
  }();
  return ticks;
}

}  // namespace

void ProcessEvents() {
  ++g_calls;
  const LONGLONG now = Ticks();
  // Looking at an empty queue costs tens of microseconds; skip it when we looked just now.
  if (g_lastLook != 0 && now - g_lastLook < IntervalTicks()) return;
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Leave the quit message for the message loop.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  g_lastLook = Ticks();
}

long long ProcessEventsCallCount() { return g_calls; }

}  // namespace rt
