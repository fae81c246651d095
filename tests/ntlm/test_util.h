// Helpers shared by the NTLM tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "rpcrt/status.h"

namespace rpcrt::security::ntlm::testing {

inline std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> out;
  int high = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else
      continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

template <typename Bytes>
std::vector<uint8_t> Vec(const Bytes& b) {
  return std::vector<uint8_t>(std::begin(b), std::end(b));
}

// The status of the RpcError that `f` throws, or kOk if it throws none.
inline Status StatusOf(const std::function<void()>& f, std::string* what = nullptr) {
  try {
    f();
  } catch (const RpcError& e) {
    if (what) *what = e.what();
    return e.status();
  }
  return kOk;
}

// A file in the temporary directory, removed when it goes.
class TempFile {
 public:
  explicit TempFile(const std::string& contents) {
    char name[] = "/tmp/zelqa-ntlm-XXXXXX";
    int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    path_ = name;
    FILE* f = fdopen(fd, "w");
    fwrite(contents.data(), 1, contents.size(), f);
    fclose(f);
  }
  ~TempFile() { std::remove(path_.c_str()); }
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

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace rpcrt::security::ntlm::testing
