// A copy of a password taken at the library's boundary, wiped before its storage goes back to
// the heap, on every path out of the export that took it.
#pragma once

#include <string>

#include "platform/secure_memory.h"

namespace api {

class secret_text_t {
 public:
  // A null pointer is rejected as any other null text is: std::logic_error.
  explicit secret_text_t(const char16_t* text) : text_(text) {}
  ~secret_text_t() { platform::SecureWipe(text_.data(), text_.capacity() * sizeof(char16_t)); }
  secret_text_t(const secret_text_t&) = delete;
  secret_text_t& operator=(const secret_text_t&) = delete;

  const std::u16string& str() const { return text_; }

 private:
  std::u16string text_;
};

}  // namespace api
