#include "tools/verbose_log.h"

#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/reg_file_parser.h"
#include "platform/utf_convert.h"

namespace zelqa::tools {
namespace {

constexpr char kDefaultStore[] = "/etc/zelqa/registry.reg";

// The caller's store as UTF-8 text (it may be UTF-16, as regedit writes it); empty if none.
std::string CallersStore() {
  const char* env = std::getenv("ZELQA_REGISTRY_FILE");
  std::ifstream in(env != nullptr ? env : kDefaultStore, std::ios::binary);
  if (!in) return {};
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  std::string text = platform::Utf16ToUtf8(platform::DecodeRegFileText(bytes));
  // Drop its header line: ours comes first.
  const auto first_break = text.find('\n');
  return first_break == std::string::npos ? std::string() : text.substr(first_break + 1);
}

std::string RegString(const std::string& value) {
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

VerboseLog::VerboseLog() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zelqa-rpc-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot create a temporary directory for --verbose");
  dir_ = pattern;
  log_ = dir_ / "zelqa.log";
  const auto store = dir_ / "registry.reg";
  {
    // Values given later win, so ours override the caller's.
    std::ofstream out(store, std::ios::binary);
    out << "Windows Registry Editor Version 5.00\r\n"
        << CallersStore() << "\r\n"
        << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa\\Zelqa Harbrix]\r\n"
        << "\"LogFile\"=" << RegString(log_.string()) << "\r\n"
        << "\"RpcVerboseLog\"=dword:00000001\r\n";
    if (!out) throw std::runtime_error("cannot write " + store.string());
  }
  if (const char* old = std::getenv("ZELQA_REGISTRY_FILE")) {
    had_env_ = true;
    old_env_ = old;
  }
  ::setenv("ZELQA_REGISTRY_FILE", store.c_str(), 1);
}

VerboseLog::~VerboseLog() {
  if (had_env_)
    ::setenv("ZELQA_REGISTRY_FILE", old_env_.c_str(), 1);
  else
    ::unsetenv("ZELQA_REGISTRY_FILE");
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

void VerboseLog::CopyTo(std::ostream& out) {
  std::ifstream in(log_, std::ios::binary);
  if (!in) return;
  in.seekg(copied_);
  std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  copied_ += static_cast<std::streamoff>(rest.size());
  out << rest << std::flush;
}

}  // namespace zelqa::tools
