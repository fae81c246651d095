// Stack capture: the return addresses of the calling thread (backtrace()).
#pragma once

#include "platform/win_types.h"

// As on Windows, frame 0 is the caller of this function (its return address). Skips
// frames_to_skip frames, stores at most frames_to_capture addresses in back_trace, and returns
// how many were stored. back_trace_hash, when not null, receives a hash of the stored addresses
// (equal traces, equal hashes) that callers use to group identical stacks.
WORD RtlCaptureStackBackTrace(DWORD frames_to_skip, DWORD frames_to_capture, void** back_trace,
                              DWORD* back_trace_hash);
