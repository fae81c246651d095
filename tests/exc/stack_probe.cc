// A shared object that carries its own copy of the stack trace code, standing for the
// library loaded into a host process.
#include <string>
#include <vector>

#include "exc/stack_trace.h"

extern "C" __attribute__((visibility("default"))) std::vector<std::string> exc_probe_stack_lines() {
  return exc::capture_stack_lines();
}
