#include "util/file_system.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include <boost/filesystem.hpp>
#include <boost/system/error_code.hpp>

#include "exc/exceptions.h"
#include "exc/format_message.h"

namespace util::fs {
namespace {

namespace bfs = boost::filesystem;

[[noreturn]] void raise(std::string_view what, const std::string& path,
                        const boost::system::error_code& ec) {
  const std::string code = std::to_string(ec.value());
  const std::string descr = ec.message();
  const std::string_view args[] = {path, code, descr};
  exc::runtime_exc_t error(std::string(what) +
                           exc::format_simple(" path: [%1], code: [%2], descr: [%3]", args));
  error.set_error_code(static_cast<uint32_t>(ec.value()));
  throw error;
}

}  // namespace

bool file_exists(const std::string& path) {
  boost::system::error_code ec;
  const bfs::file_status status = bfs::status(path, ec);
  if (ec && status.type() != bfs::file_not_found) raise("Cannot query file.", path, ec);
  return bfs::exists(status);
}

void delete_file(const std::string& path) {
  boost::system::error_code ec;
  if (!bfs::remove(path, ec) && !ec) {
    ec = boost::system::errc::make_error_code(boost::system::errc::no_such_file_or_directory);
  }
  if (ec) raise("Cannot delete file.", path, ec);
}

void move_file_replace(const std::string& from, const std::string& to) {
  boost::system::error_code ec;
  bfs::rename(from, to, ec);
  if (!ec) return;
  if (ec != boost::system::errc::cross_device_link) {
    raise(exc::format_message("Cannot move file to [%1].", to), from, ec);
  }
  // The copy gets its final name only once complete, so the target is never half-written.
  const std::string part = to + ".part";
  // std::filesystem's copy falls back to plain reads and writes where the kernel cannot copy
  // between the two file systems; Boost's copy does not.
  std::error_code copy_ec;
  std::filesystem::copy_file(from, part, std::filesystem::copy_options::overwrite_existing,
                             copy_ec);
  if (copy_ec) {
    ec.assign(copy_ec.value(), boost::system::generic_category());
    boost::system::error_code ignored;
    bfs::remove(part, ignored);
    raise(exc::format_message("Cannot copy file to [%1].", part), from, ec);
  }
  bfs::rename(part, to, ec);
  if (ec) {
    boost::system::error_code ignored;
    bfs::remove(part, ignored);
    raise(exc::format_message("Cannot move file to [%1].", to), part, ec);
  }
  bfs::remove(from, ec);
  if (ec) raise("Cannot delete file after copying it.", from, ec);
}

}  // namespace util::fs
