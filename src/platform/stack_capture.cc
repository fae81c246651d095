#include "platform/stack_capture.h"

#include <execinfo.h>

#include <algorithm>
#include <cstring>

namespace {

// Deeper stacks are cut; Windows itself caps a capture well below a WORD's range.
constexpr int kMaxDepth = 256;

}  // namespace

__attribute__((noinline)) WORD RtlCaptureStackBackTrace(DWORD frames_to_skip,
                                                        DWORD frames_to_capture, void** back_trace,
                                                        DWORD* back_trace_hash) {
  if (back_trace_hash != nullptr) *back_trace_hash = 0;
  if (back_trace == nullptr || frames_to_capture == 0) return 0;

  void* frames[kMaxDepth];
  const int depth = ::backtrace(frames, kMaxDepth);
  // backtrace()'s frame 0 is this function; the caller's frame comes next.
  const size_t first = 1 + static_cast<size_t>(std::min<DWORD>(frames_to_skip, kMaxDepth));
  if (depth <= 0 || first >= static_cast<size_t>(depth)) return 0;
  const size_t count = std::min<size_t>(static_cast<size_t>(depth) - first, frames_to_capture);
  std::memcpy(back_trace, frames + first, count * sizeof(void*));

  if (back_trace_hash != nullptr) {
    DWORD hash = 0;  // the sum of the addresses, as the Windows hash is computed
    for (size_t i = 0; i < count; ++i)
      hash += static_cast<DWORD>(reinterpret_cast<uintptr_t>(back_trace[i]));
    *back_trace_hash = hash;
  }
  return static_cast<WORD>(count);
}
