// Unsymbolised stack traces for exceptions: the load addresses of the executable and of this
// library, then the raw return addresses of the calling thread. No symbol lookup or file
// access happens here, so it is cheap enough for exception constructors.
#pragma once

#include <string>
#include <vector>

namespace exc {

// The module base lines, then one "FnAddrArray: " line with up to 56 return addresses
// (innermost caller first), each as pointer-width lowercase hex followed by ",".
std::vector<std::string> capture_stack_lines();

// Appends "Executable base address: 0x...", and "Current module base address: 0x..." when
// this library is not the executable ("Image base: 0x..." when its module is unknown).
void format_module_bases(std::vector<std::string>& lines);

}  // namespace exc
