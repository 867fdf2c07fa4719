#include "rt/handle_owners.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace rt {
namespace {

std::vector<int> g_closed;
struct RecordingCloser {
  void operator()(int h) const { g_closed.push_back(h); }
};
using Recorded = UniqueHandle<int, RecordingCloser, 0>;

// A handle closed twice may close another's that reused its number.
TEST(UniqueHandle, ClosesEachHandleOnceWhateverPathItTakes) {
  g_closed.clear();
  {
    Recorded a(1);
    Recorded b(std::move(a));  // the moved-from owner closes nothing
    Recorded c(2);
    c = std::move(b);  // 2 goes, 1 changes owner
    Recorded d(3);
    *d.put() = 4;  // 3 goes before the out-parameter is written
    Recorded e(5);
    EXPECT_EQ(e.release(), 5);  // handed over: never closed here
    c.reset(6);                 // 1 goes
  }
  EXPECT_EQ(g_closed, (std::vector<int>{2, 3, 1, 4, 6}));
}

TEST(AdoptFile, AFailedOpenHoldsNothing) {
  EXPECT_FALSE(AdoptFile(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(AdoptFile(::CreateFileW(L"C:\\lumivox-no-such-dir\\f", GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr)));
}

TEST(ScopedSelection, PutsBackTheObjectItReplaced) {
  const WindowDc screen(nullptr);
  ASSERT_TRUE(screen);
  const UniqueMemoryDc dc(::CreateCompatibleDC(screen.get()));
  ASSERT_TRUE(dc);
  const HGDIOBJ before = ::GetCurrentObject(dc.get(), OBJ_FONT);
  LOGFONTW lf{};
  lf.lfHeight = -20;
  const UniqueFont font(::CreateFontIndirectW(&lf));
  {
    const ScopedSelection selected(dc.get(), font.get());
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_FONT), font.get());
  }
  EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_FONT), before);
}

}  // namespace
}  // namespace rt
