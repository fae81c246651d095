#include "platform/stack_capture.h"

#include "platform/win/windows_api.h"

// Not inlined, so that the one frame it adds is always there to skip.
__attribute__((noinline)) WORD RtlCaptureStackBackTrace(DWORD frames_to_skip,
                                                        DWORD frames_to_capture, void** back_trace,
                                                        DWORD* back_trace_hash) {
  win32::DWORD hash = 0;
  const WORD captured =
      win32::RtlCaptureStackBackTrace(frames_to_skip + 1, frames_to_capture, back_trace, &hash);
  if (back_trace_hash != nullptr) *back_trace_hash = hash;
  return captured;
}
