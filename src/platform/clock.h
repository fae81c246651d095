// Millisecond tick and sleep, replaceable as a whole so that tests never really wait.
#pragma once

#include "platform/win_types.h"

namespace platform {

class IClock {
 public:
  virtual ~IClock() = default;
  virtual DWORD Tick() = 0;  // monotonic milliseconds, wrapping at 2^32
  virtual void Sleep(DWORD ms) = 0;
};

// Installs a clock for the process (null restores the system clock); returns the previous
// one (null for the system clock), so that SetClock(previous) undoes it. The caller keeps
// ownership and must keep the clock alive while it is installed.
IClock* SetClock(IClock* clock);

// The system's own clock, which each platform implements.
IClock& SystemClock();

}  // namespace platform

DWORD GetTickCount();
void Sleep(DWORD milliseconds);
