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
  const size_t depth = static_cast<size_t>(std::max(::backtrace(frames, kMaxDepth), 0));
  // The caller's frame is the one holding our return address. Counting does not find it
  // reliably: an interposed backtrace() (sanitizers) adds a frame of its own.
  void* const caller = __builtin_return_address(0);
  size_t own = 0;
  while (own < depth && frames[own] != caller) ++own;
  if (own == depth) own = 1;  // not found: a plain backtrace() has only this function first
  const size_t first = own + std::min<size_t>(frames_to_skip, kMaxDepth);
  if (first >= depth) return 0;
  const size_t count = std::min<size_t>(depth - first, frames_to_capture);
  std::memcpy(back_trace, frames + first, count * sizeof(void*));

  if (back_trace_hash != nullptr) {
    DWORD hash = 0;  // the sum of the addresses, as the Windows hash is computed
    for (size_t i = 0; i < count; ++i) {
      hash += static_cast<DWORD>(reinterpret_cast<uintptr_t>(back_trace[i]));
    }
    *back_trace_hash = hash;
  }
  return static_cast<WORD>(count);
}
