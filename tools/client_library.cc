#include "tools/client_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "platform/utf_convert.h"

namespace zelqa::tools {
namespace {

constexpr char kLibraryName[] = "libZelqaRpcClientDll.so";

std::vector<std::string> Candidates(const std::string& path) {
  if (!path.empty()) return {path};
  std::vector<std::string> result;
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const auto dir = self.parent_path();
    result.push_back((dir / ".." / "src" / kLibraryName).string());  // build tree
    result.push_back((dir / ".." / "lib" / kLibraryName).string());  // installed
  }
  result.push_back(kLibraryName);  // the loader's search path
  return result;
}

template <class F>
F Symbol(void* handle, const char* name) {
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) throw std::runtime_error(std::string("missing export ") + name);
  return reinterpret_cast<F>(symbol);
}

}  // namespace

ClientLibrary::ClientLibrary(const std::string& path) {
  std::string errors;
  for (const std::string& candidate : Candidates(path)) {
    if (!path.empty() || candidate == kLibraryName || std::filesystem::exists(candidate)) {
      handle_ = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle_ != nullptr) break;
      errors += std::string("\n  ") + dlerror();
    }
  }
  if (handle_ == nullptr) throw std::runtime_error("cannot load the client library:" + errors);
  connect_ = Symbol<decltype(connect_)>(handle_, "RpcConnect");
  call_ = Symbol<decltype(call_)>(handle_, "DoRpcCall");
  disconnect_ = Symbol<decltype(disconnect_)>(handle_, "RpcDisconnect");
  free_ = Symbol<decltype(free_)>(handle_, "LibStrFree");
}

ClientLibrary::~ClientLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

std::u16string ClientLibrary::Take(zelqa_char_t* text) {
  std::u16string result = text ? std::u16string(text) : std::u16string();
  free_(text);
  return result;
}

void ClientLibrary::Raise(zelqa_char_t* error_text) {
  throw std::runtime_error(platform::Utf16ToUtf8(Take(error_text)));
}

std::u16string ClientLibrary::Connect(const std::u16string& host, uint32_t port,
                                      const std::u16string& user, const std::u16string& password,
                                      const std::u16string& service) {
  zelqa_char_t* id = nullptr;
  zelqa_char_t* error = nullptr;
  if (connect_(host.c_str(), port, user.c_str(), password.c_str(), service.c_str(), &id, &error) !=
      ZELQA_S_OK) {
    Raise(error);
  }
  return Take(id);
}

std::u16string ClientLibrary::Call(const std::u16string& id, const std::u16string& request1,
                                   const std::u16string& request2) {
  zelqa_char_t* answer = nullptr;
  zelqa_char_t* error = nullptr;
  if (call_(id.c_str(), request1.c_str(), request2.c_str(), &answer, &error) != ZELQA_S_OK) {
    Raise(error);
  }
  return Take(answer);
}

void ClientLibrary::Disconnect(const std::u16string& id) {
  zelqa_char_t* error = nullptr;
  if (disconnect_(id.c_str(), &error) != ZELQA_S_OK) Raise(error);
}

}  // namespace zelqa::tools
