// The client library as the command-line client uses it: loaded with dlopen, like any host.
#pragma once

#include <string>

#include "zelqa/zelqa_rpc_client.h"

namespace zelqa::tools {

class ClientLibrary {
 public:
  // Loads the library from `path`, or, when empty, from beside this program (build tree and
  // installed layouts) and then the loader's search path. Throws std::runtime_error.
  explicit ClientLibrary(const std::string& path);
  ~ClientLibrary();
  ClientLibrary(const ClientLibrary&) = delete;
  ClientLibrary& operator=(const ClientLibrary&) = delete;

  // Each returns the answer; a failure throws std::runtime_error with the library's error
  // text in UTF-8.
  std::u16string Connect(const std::u16string& host, uint32_t port, const std::u16string& user,
                         const std::u16string& password, const std::u16string& service);
  std::u16string Call(const std::u16string& id, const std::u16string& request1,
                      const std::u16string& request2);
  void Disconnect(const std::u16string& id);

 private:
  [[noreturn]] void Raise(zelqa_char_t* error_text);
  std::u16string Take(zelqa_char_t* text);

  void* handle_ = nullptr;
  decltype(&::RpcConnect) connect_ = nullptr;
  decltype(&::DoRpcCall) call_ = nullptr;
  decltype(&::RpcDisconnect) disconnect_ = nullptr;
  decltype(&::LibStrFree) free_ = nullptr;
};

}  // namespace zelqa::tools
