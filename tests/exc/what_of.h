// The exception a failing call raises, for tests that check error texts to the letter.
#pragma once

#include <exception>
#include <optional>
#include <string>

namespace exctest {

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
