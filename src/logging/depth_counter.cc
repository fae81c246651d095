#include "logging/depth_counter.h"

#include <exception>

namespace logging {

int32_t* depth_counter_t::slot() {
  int32_t* value = value_.get();
  if (value == nullptr) {
    value = new int32_t(0);
    value_.reset(value);
  }
  return value;
}

int32_t depth_counter_t::get() noexcept {
  try {
    return *slot();
  } catch (const std::exception&) {
    return 0;
  }
}

void depth_counter_t::increment() noexcept {
  try {
    ++*slot();
  } catch (const std::exception&) {
    // An indentation that cannot be kept is not worth failing the caller for.
  }
}

void depth_counter_t::decrement() noexcept {
  try {
    int32_t* value = slot();
    if (*value >= 1) --*value;
  } catch (const std::exception&) {
  }
}

}  // namespace logging
