// The method objects of the DoRpc interface: a base that keeps the server's result record,
// and the DoRpc call itself.
#pragma once

#include <string>

#include "rpc/do_rpc_stub.h"
#include "rpc/rpc_method.h"

namespace rpc {

class CRpcMethodBase : public rpc::IRpcMethod {
 public:
  ~CRpcMethodBase() override;
  // Calls CallRemote and keeps its result record.
  void Execute(RPC_BINDING_HANDLE binding) override;
  // Raises exc::runtime_exc_t with the server's message when the record says failure.
  void CheckResult() override;
  bool IsRetryAllowed() const override { return true; }

 protected:
  CRpcMethodBase() = default;
  CRpcMethodBase(const CRpcMethodBase&) = delete;
  CRpcMethodBase& operator=(const CRpcMethodBase&) = delete;
  virtual DoRpcResult CallRemote(RPC_BINDING_HANDLE binding) = 0;

 private:
  void ReleaseErrorMessage() noexcept;

  DoRpcResult result_{1, nullptr};
};

// DoRpc with two borrowed request texts; the answer lands in output().
class CDoRpcMethod : public CRpcMethodBase {
 public:
  CDoRpcMethod(const char16_t* request1, const char16_t* request2)
      : request1_(request1), request2_(request2) {}
  ~CDoRpcMethod() override;

  std::string GetName() const override { return "DoRpc"; }
  std::u16string& output() { return output_; }

 protected:
  DoRpcResult CallRemote(RPC_BINDING_HANDLE binding) override;

 private:
  const char16_t* request1_;
  const char16_t* request2_;
  std::u16string output_;
};

}  // namespace rpc
