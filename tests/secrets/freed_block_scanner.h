// Looks into every heap block the process frees while scanning is on, and counts the blocks
// that still hold a secret: the way to show that buffers which held a password are wiped
// before they go back to the allocator. The test binary replaces the global operator new and
// delete to do this, so it sees every C++ allocation of the library.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zelqa::testing {

class FreedBlockScanner {
 public:
  // Starts looking for each of `needles` (raw bytes) in blocks freed from now on.
  static void Start(std::vector<std::string> needles);
  // Stops looking; returns a description (size and call stack) of every block that held one.
  static std::vector<std::string> Stop();
};

}  // namespace zelqa::testing
