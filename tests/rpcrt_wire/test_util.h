// Helpers shared by the run time's tests: byte strings written as hex with free spacing, the
// status a call fails with, and temporary files and environment variables.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "rpcrt/status.h"

namespace rpcrt::testing {

inline std::vector<uint8_t> Hex(std::string_view text) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::vector<uint8_t> out;
  bool high = true;
  for (char c : text) {
    const size_t v = kDigits.find(c);
    if (v != std::string_view::npos) {
      if (high) out.push_back(0);
      out.back() |= static_cast<uint8_t>(high ? v << 4 : v);
      high = !high;
    } else if (c != ' ' && c != '\n' && c != '|') {
      throw std::invalid_argument("bad hex literal");
    }
  }
  if (!high) throw std::invalid_argument("odd hex literal");
  return out;
}

// A row of a table of byte strings, named for failure messages.
struct NamedHex {
  const char* name;
  const char* hex;
};

inline std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The status of the RpcError that `f` throws (its text in `what`), or kOk.
inline Status StatusOf(const std::function<void()>& f, std::string* what = nullptr) {
  try {
    f();
  } catch (const RpcError& e) {
    if (what) *what = e.what();
    return e.status();
  }
  return kOk;
}

// A file in the temporary directory holding `contents`, removed when it goes.
class TempFile {
 public:
  explicit TempFile(const std::string& contents) {
    char name[] = "/tmp/zelqa-test-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    path_ = name;
    std::ofstream(path_) << contents;
  }
  ~TempFile() { std::remove(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Sets an environment variable for the lifetime of the object, then restores the old value.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace rpcrt::testing
