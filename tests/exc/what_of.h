// The text a failing call raises, for tests that check error texts to the letter.
#pragma once

#include <exception>
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

}  // namespace exctest
