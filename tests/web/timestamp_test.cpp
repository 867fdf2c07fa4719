#include "web/timestamp.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "rt/dll_commands.h"

namespace web {
namespace {

class CurrentTimestampTest : public ::testing::Test {
protected:
  void TearDown() override { SetTimestampClock({}); }

  static void UseClock(std::int64_t seconds, int ms) {
    SetTimestampClock({[ms] { return ms; }, [seconds] { return seconds; }});
  }
};

struct StampCase {
  std::int64_t seconds;
  int ms;
  const char* tenDigits;
  const char* thirteenDigits;
};

const StampCase kStampCases[] = {
    {1700000000, 42, "1700000000", "1700000000042"},
    {1700000000, 0, "1700000000", "1700000000000"},
    {1700000000, 999, "1700000000", "1700000000999"},
    {1700000000, 7, "1700000000", "1700000000007"},
    // Nine-digit seconds: the first millisecond digit fills the tenth place, and the
    // long form is padded with one 0 at its end.
    {999999999, 42, "9999999990", "9999999990420"},
    {999999999, 999, "9999999999", "9999999999990"},
    // Past 2038 the count goes on (64 bits).
    {2147483648, 5, "2147483648", "2147483648005"},
    {4102444800, 123, "4102444800", "4102444800123"},
};

TEST_F(CurrentTimestampTest, PadsAndCutsBothForms) {
  for (const StampCase& c : kStampCases) {
    UseClock(c.seconds, c.ms);
    EXPECT_EQ(CurrentTimestamp(true).str(), c.tenDigits) << c.seconds << " " << c.ms;
    EXPECT_EQ(CurrentTimestamp(false).str(), c.thirteenDigits) << c.seconds << " " << c.ms;
  }
}

TEST_F(CurrentTimestampTest, LongFormIsTheDefault) {
  UseClock(1700000000, 42);
  EXPECT_EQ(CurrentTimestamp().str(), "1700000000042");
}

TEST_F(CurrentTimestampTest, ReadsTheMillisecondsBeforeTheSeconds) {
  std::vector<char> order;
  SetTimestampClock({[&order] {
                       order.push_back('m');
                       return 1;
                     },
                     [&order] {
                       order.push_back('s');
                       return std::int64_t{1700000000};
                     }});
  CurrentTimestamp();
  EXPECT_EQ(std::string(order.begin(), order.end()), "ms");
}

WORD g_fakeMilliseconds = 0;
void WINAPI FakeGetLocalTime(LPSYSTEMTIME time) {
  ::GetLocalTime(time);
  time->wMilliseconds = g_fakeMilliseconds;
}

TEST_F(CurrentTimestampTest, MillisecondsComeFromTheLocalTimeCommand) {
  rt::OverrideDllCommand(rt::kGetLocalTime, reinterpret_cast<void*>(&FakeGetLocalTime));
  g_fakeMilliseconds = 42;
  const std::string stamp = CurrentTimestamp().str();
  g_fakeMilliseconds = 999;
  const std::string later = CurrentTimestamp().str();
  rt::OverrideDllCommand(rt::kGetLocalTime,
                         rt::BindExport(rt::kDllCommandTable[rt::kGetLocalTime]));
  EXPECT_EQ(stamp.substr(10), "042");
  EXPECT_EQ(later.substr(10), "999");
}

std::int64_t HostUnixSeconds() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  constexpr std::uint64_t kTicksFrom1601To1970 = 116444736000000000ull;
  return static_cast<std::int64_t>((ticks - kTicksFrom1601To1970) / 10000000ull);
}

bool AllDigits(const std::string& s) {
  return s.find_first_not_of("0123456789") == std::string::npos;
}

// Rerun by the test list under several TZ values: the seconds are Unix time in every zone.
TEST(CurrentTimestampSystemClock, SecondsAreUnixTimeInAnyZone) {
  const std::int64_t before = HostUnixSeconds();
  const std::string ten = CurrentTimestamp(true).str();
  const std::string thirteen = CurrentTimestamp(false).str();
  const std::int64_t after = HostUnixSeconds();
  ASSERT_EQ(ten.size(), 10u);
  ASSERT_EQ(thirteen.size(), 13u);
  ASSERT_TRUE(AllDigits(ten)) << ten;
  ASSERT_TRUE(AllDigits(thirteen)) << thirteen;
  EXPECT_GE(std::stoll(ten), before - 2);
  EXPECT_LE(std::stoll(ten), after + 2);
  EXPECT_GE(std::stoll(thirteen.substr(0, 10)), before - 2);
  EXPECT_LE(std::stoll(thirteen.substr(0, 10)), after + 2);
}

// Minutes by which the local clock is ahead of UTC.
int LocalOffsetMinutes() {
  SYSTEMTIME local, utc;
  ::GetLocalTime(&local);
  ::GetSystemTime(&utc);
  FILETIME localFile, utcFile;
  ::SystemTimeToFileTime(&local, &localFile);
  ::SystemTimeToFileTime(&utc, &utcFile);
  const auto ticks = [](const FILETIME& f) {
    return static_cast<std::int64_t>((std::uint64_t{f.dwHighDateTime} << 32) | f.dwLowDateTime);
  };
  const std::int64_t difference = ticks(localFile) - ticks(utcFile);
  return static_cast<int>((difference + (difference < 0 ? -300000000 : 300000000)) / 600000000);
}

// Makes sure the reruns really ran in the zone that they name.
TEST(CurrentTimestampSystemClock, RunsInTheZoneThatTzNames) {
  const char* zone = std::getenv("TZ");
  if (zone == nullptr) GTEST_SKIP() << "TZ not set";
  const int offset = LocalOffsetMinutes();
  if (std::string(zone) == "Asia/Shanghai") {
    EXPECT_EQ(offset, 480);
  } else if (std::string(zone) == "America/New_York") {
    EXPECT_TRUE(offset == -300 || offset == -240) << offset;
  } else {
    GTEST_SKIP() << "no expectation for TZ=" << zone;
  }
}

}  // namespace
}  // namespace web
