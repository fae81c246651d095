#include "exc/array.h"

#include "exc/exceptions.h"

namespace exc {

const uint8_t* array_t::check_array_index(size_t index) const {
  if (index >= bytes_.size()) {
    throw exc::runtime_exc_t(
        "Out of the array bound. Index of the requested array element: [%1]. Array size: [%2].",
        index, bytes_.size());
  }
  return bytes_.data() + index;
}

uint8_t* array_t::check_array_index(size_t index) {
  return const_cast<uint8_t*>(std::as_const(*this).check_array_index(index));
}

}  // namespace exc
