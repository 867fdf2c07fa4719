// The live windows of both programs, made by the form engine from their templates.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <string>
#include <vector>

#include "client/credentials.h"
#include "client/handlers.h"
#include "client/screenshot.h"
#include "client/window_templates.h"
#include "rt/form_engine.h"
#include "rt/handle_owners.h"
#include "rt/startup.h"
#include "rt/wide.h"

namespace {

using client::kMainWindowId;

struct ExpectedUnit {
  const char* name;
  const wchar_t* cls;
  std::uint32_t id;
  RECT rect;  // left, top, width, height
  const char* text;
};

constexpr char kSample[] = "西蓝花，9块5每斤。\r\n金龙鱼调和油特价48块8一桶。";
constexpr char kNote[] =
    "登陆后去创建应用选择语音合成，添加应用语音合成\r\n填写你的Id & Key在左边的框内\r\n";

const std::vector<ExpectedUnit> kCommonUnits = {
    {"超级按钮1", L"Button", 0x16017f44, {424, 8, 136, 24}, "点此申请id"},
    {"标签3", L"Static", 0x16017f43, {432, 35, 120, 85}, kNote},
    {"标签4", L"Static", 0x16017f46, {427, 129, 33, 32}, "声音："},
    {"组合框1", L"ComboBox", 0x16017f3d, {472, 136, 88, 0}, "碧萱女声"},
    {"标签11", L"Static", 0x16017f54, {426, 170, 80, 16}, "输出文件格式："},
    {"组合框2", L"ComboBox", 0x16017f53, {512, 169, 48, 0}, "MP3"},
    {"标签12", L"Static", 0x16017f56, {432, 203, 120, 32}, "默认输出到软件所在目录"},
    {"按钮1", L"Button", 0x16010002, {432, 264, 120, 32}, "语音合成"},
    {"标签5", L"Static", 0x16017f49, {8, 268, 32, 24}, "语速："},
    {"滑块条1", L"msctls_trackbar32", 0x16017f47, {43, 265, 120, 31}, ""},
    {"标签6", L"Static", 0x16017f4a, {50, 297, 32, 16}, "50"},
    {"标签7", L"Static", 0x16017f4b, {141, 297, 32, 16}, "100"},
    {"标签8", L"Static", 0x16017f4d, {192, 269, 32, 24}, "音色："},
    {"滑块条2", L"msctls_trackbar32", 0x16017f4c, {232, 265, 168, 32}, ""},
    {"标签9", L"Static", 0x16017f4e, {240, 299, 16, 16}, "0"},
    {"标签10", L"Static", 0x16017f4f, {377, 298, 32, 16}, "100"},
};

std::vector<ExpectedUnit> TtsClientUnits() {
  std::vector<ExpectedUnit> units = {
      {"分组框2", L"Button", 0x16017f42, {5, 4, 416, 92}, "配置区域"},
      {"标签1", L"Static", 0x16017f3e, {16, 23, 48, 24}, "App_id："},
      {"编辑框2", L"Edit", 0x16017f3f, {64, 23, 176, 24}, ""},
      {"标签2", L"Static", 0x16017f40, {9, 61, 48, 16}, "App_Key："},
      {"编辑框3", L"Edit", 0x16017f41, {64, 57, 176, 24}, ""},
      {"分组框1", L"Button", 0x16017f3b, {5, 99, 416, 157}, "文字输入区域"},
      {"编辑框1", L"Edit", 0x1601411b, {16, 121, 392, 127}, kSample},
  };
  units.insert(units.end(), kCommonUnits.begin(), kCommonUnits.end());
  return units;
}

std::vector<ExpectedUnit> BuiltinUnits() {
  std::vector<ExpectedUnit> units = {
      {"分组框1", L"Button", 0x16017f3b, {5, 8, 416, 248}, "文字输入区域"},
      {"编辑框1", L"Edit", 0x1601411b, {16, 32, 392, 216}, kSample},
  };
  units.insert(units.end(), kCommonUnits.begin(), kCommonUnits.end());
  return units;
}

int Dpi() {
  const rt::WindowDc screen(nullptr);
  return ::GetDeviceCaps(screen.get(), LOGPIXELSY);
}
// The dpi that the test's own Wine session was made with; 0 in the shared session.
int DpiAskedFor() {
  wchar_t value[16] = {};
  return ::GetEnvironmentVariableW(L"LUMIVOX_WINE_DPI", value, 16) > 0 ? _wtoi(value) : 0;
}
int Scaled(int v) { return ::MulDiv(v, Dpi(), 96); }

rt::Text WindowText(HWND hwnd) {
  wchar_t buffer[512] = {};
  const int n = ::GetWindowTextW(hwnd, buffer, 512);
  return rt::NarrowToGbk(buffer, n);
}

void PumpFor(DWORD ms) {
  const DWORD end = ::GetTickCount() + ms;
  while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    ::Sleep(10);
  }
}

// What the handlers saw, for the binding tests.
struct Seen {
  int created = 0;
  bool visibleAtCreation = true;
  bool unitsAtCreation = false;
  int linkClicks = 0;
  int synthesizeClicks = 0;
} g_seen;

void RecordCreated() {
  ++g_seen.created;
  g_seen.visibleAtCreation = ::IsWindowVisible(rt::FindUnit(kMainWindowId, client::kWindowUnit));
  g_seen.unitsAtCreation = rt::FindUnit(kMainWindowId, client::kSynthesizeButtonUnit) != nullptr;
}
void RecordLink() { ++g_seen.linkClicks; }
void RecordSynthesize() { ++g_seen.synthesizeClicks; }

const client::WindowHandlers kRecording{&RecordCreated, &RecordLink, &RecordSynthesize};

struct Program {
  const char* name;
  rt::WindowTemplate (*make)(const client::WindowHandlers&);
  std::vector<ExpectedUnit> (*units)();
};

class MainWindowTest : public ::testing::TestWithParam<Program> {
protected:
  void SetUp() override {
    if (DpiAskedFor() != 0) {
      ASSERT_EQ(DpiAskedFor(), Dpi()) << "the session's display scaling";
    }
    g_seen = Seen();
    hwnd_ = rt::LoadWindow(GetParam().make(kRecording), SW_SHOWNORMAL, false);
    ASSERT_NE(nullptr, hwnd_);
    PumpFor(300);
  }
  void TearDown() override { rt::UnloadWindow(kMainWindowId); }
  HWND Unit(std::uint32_t id) { return rt::FindUnit(kMainWindowId, id); }
  HWND hwnd_ = nullptr;
};

TEST_P(MainWindowTest, WindowHasItsGeometryCaptionAndIcon) {
  RECT rc;
  ::GetWindowRect(hwnd_, &rc);
  EXPECT_EQ(Scaled(50), rc.left);
  EXPECT_EQ(Scaled(50), rc.top);
  EXPECT_EQ(Scaled(570), rc.right - rc.left);
  EXPECT_EQ(Scaled(347), rc.bottom - rc.top);
  EXPECT_EQ(rt::Text("Lumivox"), WindowText(hwnd_));
  EXPECT_NE(0, ::SendMessageW(hwnd_, WM_GETICON, ICON_BIG, 0));
}

TEST_P(MainWindowTest, EveryUnitHasItsClassTextAndGeometry) {
  const std::vector<ExpectedUnit> units = GetParam().units();
  EXPECT_EQ(units.size() + 1, GetParam().make(kRecording).units.size());
  for (const ExpectedUnit& u : units) {
    SCOPED_TRACE(u.name);
    HWND control = Unit(u.id);
    ASSERT_NE(nullptr, control);
    wchar_t cls[64] = {};
    ::GetClassNameW(control, cls, 64);
    EXPECT_EQ(0, lstrcmpiW(u.cls, cls)) << rt::NarrowToGbk(cls).str();
    if (*u.text || lstrcmpiW(u.cls, L"Edit") == 0) {
      EXPECT_EQ(rt::Text(u.text), WindowText(control));
    }
    RECT rc;
    ::GetWindowRect(control, &rc);
    ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_EQ(Scaled(u.rect.left), rc.left);
    EXPECT_EQ(Scaled(u.rect.top), rc.top);
    EXPECT_EQ(Scaled(u.rect.right), rc.right - rc.left);
    if (u.rect.bottom != 0) {
      EXPECT_EQ(Scaled(u.rect.bottom), rc.bottom - rc.top);
    }
    EXPECT_TRUE(::IsWindowVisible(control));
  }
}

TEST_P(MainWindowTest, TextBoxesAndLabelsHaveTheirStyles) {
  const LONG text = ::GetWindowLongW(Unit(client::kTextEditUnit), GWL_STYLE);
  EXPECT_EQ(static_cast<LONG>(ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL),
            text & (ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL));
  EXPECT_EQ(0, text & ES_AUTOHSCROLL) << "lines wrap at the right edge";
  // "&" in the instructions is text, not a mnemonic.
  EXPECT_TRUE(::GetWindowLongW(Unit(0x16017f43), GWL_STYLE) & SS_NOPREFIX);
  for (std::uint32_t note : {0x16017f43u, 0x16017f56u}) {
    LOGFONTW lf{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Unit(note), WM_GETFONT, 0, 0)), sizeof(lf),
                 &lf);
    EXPECT_EQ(Scaled(-12), lf.lfHeight);
    EXPECT_EQ(400, lf.lfWeight);
    EXPECT_EQ(134, lf.lfCharSet);
    EXPECT_EQ(VARIABLE_PITCH | FF_SWISS, lf.lfPitchAndFamily);
  }
}

TEST_P(MainWindowTest, CombosHoldTheirEntriesItemDataAndSelection) {
  struct Case {
    std::uint32_t unit;
    std::vector<std::pair<const char*, int>> entries;
    int selection;
  };
  const Case cases[] = {
      {client::kSpeakerComboUnit,
       {{"普通话男声", 1}, {"静琪女声", 5}, {"欢馨女声", 6}, {"碧萱女声", 7}},
       3},
      {client::kFormatComboUnit, {{"PCM", 1}, {"WAV", 2}, {"MP3", 3}}, 2},
  };
  for (const Case& c : cases) {
    HWND combo = Unit(c.unit);
    EXPECT_EQ(CBS_DROPDOWN, ::GetWindowLongW(combo, GWL_STYLE) & 3);
    ASSERT_EQ(static_cast<LRESULT>(c.entries.size()), ::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      wchar_t item[64] = {};
      ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      EXPECT_EQ(rt::Text(c.entries[i].first), rt::NarrowToGbk(item));
      EXPECT_EQ(c.entries[i].second, rt::ComboItemData(c.unit, static_cast<int>(i)));
    }
    EXPECT_EQ(c.selection, rt::RtReadProperty(kMainWindowId, c.unit, 19).number);
    // What the edit field shows is the entry whose item data the request sends.
    EXPECT_EQ(rt::Text(c.entries[static_cast<std::size_t>(c.selection)].first), WindowText(combo));
    EXPECT_EQ(-1, rt::ComboItemData(c.unit, -1));
    EXPECT_EQ(-1, rt::ComboItemData(c.unit, static_cast<int>(c.entries.size())));
  }
  EXPECT_EQ(-1, rt::ComboItemData(client::kTextEditUnit, 0)) << "not a combo box";
}

TEST_P(MainWindowTest, SlidersHaveRangePositionAndSteps) {
  struct Case {
    std::uint32_t unit;
    int minimum, maximum, position, ticks;
  };
  for (const Case& c : {Case{client::kSpeedSliderUnit, 50, 100, 100, 6},
                        Case{client::kTimbreSliderUnit, 0, 100, 58, 11}}) {
    HWND slider = Unit(c.unit);
    EXPECT_EQ(c.minimum, ::SendMessageW(slider, TBM_GETRANGEMIN, 0, 0));
    EXPECT_EQ(c.maximum, ::SendMessageW(slider, TBM_GETRANGEMAX, 0, 0));
    EXPECT_EQ(c.position, rt::RtReadProperty(kMainWindowId, c.unit, 19).number);
    EXPECT_EQ(5, ::SendMessageW(slider, TBM_GETPAGESIZE, 0, 0));
    EXPECT_EQ(10, ::SendMessageW(slider, TBM_GETLINESIZE, 0, 0));
    EXPECT_EQ(c.ticks, ::SendMessageW(slider, TBM_GETNUMTICS, 0, 0)) << "a tick every 10";
    EXPECT_FALSE(::GetWindowLongW(slider, GWL_STYLE) & TBS_VERT);
  }
}

TEST_P(MainWindowTest, ContentReadsBackAsGbk) {
  EXPECT_EQ(rt::Text(kSample), rt::RtReadProperty(kMainWindowId, client::kTextEditUnit, 8).text);
  ::SetWindowTextW(Unit(client::kTextEditUnit), rt::WidenGbk("你好 abc").c_str());
  EXPECT_EQ(rt::Text("你好 abc"), rt::RtReadProperty(kMainWindowId, client::kTextEditUnit, 8).text);
  ::SendMessageW(Unit(client::kSpeakerComboUnit), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  EXPECT_EQ(-1, rt::RtReadProperty(kMainWindowId, client::kSpeakerComboUnit, 19).number);
  EXPECT_TRUE(rt::RtReadProperty(0x52010002, client::kTextEditUnit, 8).text.empty());
  EXPECT_TRUE(rt::RtReadProperty(kMainWindowId, 0x16019999, 8).text.empty());
}

TEST_P(MainWindowTest, EventZeroRunsOnceBeforeTheWindowShowsAndClicksReachTheirHandlers) {
  EXPECT_EQ(1, g_seen.created);
  EXPECT_FALSE(g_seen.visibleAtCreation);
  EXPECT_TRUE(g_seen.unitsAtCreation);
  ::SendMessageW(Unit(client::kApplyIdLinkUnit), BM_CLICK, 0, 0);
  EXPECT_EQ(1, g_seen.linkClicks);
  EXPECT_EQ(0, g_seen.synthesizeClicks);
  ::SendMessageW(Unit(client::kSynthesizeButtonUnit), BM_CLICK, 0, 0);
  EXPECT_EQ(1, g_seen.synthesizeClicks);
  EXPECT_EQ(1, g_seen.linkClicks);
}

// A control's own font (WM_GETFONT), selected into its DC for the scope.
class ControlFontDc {
public:
  explicit ControlFontDc(HWND control)
      : dc_(control),
        font_(dc_.get(), reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0))) {}
  HDC get() const { return dc_.get(); }

private:
  rt::WindowDc dc_;
  rt::ScopedSelection font_;
};

// Where one line of text puts ink, from its pen origin. A full-width colon's cell ends in
// blank space, so the ink, not the advance, tells whether a user sees the text cut off.
struct Ink {
  int advance = 0;
  int left = 0;   // first pixel: the first character's left bearing
  int right = 0;  // past the last pixel: the advance less the last character's right bearing
  int height = 0;
};

Ink LineInk(HWND control, const std::wstring& text) {
  const ControlFontDc dc(control);
  SIZE size{};
  ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
  ABC first{}, last{};
  ::GetCharABCWidthsW(dc.get(), text.front(), text.front(), &first);
  ::GetCharABCWidthsW(dc.get(), text.back(), text.back(), &last);
  return {size.cx, first.abcA, size.cx - last.abcC, size.cy};
}

// The height of text wrapped at width, as a label that wraps lays it out.
int WrappedHeight(HWND control, const std::wstring& text, int width) {
  const ControlFontDc dc(control);
  RECT rc{0, 0, width, 0};
  ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &rc,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  return rc.bottom;
}

int AverageCharWidth(HWND control) {
  const ControlFontDc dc(control);
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc.get(), &tm);
  return tm.tmAveCharWidth;
}

// The ink of a line drawn from origin stays within [0, width) and the line within height.
void ExpectLineFits(const std::string& what, const Ink& ink, int origin, int width, int height) {
  EXPECT_GE(origin + ink.left, 0) << what;
  EXPECT_LE(origin + ink.right, width) << what << ": ink to " << origin + ink.right << " (advance "
                                       << ink.advance << ") in " << width;
  EXPECT_LE(ink.height, height) << what;
}

// No caption is cut off: each fits the area its unit draws it in, in the unit's own font.
TEST_P(MainWindowTest, EveryCaptionFitsInsideItsUnit) {
  const int frame = ::GetSystemMetrics(SM_CXEDGE) + 1;  // a button's raised edge and focus gap
  for (const rt::UnitTemplate& unit : GetParam().make(kRecording).units) {
    HWND control = Unit(unit.unitId);
    const std::string name = unit.name.str();
    RECT client{};
    ::GetClientRect(control, &client);
    const std::wstring caption = rt::WidenGbk(WindowText(control));
    switch (unit.unitClass) {
      case rt::UnitClass::kLabel:
        if (unit.multiLine) {
          EXPECT_LE(WrappedHeight(control, caption, client.right), client.bottom) << name;
        } else {
          ExpectLineFits(name, LineInk(control, caption), 0, client.right, client.bottom);
        }
        break;
      case rt::UnitClass::kLinkButton:
        ExpectLineFits(name, LineInk(control, caption), 0, client.right, client.bottom);
        break;
      case rt::UnitClass::kButton: {
        const Ink ink = LineInk(control, caption);
        ExpectLineFits(name, ink, (client.right - ink.advance) / 2 - frame,
                       client.right - 2 * frame, client.bottom - 2 * frame);
        break;
      }
      case rt::UnitClass::kGroupBox:
        // The caption starts indented from the frame and ends before its right side.
        ExpectLineFits(name, LineInk(control, caption), AverageCharWidth(control),
                       client.right - AverageCharWidth(control), client.bottom);
        break;
      case rt::UnitClass::kComboBox: {
        // Every entry, once chosen, shows whole in the edit field between its margins.
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        ASSERT_TRUE(::GetComboBoxInfo(control, &info)) << name;
        RECT field{};
        ::GetClientRect(info.hwndItem, &field);
        const LRESULT margins = ::SendMessageW(info.hwndItem, EM_GETMARGINS, 0, 0);
        for (const rt::ComboEntry& entry : unit.entries) {
          ExpectLineFits(name + " " + entry.text.str(),
                         LineInk(info.hwndItem, rt::WidenGbk(entry.text)), 0,
                         field.right - LOWORD(margins) - HIWORD(margins), field.bottom);
        }
        break;
      }
      default: break;
    }
  }
}

std::wstring ScreenshotPath(const char* name) {
  const std::wstring dir = rt::ProgramDirectory() + L"screenshots";
  ::CreateDirectoryW(dir.c_str(), nullptr);
  return dir + L"\\" + rt::WidenGbk(name) + L".png";
}

TEST_P(MainWindowTest, ScreenshotShowsAWhiteWindowWithChineseGlyphs) {
  ::SetForegroundWindow(hwnd_);
  ::RedrawWindow(hwnd_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpFor(300);
  const testing_support::Screenshot shot = testing_support::CaptureWindow(hwnd_);
  ASSERT_EQ(Scaled(570), shot.width);
  ASSERT_EQ(Scaled(347), shot.height);
  const std::string name = DpiAskedFor() == 0
                               ? std::string(GetParam().name)
                               : GetParam().name + ("-" + std::to_string(Dpi())) + "dpi";
  EXPECT_TRUE(testing_support::WritePng(shot, ScreenshotPath(name.c_str())));

  RECT window, client;
  ::GetWindowRect(hwnd_, &window);
  ::GetClientRect(hwnd_, &client);
  POINT origin{0, 0};
  ::ClientToScreen(hwnd_, &origin);
  const int ox = origin.x - window.left, oy = origin.y - window.top;
  // Background between the units, and a label's own background.
  EXPECT_EQ(0xFFFFFFu, shot.At(ox + client.right - 3, oy + client.bottom - 3));
  EXPECT_EQ(0xFFFFFFu, shot.At(ox + Scaled(470), oy + Scaled(250)));
  EXPECT_EQ(0xFFFFFFu, shot.At(ox + Scaled(459), oy + Scaled(130)));

  // The Chinese instructions drew dark glyph pixels inside their label.
  int dark = 0;
  for (int y = Scaled(35); y < Scaled(35 + 85); ++y) {
    for (int x = Scaled(432); x < Scaled(432 + 120); ++x) {
      const std::uint32_t px = shot.At(ox + x, oy + y);
      if (((px >> 16) & 0xFF) + ((px >> 8) & 0xFF) + (px & 0xFF) < 3 * 128) ++dark;
    }
  }
  EXPECT_GT(dark, 200);
}

TEST_P(MainWindowTest, LabelFontsHaveTheChineseGlyphs) {
  for (std::uint32_t unit : {0x16017f43u, 0x16017f46u}) {
    const ControlFontDc dc(Unit(unit));
    const std::wstring chars = rt::WidenGbk("声音登陆");
    std::vector<WORD> glyphs(chars.size());
    ::GetGlyphIndicesW(dc.get(), chars.c_str(), static_cast<int>(chars.size()), glyphs.data(),
                       GGI_MARK_NONEXISTING_GLYPHS);
    for (WORD g : glyphs) EXPECT_NE(0xFFFF, g);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, MainWindowTest,
    ::testing::Values(Program{"ttsclient", &client::TtsClientWindow, &TtsClientUnits},
                      Program{"ttsclient-builtin", &client::BuiltinClientWindow, &BuiltinUnits}),
    [](const auto& info) { return std::string(info.index == 0 ? "TtsClient" : "Builtin"); });

TEST(Credentials, BuiltinWindowHasTheFixedCredentialsFromCreationUntilTheExitRoutine) {
  client::FreeGlobalTexts();
  ASSERT_NE(nullptr, rt::LoadWindow(client::BuiltinClientWindow(
                                        {&client::OnBuiltinMainWindowCreated, nullptr, nullptr}),
                                    SW_HIDE, false));
  EXPECT_EQ(rt::Text("2600417735"), client::CurrentAppId);
  EXPECT_EQ(rt::Text("Hx4PnQ8sWe2LkT6u"), client::CurrentAppKey);
  rt::UnloadWindow(kMainWindowId);
  client::FreeGlobalTexts();
  EXPECT_TRUE(client::CurrentAppId.empty());
  EXPECT_TRUE(client::CurrentAppKey.empty());
}

TEST(Credentials, TtsClientWindowLeavesThemEmpty) {
  client::FreeGlobalTexts();
  ASSERT_NE(nullptr, rt::LoadWindow(
                         client::TtsClientWindow({&client::OnMainWindowCreated, nullptr, nullptr}),
                         SW_HIDE, false));
  EXPECT_TRUE(client::CurrentAppId.empty());
  rt::UnloadWindow(kMainWindowId);
}

}  // namespace
