// Memory that holds secrets: wiping it so that the compiler cannot drop the stores, and
// filling it from the operating system's cryptographic random source.
#pragma once

#include <cstddef>

namespace platform {

void SecureWipe(void* data, size_t size) noexcept;

// False when the random source cannot be read (the buffer's content is then unspecified).
bool FillRandom(void* data, size_t size) noexcept;

}  // namespace platform
