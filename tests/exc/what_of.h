// The exception a failing call raises, for tests that check error texts to the letter.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "exc/system_message.h"
#include "platform/system_text.h"

namespace exctest {

// The system's own text for a code as FormatMessageW gives it on this platform, line break
// kept, or "" when it has none: the POSIX build carries Windows' English texts, while Wine
// words many of them its own way, so expectations built from system texts come from here.
inline std::string SystemText(uint32_t code, bool wininet = false) {
  const DWORD source = wininet ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
  return exc::system_message_text(
             FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | source,
             wininet ? GetModuleHandleW(u"wininet.dll") : nullptr, code, 0)
      .value_or("");
}

// The what() of the exception of class E that `f` throws, or "<no exception>"; an exception of
// another class propagates and fails the test.
template <class E = std::exception, class F>
std::string WhatOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what() != nullptr ? e.what() : "<null>";
  }
  return "<no exception>";
}

// A copy of the exception of class E that `f` throws, or nullopt when it returns.
template <class E, class F>
std::optional<E> Caught(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e;
  }
  return std::nullopt;
}

}  // namespace exctest
