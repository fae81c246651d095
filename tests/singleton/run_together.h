// Runs one call on many threads released at the same moment, for tests of first use races.
#pragma once

#include <future>
#include <vector>

namespace commontest {

// The results of `f` called on `threads` threads that all start together, in thread order.
template <class F>
auto RunTogether(int threads, F f) {
  std::promise<void> go;
  std::shared_future<void> start = go.get_future().share();
  std::vector<std::future<decltype(f())>> pending;
  for (int i = 0; i < threads; ++i) {
    pending.push_back(std::async(std::launch::async, [start, &f] {
      start.wait();
      return f();
    }));
  }
  go.set_value();
  std::vector<decltype(f())> results;
  for (auto& p : pending) results.push_back(p.get());
  return results;
}

}  // namespace commontest
