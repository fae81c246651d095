// A named log channel: a fixed-width tag and the logger it writes through. Every operation is
// safe to call at any time and never throws; a closed channel (after destruction) writes
// nothing and answers IsOff().
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include <boost/shared_ptr.hpp>

#include "logging/depth_counter.h"
#include "logging/line_format.h"

namespace logging {

class log_t;

class ILogSection {
 public:
  virtual ~ILogSection() = default;

  // Info and Verbose are indented by the given depth, or by the thread's current depth.
  virtual void Info(int32_t depth, std::string_view text) noexcept = 0;
  virtual void Info(std::string_view text) noexcept = 0;
  virtual void Verbose(int32_t depth, std::string_view text) noexcept = 0;
  virtual void Verbose(std::string_view text) noexcept = 0;
  // Debug records are not written.
  virtual void Debug(int32_t depth, std::string_view text) noexcept = 0;
  virtual void Debug(std::string_view text) noexcept = 0;
  // Warnings and errors always stand at depth 0.
  virtual void Warning(std::string_view text, const std::exception& e) noexcept = 0;
  virtual void Warning(const std::exception& e) noexcept = 0;
  virtual void Warning(std::string_view text) noexcept = 0;
  // The exception forms end with the line naming the thread that raised the exception.
  virtual void Error(const std::exception& e) noexcept = 0;
  virtual void Error(std::string_view text, const std::exception& e) noexcept = 0;
  virtual void Error(std::string_view text) noexcept = 0;
  virtual bool HidesSensitive() const noexcept = 0;
  // "****" when the logger hides sensitive values, else the value unchanged.
  virtual std::string Sensitive(std::string_view value) const = 0;
  virtual bool IsOff() const noexcept = 0;
  // The logger's per-thread depth; null once the channel is off.
  virtual depth_counter_t* DepthCounter() noexcept = 0;
};

// Final, so that calls through a log_section_t never go through the virtual table: a channel
// used by a late static destructor, after its own destruction, still finds itself off.
class log_section_t final : public ILogSection {
 public:
  // The default channel: a tag of nine blanks, on the process-wide logger.
  log_section_t();
  // The channel `name` on the process-wide logger (created now if this is the first channel).
  explicit log_section_t(std::string_view name);
  // The channel `name` on its own logger.
  log_section_t(std::string_view name, boost::shared_ptr<log_t> logger);
  log_section_t(const log_section_t&) = delete;
  log_section_t& operator=(const log_section_t&) = delete;
  ~log_section_t() override;

  void Info(int32_t depth, std::string_view text) noexcept override;
  void Info(std::string_view text) noexcept override;
  void Verbose(int32_t depth, std::string_view text) noexcept override;
  void Verbose(std::string_view text) noexcept override;
  void Debug(int32_t depth, std::string_view text) noexcept override;
  void Debug(std::string_view text) noexcept override;
  void Warning(std::string_view text, const std::exception& e) noexcept override;
  void Warning(const std::exception& e) noexcept override;
  void Warning(std::string_view text) noexcept override;
  void Error(const std::exception& e) noexcept override;
  void Error(std::string_view text, const std::exception& e) noexcept override;
  void Error(std::string_view text) noexcept override;
  bool HidesSensitive() const noexcept override;
  std::string Sensitive(std::string_view value) const override;
  bool IsOff() const noexcept override;
  depth_counter_t* DepthCounter() noexcept override;

  const boost::shared_ptr<log_t>& logger() const { return logger_; }
  const std::string& tag() const;

 private:
  void put(int32_t level, int32_t depth, std::string_view text) noexcept;
  int32_t current_depth() noexcept;

  boost::shared_ptr<format::line_format_t> tag_;
  boost::shared_ptr<log_t> logger_;
  bool closed_ = false;
};

// "\nAn exception was thrown from thread [<id>]." with the id the exception recorded, or
// "n/a" when it is not one of the library's exceptions or recorded none.
std::string thread_suffix(const std::exception& e);

}  // namespace logging
