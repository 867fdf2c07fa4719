// The programs under heavier use than a single click: unusual input, clicks piling up
// during a slow synthesis, and hundreds of syntheses in one process.
#include <gtest/gtest.h>
#include <windows.h>

// After windows.h, which it needs.
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "client/synthesis.h"
#include "client/window_templates.h"
#include "common/bytes.h"
#include "e2e/program_driver.h"
#include "rt/file.h"
#include "rt/wide.h"
#include "service/service_control.h"

namespace {

using client::kAppIdEditUnit;
using client::kAppKeyEditUnit;
using client::kSynthesizeButtonUnit;
using client::kTextEditUnit;

using service_control::Control;
using service_control::FormField;
using service_control::RawBodies;
using test_common::ReadAll;

const std::string kPrevious = "audio of an earlier synthesis";

std::string Repeated(const std::string& piece, std::size_t minBytes) {
  std::string out;
  while (out.size() < minBytes) out += piece;
  return out;
}

int RequestsReceived() {
  const std::string records = Control("/__requests").str();
  int count = 0;
  for (std::size_t at = records.find("\"raw_body\""); at != std::string::npos;
       at = records.find("\"raw_body\"", at + 1)) {
    ++count;
  }
  return count;
}

ULONGLONG LastWrite(const rt::Text& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(rt::WidenGbk(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

ULONGLONG Now() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

class LoadTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(service_control::Configure("{}"));
    Control("/__requests?clear=1");
    Control("/__last_audio?clear=1");
    path_ = client::SpeechFilePath();
    ASSERT_FALSE(path_.empty());
    ASSERT_TRUE(rt::WriteFile(path_, rt::ByteSet(kPrevious)));
  }
  void TearDown() override { service_control::Configure("{}"); }

  // Waits until the service has served audio and the desktop file holds exactly it.
  bool WaitForServedAudioInTheFile(DWORD ms) const {
    return e2e::WaitUntil(ms, 50, [&] {
      const std::string served = service_control::ServedAudio().str();
      return served.size() > 100 && ReadAll(path_) == served;
    });
  }

  rt::Text path_;
};

TEST_F(LoadTest, UnusualInputTravelsWhole) {
  struct Case {
    const char* name;
    std::string text;  // GBK, typed into the edit box
    std::string utf8;  // the same text as the service must receive it
  };
  const std::string line = "西蓝花，9块5每斤。\r\n";
  const std::string lineUtf8 = u8"西蓝花，9块5每斤。\r\n";
  const std::string big = Repeated(line, 100 * 1024);
  const std::string bigUtf8 = Repeated(lineUtf8, big.size() / line.size() * lineUtf8.size());
  const std::vector<Case> cases = {
      {"empty text", "", ""},
      {"100 KB text", big, bigUtf8},
      // Lead bytes A1-A9, A3, B0-F7, 81-A0 and AA-FE: each range converts on its own path.
      {"GBK symbols", "、【α─", u8"、【α─"},
      {"full-width", "Ａ！", u8"Ａ！"},
      {"GB2312", "啊齄", u8"啊齄"},
      {"GBK/3", "丂狛", u8"丂狛"},
      {"GBK/4", "狜﨩", u8"狜﨩"},
      // Characters that would split or change the form body if sent as they are.
      {"form characters", "a&b=c+d%20 ~_*/?", "a&b=c+d%20 ~_*/?"},
  };
  // espeak-ng takes minutes over 100 KB; the request still carries all of it.
  ASSERT_TRUE(service_control::Configure("{\"speak_first_chars\": 40}"));
  int tried = 0, passed = 0, lost = 0;
  for (const e2e::LocalProgram& p : e2e::LocalPrograms()) {
    e2e::ProgramUnderTest program(p.exe, p.layout);
    ASSERT_TRUE(program.started());
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      ++tried;
      Control("/__requests?clear=1");
      Control("/__last_audio?clear=1");
      program.SetText(kTextEditUnit, rt::Text(std::string_view(c.text)));
      // The box must hold the whole text, or the user's text is cut before it is sent.
      const int held =
          static_cast<int>(::SendMessageW(program.Unit(kTextEditUnit), WM_GETTEXTLENGTH, 0, 0));
      const bool whole =
          held == static_cast<int>(rt::WidenGbk(rt::Text(std::string_view(c.text))).size());
      EXPECT_TRUE(whole) << held;
      program.Click(kSynthesizeButtonUnit);
      const bool fileOk = WaitForServedAudioInTheFile(60000);
      EXPECT_TRUE(fileOk) << program.TakeMessageBox(0).str();
      const std::vector<std::string> bodies = RawBodies();
      const bool bodyOk = bodies.size() == 1 &&
                          FormField(bodies[0], "text") == test_common::PercentEncode(c.utf8) &&
                          FormField(bodies[0], "time_stamp").size() == 10;
      EXPECT_TRUE(bodyOk) << (bodies.empty() ? "no request" : bodies[0].substr(0, 300));
      const bool signOk =
          Control("/__requests").str().find("\"sign_ok\": true") != std::string::npos;
      EXPECT_TRUE(signOk);
      lost += fileOk ? 0 : 1;
      passed += whole && fileOk && bodyOk && signOk ? 1 : 0;
    }
    EXPECT_TRUE(program.Alive());
    EXPECT_EQ(0, program.Close());
  }

  // Credentials are sent as typed, however long; the key only through the signature.
  const std::string longId = Repeated("0123456789", 5000).substr(0, 5000);
  const std::string longKey = Repeated("Hx4PnQ8sWe2LkT6u", 5000).substr(0, 5000);
  struct Credentials {
    const char* name;
    std::string id, key, text;
  };
  const Credentials credentials[] = {{"empty credentials", "", "", "empty id"},
                                     {"5000-character credentials", longId, longKey, "long id"}};
  ASSERT_TRUE(service_control::Configure(
      rt::Text("{\"keys\": {\"" + longId + "\": \"" + longKey + "\"}}")));
  e2e::ProgramUnderTest program(L"ttsclient-local.exe", client::TtsClientWindow({}));
  ASSERT_TRUE(program.started());
  for (const Credentials& c : credentials) {
    SCOPED_TRACE(c.name);
    ++tried;
    Control("/__requests?clear=1");
    Control("/__last_audio?clear=1");
    program.SetText(kTextEditUnit, rt::Text(std::string_view(c.text)));
    program.SetText(kAppIdEditUnit, rt::Text(std::string_view(c.id)));
    program.SetText(kAppKeyEditUnit, rt::Text(std::string_view(c.key)));
    program.Click(kSynthesizeButtonUnit);
    const bool fileOk = WaitForServedAudioInTheFile(30000);
    EXPECT_TRUE(fileOk) << program.TakeMessageBox(0).str();
    const std::vector<std::string> bodies = RawBodies();
    const bool bodyOk = bodies.size() == 1 && FormField(bodies[0], "app_id") == c.id &&
                        bodies[0].find("app_key") == std::string::npos &&
                        FormField(bodies[0], "sign").size() == 32;
    EXPECT_TRUE(bodyOk) << (bodies.empty() ? "no request" : bodies[0].substr(0, 300));
    const bool signOk = Control("/__requests").str().find("\"sign_ok\": true") != std::string::npos;
    EXPECT_TRUE(signOk);
    lost += fileOk ? 0 : 1;
    passed += fileOk && bodyOk && signOk ? 1 : 0;
  }
  EXPECT_EQ(0, program.Close());
  std::printf("[ input ] %d tried, %d passed, %d lost files\n", tried, passed, lost);
}

TEST_F(LoadTest, ClicksDuringASlowSynthesisNestAndTheWindowStaysLive) {
  e2e::ProgramUnderTest program(L"ttsclient-builtin-local.exe", client::BuiltinClientWindow({}));
  ASSERT_TRUE(program.started());
  const HWND window = program.window();

  // One slow synthesis with a big reply: a repaint asked for while it runs is done before
  // its file is written, so the handler's own message pumping did it.
  ASSERT_TRUE(service_control::Configure("{\"stall_seconds\": 1, \"pad_audio_bytes\": 4000000}"));
  program.SetText(kTextEditUnit, "慢");
  program.Click(kSynthesizeButtonUnit);
  e2e::WaitUntil(4000, 20, [&] { return RequestsReceived() != 0; });
  ASSERT_EQ(1, RequestsReceived());
  ::InvalidateRect(window, nullptr, FALSE);
  ULONGLONG paintedAt = 0;
  for (int i = 0; i < 10000 && paintedAt == 0; ++i) {
    if (!::GetUpdateRect(window, nullptr, FALSE)) paintedAt = Now();
    ::Sleep(1);
  }
  ASSERT_TRUE(WaitForServedAudioInTheFile(30000)) << program.TakeMessageBox(0).str();
  EXPECT_NE(0u, paintedAt);
  EXPECT_LT(paintedAt, LastWrite(path_)) << "the repaint waited for the synthesis to end";

  // Twenty clicks at once while every reply stalls.
  constexpr int kClicks = 20;
  const std::string before = ReadAll(path_);
  Control("/__requests?clear=1");
  Control("/__last_audio?clear=1");
  ASSERT_TRUE(service_control::Configure("{\"stall_seconds\": 0.5}"));
  program.SetText(kTextEditUnit, "快");
  for (int i = 0; i < kClicks; ++i) program.Click(kSynthesizeButtonUnit);
  bool answeredInFlight = false;
  int requestsAtFirstFile = -1;
  const DWORD end = ::GetTickCount() + 60000;
  int received = 0;
  while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
    received = RequestsReceived();
    const bool fileUnchanged = ReadAll(path_) == before;
    if (!fileUnchanged && requestsAtFirstFile < 0) requestsAtFirstFile = received;
    if (received > 0 && fileUnchanged && !answeredInFlight) {
      DWORD_PTR result = 0;
      answeredInFlight =
          ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0 &&
          ReadAll(path_) == before;
    }
    if (received == kClicks && !fileUnchanged) break;
    ::Sleep(20);
  }
  EXPECT_EQ(kClicks, received);
  EXPECT_TRUE(answeredInFlight);
  // The outer syntheses end after the inner ones; give them time, then look.
  const bool fileOk = WaitForServedAudioInTheFile(30000);
  ::Sleep(1500);
  EXPECT_TRUE(fileOk);
  EXPECT_EQ(kClicks, RequestsReceived());
  EXPECT_TRUE(program.Alive());
  EXPECT_EQ("", program.TakeMessageBox(0).str());
  EXPECT_EQ(0, program.Close());
  // Once the program has ended, every synthesis has replaced the file and nobody holds it.
  const std::string served = service_control::ServedAudio().str();
  const std::string written = ReadAll(path_);
  EXPECT_TRUE(served == written) << "served " << served.size() << " bytes, the file holds "
                                 << written.size();
  std::printf(
      "[ re-entrancy ] %d clicks, %d requests reached the service, %d of them before the first "
      "file was written (%s), window answered during a synthesis: %s, %d lost files\n",
      kClicks, received, requestsAtFirstFile,
      requestsAtFirstFile == kClicks ? "nested" : "one after another",
      answeredInFlight ? "yes" : "no", fileOk ? 0 : 1);
}

struct Figures {
  bool handlesKnown = false;
  DWORD handles = 0;
  DWORD gdiObjects = 0;
  DWORD userObjects = 0;
  SIZE_T pagefileBytes = 0;
};

Figures FiguresOf(HANDLE process) {
  Figures f;
  f.handlesKnown = ::GetProcessHandleCount(process, &f.handles) != 0;
  f.gdiObjects = ::GetGuiResources(process, GR_GDIOBJECTS);
  f.userObjects = ::GetGuiResources(process, GR_USEROBJECTS);
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (::GetProcessMemoryInfo(process, &counters, sizeof counters)) {
    f.pagefileBytes = counters.PagefileUsage;
  }
  return f;
}

TEST_F(LoadTest, TwoHundredSynthesesLeaveResourcesFlat) {
  constexpr int kSyntheses = 200;
  constexpr int kWarmUp = 20;
  constexpr DWORD kHandleBound = 10;
  constexpr SIZE_T kMemoryBound = 8u << 20;
  e2e::ProgramUnderTest program(L"ttsclient-builtin-local.exe", client::BuiltinClientWindow({}));
  ASSERT_TRUE(program.started());
  program.SetText(kTextEditUnit, "abc");
  Figures warm, last;
  int lost = 0;
  ULONGLONG written = LastWrite(path_);
  for (int i = 1; i <= kSyntheses; ++i) {
    Control("/__requests?clear=1");
    program.Click(kSynthesizeButtonUnit);
    // The file is replaced by every synthesis: a new write time marks its end.
    bool done = false;
    for (int wait = 0; wait < 1000 && !done; ++wait) {
      const ULONGLONG now = LastWrite(path_);
      done = now != written && now != 0;
      if (done) written = now;
      if (!done) ::Sleep(10);
    }
    if (!done) ++lost;
    ASSERT_TRUE(program.Alive()) << i;
    if (i == kWarmUp) warm = FiguresOf(program.process());
  }
  ::Sleep(500);
  last = FiguresOf(program.process());
  EXPECT_EQ(0, lost);
  EXPECT_TRUE(service_control::ServedAudio().str() == ReadAll(path_));
  if (warm.handlesKnown && last.handlesKnown) {
    EXPECT_LE(last.handles, warm.handles + kHandleBound);
  } else {
    std::printf(
        "[ leaks ] note: GetProcessHandleCount fails for the program's process here "
        "(error %lu); handles not checked\n",
        ::GetLastError());
  }
  EXPECT_LE(last.pagefileBytes, warm.pagefileBytes + kMemoryBound);
  if (warm.gdiObjects == 0 && last.gdiObjects == 0) {
    std::printf("[ leaks ] note: GetGuiResources gives 0 here; GDI and USER objects not checked\n");
  } else {
    EXPECT_LE(last.gdiObjects, warm.gdiObjects + kHandleBound);
    EXPECT_LE(last.userObjects, warm.userObjects + kHandleBound);
  }
  EXPECT_EQ(0, program.Close());
  std::printf(
      "[ leaks ] %d syntheses, after %d -> end: handles %lu -> %lu (bound +%lu), GDI objects %lu "
      "-> %lu, USER objects %lu -> %lu, pagefile %.1f -> %.1f MB (bound +%.0f MB), %d lost "
      "files\n",
      kSyntheses, kWarmUp, warm.handles, last.handles, kHandleBound, warm.gdiObjects,
      last.gdiObjects, warm.userObjects, last.userObjects, warm.pagefileBytes / 1048576.0,
      last.pagefileBytes / 1048576.0, kMemoryBound / 1048576.0, lost);
}

}  // namespace
