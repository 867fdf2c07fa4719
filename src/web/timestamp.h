// Time stamps of requests: Unix seconds, in the long form followed by milliseconds.
#pragma once

#include <cstdint>
#include <functional>

#include "rt/text.h"

namespace web {

rt::Text CurrentTimestamp(bool tenDigits = false);

// The clock behind CurrentTimestamp: Unix seconds and the milliseconds of the local time.
struct TimestampClock {
  std::function<int()> milliseconds;
  std::function<std::int64_t()> unixSeconds;
};
// Replaces the clock (tests); an empty clock restores the system's.
void SetTimestampClock(TimestampClock clock);

}  // namespace web
