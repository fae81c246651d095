// Guarded narrowing of 64-bit counts (stream results, sizes) to the 32-bit counts of the
// byte formats: a value that does not fit raises exc::CRuntimeExcWithStack.
#pragma once

#include <cstdint>
#include <typeinfo>

#include <boost/core/demangle.hpp>

#include "exc/exceptions.h"
#include "exc/format_message.h"

namespace util {

inline uint32_t narrow_cast(int64_t value) {
  // Any set bit in the upper half, a negative count included, would be lost.
  if ((static_cast<uint64_t>(value) >> 32) != 0) {
    throw exc::CRuntimeExcWithStack(
        exc::format_message("Unable to cast value from [%1] to [%2]. Value: [%3]",
                            boost::core::demangle(typeid(int64_t).name()),
                            boost::core::demangle(typeid(uint32_t).name()), value));
  }
  return static_cast<uint32_t>(value);
}

}  // namespace util
