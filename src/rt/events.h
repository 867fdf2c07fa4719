// Pumping the window messages that wait on the calling thread.
#pragma once

namespace rt {

// Handles every waiting message of the thread and returns when none but a quit message
// is left. Called once per base64 group, so a call made within kProcessEventsIntervalMs
// of the last look at the queue returns at once: input waits at most that long.
void ProcessEvents();

inline constexpr unsigned kProcessEventsIntervalMs = 2;

// How many times ProcessEvents has been called in this process (for tests).
long long ProcessEventsCallCount();

}  // namespace rt
