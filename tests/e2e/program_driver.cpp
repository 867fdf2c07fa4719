#include "e2e/program_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "client/window_templates.h"
#include "common/bytes.h"
#include "rt/startup.h"
#include "rt/wide.h"
#include "tools/program_windows.h"

namespace e2e {

std::vector<LocalProgram> LocalPrograms() {
  return {{L"ttsclient-local.exe", client::TtsClientWindow({})},
          {L"ttsclient-builtin-local.exe", client::BuiltinClientWindow({})}};
}

int IndexOfItemData(const rt::WindowTemplate& layout, std::uint32_t comboUnit, int data) {
  for (const rt::UnitTemplate& unit : layout.units) {
    if (unit.unitId != comboUnit) continue;
    for (std::size_t i = 0; i < unit.entries.size(); ++i) {
      if (unit.entries[i].data == data) return static_cast<int>(i);
    }
  }
  return -1;
}

void Pump(DWORD ms) {
  const DWORD end = ::GetTickCount() + ms;
  do {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(10);
  } while (static_cast<LONG>(end - ::GetTickCount()) > 0);
}

void PressKey(WORD key, WORD modifier) {
  std::vector<INPUT> inputs;
  const auto add = [&](WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  if (modifier != 0) add(modifier, false);
  add(key, false);
  add(key, true);
  if (modifier != 0) add(modifier, true);
  ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool InOwnSession() { return ::GetEnvironmentVariableW(L"LUMIVOX_WINEPREFIX", nullptr, 0) > 0; }

bool OpenPagesWith(const rt::Text& recorder) {
  const std::wstring command = rt::WidenGbk(recorder);
  return ::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\WineBrowser", L"Browsers", REG_SZ,
                           command.c_str(),
                           static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) ==
         ERROR_SUCCESS;
}

std::string WaitForNewContent(const rt::Text& path, const std::string& before, DWORD waitMs) {
  std::string content;
  WaitUntil(waitMs, 50, [&] {
    content = test_common::ReadAll(path);
    return content != before;
  });
  return content;
}

ProgramUnderTest::ProgramUnderTest(const std::wstring& exeName, rt::WindowTemplate layout)
    : layout_(std::move(layout)) {
  std::wstring commandLine = L"\"" + rt::ProgramDirectory() + exeName + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    return;
  }
  process_.reset(info.hProcess);
  thread_.reset(info.hThread);
  processId_ = info.dwProcessId;
  threadId_ = info.dwThreadId;
  WaitUntil(30000, 100, [&] {
    window_ = program_windows::FindTopWindow(processId_, false);
    return window_ != nullptr;
  });
  // The window shows before its units hold their start values; wait until it is idle.
  ::WaitForInputIdle(process_.get(), 10000);
}

ProgramUnderTest::~ProgramUnderTest() {
  if (!process_) return;
  if (Alive()) Close();
  if (Alive()) ::TerminateProcess(process_.get(), 1);
}

HWND ProgramUnderTest::Unit(std::uint32_t unitId) const {
  return program_windows::UnitControl(window_, layout_, unitId);
}

void ProgramUnderTest::SetText(std::uint32_t unitId, const rt::Text& text) {
  ::SendMessageW(Unit(unitId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(rt::WidenGbk(text).c_str()));
}

rt::Text ProgramUnderTest::ReadText(std::uint32_t unitId) const {
  wchar_t text[4096] = {};
  const LRESULT n = ::SendMessageW(Unit(unitId), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
  return rt::NarrowToGbk(text, static_cast<int>(n));
}

std::uint32_t ProgramUnderTest::FocusedUnit() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!::GetGUIThreadInfo(threadId_, &info) || info.hwndFocus == nullptr) return 0;
  for (std::size_t i = 1; i < layout_.units.size(); ++i) {
    HWND control = Unit(layout_.units[i].unitId);
    if (control != nullptr && (control == info.hwndFocus || ::IsChild(control, info.hwndFocus)))
      return layout_.units[i].unitId;
  }
  return 0;
}

std::uint32_t ProgramUnderTest::WaitForFocus(std::uint32_t unitId, DWORD waitMs) const {
  std::uint32_t focused = 0;
  WaitUntil(waitMs, 20, [&] {
    focused = FocusedUnit();
    return focused == unitId;
  });
  return focused;
}

void ProgramUnderTest::SelectEntry(std::uint32_t comboUnit, int index) {
  ::SendMessageW(Unit(comboUnit), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void ProgramUnderTest::SetSliderPosition(std::uint32_t sliderUnit, int position) {
  ::SendMessageW(Unit(sliderUnit), TBM_SETPOS, TRUE, position);
}

void ProgramUnderTest::Click(std::uint32_t unitId) { ::PostMessageW(Unit(unitId), BM_CLICK, 0, 0); }

rt::Text ProgramUnderTest::TakeMessageBox(DWORD waitMs) {
  HWND box = nullptr;
  if (!WaitUntil(waitMs, 50, [&] {
        box = program_windows::FindTopWindow(processId_, true);
        return box != nullptr;
      }))
    return rt::Text();
  return rt::NarrowToGbk(program_windows::TakeMessageBoxText(box).c_str());
}

bool ProgramUnderTest::Alive() const {
  return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

long ProgramUnderTest::Close() {
  ::PostMessageW(window_, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(process_.get(), 10000) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  ::GetExitCodeProcess(process_.get(), &code);
  return static_cast<long>(code);
}

bool ProgramUnderTest::WaitForNoMessageBox(DWORD waitMs) {
  return WaitUntil(waitMs, 20,
                   [&] { return program_windows::FindTopWindow(processId_, true) == nullptr; });
}

ResponsivenessProbe::ResponsivenessProbe(HWND window)
    : window_(window), thread_(&ResponsivenessProbe::Poll, this) {}

ResponsivenessProbe::~ResponsivenessProbe() { Stop(); }

double ResponsivenessProbe::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  return longest_;
}

void ResponsivenessProbe::Poll() {
  using Clock = std::chrono::steady_clock;
  Clock::time_point lastAnswer = Clock::now();
  while (!stop_) {
    DWORD_PTR result = 0;
    // A short time-out: the stretch is measured between answers, not by this wait.
    const bool answered =
        ::SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 100, &result) != 0;
    const Clock::time_point now = Clock::now();
    if (answered) {
      longest_ = std::max(longest_, std::chrono::duration<double>(now - lastAnswer).count());
      lastAnswer = now;
    }
    ::Sleep(20);
  }
  longest_ = std::max(longest_, std::chrono::duration<double>(Clock::now() - lastAnswer).count());
}

}  // namespace e2e
