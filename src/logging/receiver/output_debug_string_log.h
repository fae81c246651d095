// The receiver of the "dbg" channel: every record goes to the debugger output and, when the
// registry switches external logging on, as one UDP datagram to the external log collector.
//
// The collector's settings (key "SOFTWARE\ZelqA\Zelqa NFS": "ExtLogEnabled", "ExtLogHost",
// "ExtLogPort") are read once per receiver, when its socket is created for the first record.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "logging/receiver/log_file.h"
#include "platform/datagram_socket.h"

namespace logging::receiver {

class COutputDebugStringLog : public log_file_t {
 public:
  static constexpr uint16_t kDefaultPort = 37183;

  COutputDebugStringLog();
  COutputDebugStringLog(const COutputDebugStringLog&) = delete;
  COutputDebugStringLog& operator=(const COutputDebugStringLog&) = delete;
  // Closes the socket.
  ~COutputDebugStringLog() override;

  void write(const std::string& record) override;
  std::string path() const override { return path_; }
  std::string line_end() const override { return line_end_; }
  uint64_t size() const override { return 0; }
  void take_archive(boost::shared_ptr<util::zip_writer_t> archive) override;

  // What the registry said, for diagnostics: valid once the first record was written.
  bool external_logging_on() const { return external_on_; }
  const platform::Ipv4Endpoint& target() const { return target_; }

 private:
  void read_settings() noexcept;

  std::string path_;
  std::string line_end_ = "\n";
  bool external_on_ = false;
  platform::Ipv4Endpoint target_;
  platform::DatagramSocket socket_;
};

}  // namespace logging::receiver
