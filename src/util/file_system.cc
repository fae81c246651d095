#include "util/file_system.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "exc/exceptions.h"
#include "exc/format_message.h"

namespace util::fs {
namespace {

namespace sfs = std::filesystem;

[[noreturn]] void raise(std::string_view what, const std::string& path, const std::error_code& ec) {
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
  std::error_code ec;
  const sfs::file_status status = sfs::status(path, ec);
  if (ec && status.type() != sfs::file_type::not_found) raise("Cannot query file.", path, ec);
  return sfs::exists(status);
}

void delete_file(const std::string& path) {
  std::error_code ec;
  if (!sfs::remove(path, ec) && !ec)
    ec = std::make_error_code(std::errc::no_such_file_or_directory);
  if (ec) raise("Cannot delete file.", path, ec);
}

void move_file_replace(const std::string& from, const std::string& to) {
  std::error_code ec;
  sfs::rename(from, to, ec);
  if (!ec) return;
  if (ec != std::errc::cross_device_link) {
    raise(exc::format_message("Cannot move file to [%1].", to), from, ec);
  }
  // The copy gets its final name only once complete, so the target is never half-written.
  // copy_file falls back to plain reads and writes where the kernel cannot copy between the
  // two file systems.
  const std::string part = to + ".part";
  std::error_code ignored;
  sfs::copy_file(from, part, sfs::copy_options::overwrite_existing, ec);
  if (ec) {
    sfs::remove(part, ignored);
    raise(exc::format_message("Cannot copy file to [%1].", part), from, ec);
  }
  sfs::rename(part, to, ec);
  if (ec) {
    sfs::remove(part, ignored);
    raise(exc::format_message("Cannot move file to [%1].", to), part, ec);
  }
  sfs::remove(from, ec);
  if (ec) raise("Cannot delete file after copying it.", from, ec);
}

}  // namespace util::fs
