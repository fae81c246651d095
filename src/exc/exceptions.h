// The concrete exceptions of the library.
//
// win_sys_exc_t and rpc_exc_t derive from exc_base_t directly, not from runtime_exc_t: a
// handler for runtime_exc_t does not catch them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "exc/exc_base.h"
#include "exc/format_message.h"

namespace exc {

// A failure of the library's own logic, with an optional code (0 unless set).
class runtime_exc_t : public exc_base_t {
 public:
  runtime_exc_t() = default;
  explicit runtime_exc_t(std::string text) : exc_base_t(std::move(text)) {}
  explicit runtime_exc_t(std::string_view text) : exc_base_t(std::string(text)) {}
  explicit runtime_exc_t(const char* text) : exc_base_t(text ? std::string(text) : std::string()) {}
  // One line: format_message of the format with the arguments.
  template <class A1, class... Args>
  runtime_exc_t(std::string_view format, const A1& a1, const Args&... args)
      : exc_base_t(format_message(format, a1, args...)) {}
  ~runtime_exc_t() override;

  uint32_t error_code() const { return error_code_; }
  void set_error_code(uint32_t code) { error_code_ = code; }

  boost::shared_ptr<exc_base_t> clone() const override;
  [[noreturn]] void rethrow() const override;
  void load(CBufReader& reader) override;
  void save(CBufWriter& writer) const override;

 private:
  uint32_t error_code_ = 0;
};

// A failed system call: the first line is the system's text for the Win32 code, the last a
// trace line "Error code: 0x........".
class win_sys_exc_t : public exc_base_t {
 public:
  // Empty, code 0: the target of load().
  win_sys_exc_t() = default;
  explicit win_sys_exc_t(uint32_t code);
  win_sys_exc_t(std::string_view text, uint32_t code);
  // The middle line is format_message of the format with the one argument.
  template <class A1>
  win_sys_exc_t(std::string_view format, const A1& a1, uint32_t code)
      : win_sys_exc_t(std::string_view(format_message(format, a1)), code) {}
  ~win_sys_exc_t() override;

  uint32_t error_code() const { return error_code_; }

  boost::shared_ptr<exc_base_t> clone() const override;
  [[noreturn]] void rethrow() const override;
  // Resets the object to a default one on the loading thread first, then reads the record.
  void load(CBufReader& reader) override;
  void save(CBufWriter& writer) const override;

 private:
  uint32_t error_code_ = 0;
};

// A broken invariant of the library: carries the marker "[ZelqaInternalError]" and the stack,
// and writes itself to the library's log when it is created.
class CZelqaInternalError : public exc_base_t {
 public:
  // Empty and not logged: the target of load().
  CZelqaInternalError() = default;
  explicit CZelqaInternalError(std::string text);
  ~CZelqaInternalError() override;

  boost::shared_ptr<exc_base_t> clone() const override;
  [[noreturn]] void rethrow() const override;
};

// A runtime failure that carries the stack of the point where it was created.
class CRuntimeExcWithStack : public exc_base_t {
 public:
  CRuntimeExcWithStack() = default;
  explicit CRuntimeExcWithStack(std::string message);
  ~CRuntimeExcWithStack() override;

  boost::shared_ptr<exc_base_t> clone() const override;
  [[noreturn]] void rethrow() const override;
};

}  // namespace exc
