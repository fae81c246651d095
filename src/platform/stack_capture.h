// Stack capture: the return addresses of the calling thread (backtrace()).
#pragma once

#include "platform/win_types.h"

// Skips frames_to_skip frames (this function's own included), stores at most
// frames_to_capture addresses, returns how many were stored. back_trace_hash may be null.
WORD RtlCaptureStackBackTrace(DWORD frames_to_skip, DWORD frames_to_capture, void** back_trace,
                              DWORD* back_trace_hash);
