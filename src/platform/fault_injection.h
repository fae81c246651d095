// Failures injected into calls that cannot be made to fail from outside: the OS random source
// behind CoCreateGuid and the code page conversions. An injection holds for the calling thread
// only and is used up by the calls it fails. Only tests inject (FailNextGuidsForTesting,
// FailNextConversionForTesting); everywhere else the checks below find nothing pending.
#pragma once

#include "platform/win_types.h"

namespace platform {

// True when this CoCreateGuid call must fail; uses up one injected failure.
bool TakeInjectedGuidFailure();

// The error this conversion call must fail with, or 0 for none; uses up the injection.
DWORD TakeInjectedConversionFailure();

}  // namespace platform
