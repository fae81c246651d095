#include "platform/fault_injection.h"

#include "platform/code_page.h"
#include "platform/guid.h"

namespace platform {
namespace {

thread_local int t_failing_guids = 0;
thread_local DWORD t_failing_conversion = 0;

}  // namespace

bool TakeInjectedGuidFailure() {
  if (t_failing_guids <= 0) return false;
  --t_failing_guids;
  return true;
}

DWORD TakeInjectedConversionFailure() {
  const DWORD error = t_failing_conversion;
  t_failing_conversion = 0;
  return error;
}

void FailNextGuidsForTesting(int count) {
  t_failing_guids = count;
}

void FailNextConversionForTesting(DWORD error_code) {
  t_failing_conversion = error_code;
}

}  // namespace platform
