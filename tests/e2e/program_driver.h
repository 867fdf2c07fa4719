// Starts one of the programs as its own process and drives its window the way a user
// does: typing into boxes, choosing entries, moving sliders, clicking.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "rt/handle_owners.h"
#include "rt/text.h"
#include "rt/window_template.h"

namespace e2e {

class ProgramUnderTest {
public:
  // exeName lies beside the test program; the template gives the units' control ids.
  ProgramUnderTest(const std::wstring& exeName, rt::WindowTemplate layout);
  ~ProgramUnderTest();
  ProgramUnderTest(const ProgramUnderTest&) = delete;
  ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

  bool started() const { return window_ != nullptr; }
  HWND window() const { return window_; }
  HWND Unit(std::uint32_t unitId) const;

  void SetText(std::uint32_t unitId, const rt::Text& text);
  rt::Text ReadText(std::uint32_t unitId) const;
  void SelectEntry(std::uint32_t comboUnit, int index);
  void SetSliderPosition(std::uint32_t sliderUnit, int position);
  // Posted, so that a message box the click opens cannot block the test.
  void Click(std::uint32_t unitId);

  // The text of a message box the program shows within the wait, closed after reading;
  // the empty text when none appears.
  rt::Text TakeMessageBox(DWORD waitMs);
  bool Alive() const;
  // Closes the window and returns the exit code, or -1 when the process did not end.
  long Close();

  // Waits until no message box of the program is showing; false when one still is.
  bool WaitForNoMessageBox(DWORD waitMs);

  // The unit that holds the keyboard focus of the program's window thread (a combo box for
  // its edit field), as that thread reports it; 0 when the focus is on no unit.
  std::uint32_t FocusedUnit() const;
  // Waits until FocusedUnit() is unitId; returns the unit that has the focus at the end.
  std::uint32_t WaitForFocus(std::uint32_t unitId, DWORD waitMs = 5000) const;

private:
  rt::WindowTemplate layout_;
  rt::UniqueKernelHandle process_;
  rt::UniqueKernelHandle thread_;
  DWORD processId_ = 0;
  DWORD threadId_ = 0;
  HWND window_ = nullptr;

public:
  // The child's process handle, for resource figures; owned by this object.
  HANDLE process() const { return process_.get(); }
};

// A copy of one of the programs beside the test program, with the template of its window.
struct LocalProgram {
  const wchar_t* exe;
  rt::WindowTemplate layout;
};
// The copies of ttsclient and ttsclient-builtin that talk to the local speech service.
std::vector<LocalProgram> LocalPrograms();

// The index of the entry of a combo box unit whose item data is data; -1 when none has it.
int IndexOfItemData(const rt::WindowTemplate& layout, std::uint32_t comboUnit, int data);

// Asks done() every stepMs until it holds or ms have passed; whether it held at the end.
template <class Done>
bool WaitUntil(DWORD ms, DWORD stepMs, Done done) {
  const DWORD end = ::GetTickCount() + ms;
  while (!done()) {
    if (static_cast<LONG>(end - ::GetTickCount()) <= 0) return false;
    ::Sleep(stepMs);
  }
  return true;
}

// Runs the window messages of this thread for a while (the test's own windows stay live).
void Pump(DWORD ms);

// Presses and releases a key, with a modifier (VK_SHIFT, VK_CONTROL) held when one is given,
// as keyboard input to whichever window has the foreground.
void PressKey(WORD key, WORD modifier = 0);

// True in a Wine session of the test's own (tools/own-session.sh), where key presses reach
// the program under test and nothing else moves the foreground.
bool InOwnSession();

// Points Wine's browser launcher, which the shell asks to open a web page, at a recorder
// script that notes each address it is given; false when the setting cannot be made.
bool OpenPagesWith(const rt::Text& recorder);

// Waits up to waitMs until the file at path holds other bytes than before; returns what it
// holds then (empty for a file that cannot be read).
std::string WaitForNewContent(const rt::Text& path, const std::string& before, DWORD waitMs);

// Asks a window's thread, from a thread of its own, whether it still handles messages, and
// keeps the longest stretch without an answer.
class ResponsivenessProbe {
public:
  explicit ResponsivenessProbe(HWND window);
  ~ResponsivenessProbe();
  ResponsivenessProbe(const ResponsivenessProbe&) = delete;
  ResponsivenessProbe& operator=(const ResponsivenessProbe&) = delete;

  // Stops asking; the longest stretch in seconds, a stretch still running counted too.
  double Stop();

private:
  void Poll();

  HWND window_;
  std::atomic<bool> stop_{false};
  double longest_ = 0;
  std::thread thread_;
};

}  // namespace e2e
