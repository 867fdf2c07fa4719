// Both programs from the keyboard alone: real key presses go to the program's window as the
// foreground window, and the focus is read back from the program's own thread. These tests
// run in a Wine session of their own (ctest e2e_own_session), where no other test's window
// takes the foreground.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "client/window_templates.h"
#include "e2e/program_driver.h"
#include "rt/handle_owners.h"
#include "rt/wide.h"
#include "service/service_control.h"

namespace {

using client::kAppIdEditUnit;
using client::kAppKeyEditUnit;
using client::kApplyIdLinkUnit;
using client::kFormatComboUnit;
using client::kSpeakerComboUnit;
using client::kSpeedSliderUnit;
using client::kSynthesizeButtonUnit;
using client::kTextEditUnit;
using client::kTimbreSliderUnit;

struct Program {
  const wchar_t* exe;
  rt::WindowTemplate (*layout)(const client::WindowHandlers&);
  std::vector<std::uint32_t> tabOrder;  // every unit that takes the focus, in template order
};

const Program kTtsClient{
    L"ttsclient-local.exe",
    &client::TtsClientWindow,
    {kAppIdEditUnit, kAppKeyEditUnit, kTextEditUnit, kApplyIdLinkUnit, kSpeakerComboUnit,
     kFormatComboUnit, kSynthesizeButtonUnit, kSpeedSliderUnit, kTimbreSliderUnit}};
const Program kBuiltin{L"ttsclient-builtin-local.exe",
                       &client::BuiltinClientWindow,
                       {kTextEditUnit, kApplyIdLinkUnit, kSpeakerComboUnit, kFormatComboUnit,
                        kSynthesizeButtonUnit, kSpeedSliderUnit, kTimbreSliderUnit}};

class KeyboardTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!e2e::InOwnSession()) GTEST_SKIP() << "needs a Wine session of its own (ctest)";
  }

  // Starts the program and makes its window the foreground, as a user's click on it would.
  static std::unique_ptr<e2e::ProgramUnderTest> Start(const Program& p) {
    auto program = std::make_unique<e2e::ProgramUnderTest>(p.exe, p.layout({}));
    if (program->started()) ::SetForegroundWindow(program->window());
    return program;
  }

  // Presses Tab until the focus reaches unitId; false when it never does.
  static bool TabTo(const e2e::ProgramUnderTest& program, std::uint32_t unitId, int most = 12) {
    for (int i = 0; i < most && program.FocusedUnit() != unitId; ++i) {
      const std::uint32_t before = program.FocusedUnit();
      e2e::PressKey(VK_TAB);
      e2e::WaitUntil(2000, 20, [&] { return program.FocusedUnit() != before; });
    }
    return program.FocusedUnit() == unitId;
  }
};

TEST_F(KeyboardTest, TabAndShiftTabGoRoundEveryUnitThatTakesTheFocus) {
  for (const Program* p : {&kTtsClient, &kBuiltin}) {
    SCOPED_TRACE(rt::NarrowToGbk(p->exe).str());
    const auto program = Start(*p);
    ASSERT_TRUE(program->started());
    const std::vector<std::uint32_t>& order = p->tabOrder;
    // At start the first unit has the focus, so typing goes there without a click.
    EXPECT_EQ(order.front(), program->WaitForFocus(order.front()));
    for (std::size_t i = 1; i <= order.size(); ++i) {
      e2e::PressKey(VK_TAB);
      const std::uint32_t expected = order[i % order.size()];
      EXPECT_EQ(expected, program->WaitForFocus(expected)) << "Tab " << i;
    }
    for (std::size_t i = 1; i <= order.size(); ++i) {
      e2e::PressKey(VK_TAB, VK_SHIFT);
      const std::uint32_t expected = order[(order.size() - i) % order.size()];
      EXPECT_EQ(expected, program->WaitForFocus(expected)) << "Shift+Tab " << i;
    }
    // Only the field with the focus shows a selection; the combo boxes left behind show none.
    for (std::uint32_t combo : {kSpeakerComboUnit, kFormatComboUnit}) {
      const LRESULT selection = ::SendMessageW(program->Unit(combo), CB_GETEDITSEL, 0, 0);
      EXPECT_EQ(LOWORD(selection), HIWORD(selection)) << combo;
    }
    EXPECT_EQ(0, program->Close());
  }
}

TEST_F(KeyboardTest, TheTextBoxKeepsEnterForNewLinesAndLetsTabGoOn) {
  const auto program = Start(kBuiltin);
  ASSERT_TRUE(program->started());
  ASSERT_EQ(kTextEditUnit, program->WaitForFocus(kTextEditUnit));
  program->SetText(kTextEditUnit, "ab");
  e2e::PressKey(VK_END);
  e2e::PressKey(VK_RETURN);
  e2e::PressKey('C');
  // Ctrl+Tab leaves the box as Tab does (the round of plain Tabs is tested above).
  e2e::PressKey(VK_TAB, VK_CONTROL);
  EXPECT_EQ(kApplyIdLinkUnit, program->WaitForFocus(kApplyIdLinkUnit));
  EXPECT_EQ(rt::Text("ab\r\nc"), program->ReadText(kTextEditUnit)) << "no tab character typed";
  // Tab into the box again selects its text, as in a dialog, so that it can be retyped.
  e2e::PressKey(VK_TAB, VK_SHIFT);
  ASSERT_EQ(kTextEditUnit, program->WaitForFocus(kTextEditUnit));
  e2e::PressKey('D');
  e2e::WaitUntil(2000, 20, [&] { return program->ReadText(kTextEditUnit) == rt::Text("d"); });
  EXPECT_EQ(rt::Text("d"), program->ReadText(kTextEditUnit));
  EXPECT_EQ(0, program->Close());
}

TEST_F(KeyboardTest, EnterAndSpaceOnTheLinkOpenTheProductPage) {
  ASSERT_TRUE(e2e::OpenPagesWith(LUMIVOX_OWN_URL_RECORDER));
  const std::wstring log = rt::WidenGbk(LUMIVOX_OWN_URL_LOG);
  const std::string page = std::string(LUMIVOX_PRODUCT_PAGE) + "\n";
  ::DeleteFileW(log.c_str());
  const auto program = Start(kBuiltin);
  ASSERT_TRUE(program->started());
  ASSERT_TRUE(TabTo(*program, kApplyIdLinkUnit));
  std::string opened;
  for (WORD key : {WORD{VK_RETURN}, WORD{VK_SPACE}}) {
    const std::string before = opened;
    e2e::PressKey(key);
    opened = e2e::WaitForNewContent(LUMIVOX_OWN_URL_LOG, before, 20000);
    EXPECT_EQ(before + page, opened) << "key " << key;
  }
  EXPECT_EQ(kApplyIdLinkUnit, program->FocusedUnit());
  EXPECT_EQ(0, program->Close());
  ::DeleteFileW(log.c_str());
}

TEST_F(KeyboardTest, EnterAndSpaceOnTheButtonSynthesize) {
  ASSERT_TRUE(service_control::Configure("{}"));
  service_control::Control("/__requests?clear=1");
  const auto program = Start(kTtsClient);
  ASSERT_TRUE(program->started());
  ASSERT_TRUE(TabTo(*program, kSynthesizeButtonUnit));
  std::size_t requests = 0;
  for (WORD key : {WORD{VK_RETURN}, WORD{VK_SPACE}}) {
    e2e::PressKey(key);
    e2e::WaitUntil(30000, 100, [&] { return service_control::RawBodies().size() != requests; });
    EXPECT_EQ(++requests, service_control::RawBodies().size()) << "key " << key;
    EXPECT_EQ(kSynthesizeButtonUnit, program->WaitForFocus(kSynthesizeButtonUnit));
  }
  EXPECT_EQ("", program->TakeMessageBox(500).str());
  EXPECT_EQ(0, program->Close());
}

TEST_F(KeyboardTest, ReactivatedWindowGivesTheFocusBackToTheUnitThatHadIt) {
  const auto program = Start(kTtsClient);
  ASSERT_TRUE(program->started());
  ASSERT_TRUE(TabTo(*program, kAppKeyEditUnit));
  // A window of the test's own takes the foreground away from the program.
  const rt::UniqueWindow other(
      ::CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 700, 500, 200,
                        100, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
  ASSERT_TRUE(other);
  ::SetForegroundWindow(other.get());
  e2e::Pump(300);
  EXPECT_EQ(0u, program->WaitForFocus(0)) << "the program lost the foreground";
  ::SetForegroundWindow(program->window());
  e2e::Pump(300);
  EXPECT_EQ(kAppKeyEditUnit, program->WaitForFocus(kAppKeyEditUnit));
  EXPECT_EQ(0, program->Close());
}

}  // namespace
