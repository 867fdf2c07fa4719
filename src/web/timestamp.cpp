#include "web/timestamp.h"

#include <windows.h>

#include <chrono>
#include <string>
#include <utility>

#include "rt/dll_commands.h"

namespace web {
namespace {

int LocalMilliseconds() {
  SYSTEMTIME now{};
  rt::dll::GetLocalTime(&now);
  return now.wMilliseconds;
}

// Unix time does not depend on the local zone; 64 bits carry it past 2038.
std::int64_t SystemUnixSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

TimestampClock g_clock;

}  // namespace

void SetTimestampClock(TimestampClock clock) { g_clock = std::move(clock); }

rt::Text CurrentTimestamp(bool tenDigits) {
  // Milliseconds first, then the seconds: two separate readings, in this order.
  const int ms = g_clock.milliseconds ? g_clock.milliseconds() : LocalMilliseconds();
  const std::int64_t seconds = g_clock.unixSeconds ? g_clock.unixSeconds() : SystemUnixSeconds();
  const rt::Text msDigits = rt::ToText(ms);
  const rt::Text full =
      rt::ToText(seconds) + rt::RepeatText(3 - rt::TextLength(msDigits), "0") + msDigits;
  const int width = tenDigits ? 10 : 13;
  std::string out = tenDigits ? rt::LeftText(full, width).str() : full.str();
  if (static_cast<int>(out.size()) < width) out.append(width - out.size(), '0');
  return rt::Text(std::move(out));
}

}  // namespace web
