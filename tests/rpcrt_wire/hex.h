// Byte strings for golden-byte tests, written as hex with free spacing, and the status a
// decoder fails with.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "rpcrt/status.h"

namespace rpcrt::testing {

inline std::vector<uint8_t> Hex(std::string_view text) {
  std::vector<uint8_t> out;
  int high = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9') {
      v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      v = c - 'a' + 10;
    } else if (c == ' ' || c == '\n' || c == '|') {
      continue;
    } else {
      throw std::invalid_argument("bad hex literal");
    }
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd hex literal");
  return out;
}

inline std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The status of the RpcError that `f` throws, or kOk.
inline Status StatusOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RpcError& e) {
    return e.status();
  }
  return kOk;
}

}  // namespace rpcrt::testing
