// Local wall-clock time with the GetLocalTime contract, and a way for tests to fix it.
#pragma once

#include "platform/win_types.h"

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

// The current local time, to the millisecond.
void GetLocalTime(SYSTEMTIME* time);

namespace platform {

// From now on GetLocalTime returns *time (copied); null returns to the real clock. Not meant
// to be changed while other threads read the time.
void FixLocalTimeForTesting(const SYSTEMTIME* time);

// The system's local time, which each platform implements.
void SystemLocalTime(SYSTEMTIME* time);

}  // namespace platform
