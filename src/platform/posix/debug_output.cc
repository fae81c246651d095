#include "platform/debug_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

void OutputDebugStringA(LPCSTR text) {
  // Read on every call so that a host (or a test) can switch it on while running; getenv is
  // cheap next to the write.
  if (text == nullptr || std::getenv("ZELQA_DEBUG_OUTPUT") == nullptr) return;
  // One write() per message keeps messages of concurrent threads from interleaving.
  size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = ::write(STDERR_FILENO, text, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // nobody is listening: debugger output is best effort, as on Windows
    }
    text += n;
    left -= static_cast<size_t>(n);
  }
}
