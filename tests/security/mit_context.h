// MIT's own SPNEGO as an initiating SecurityContext, the independent peer that our acceptor
// must interoperate with.
#pragma once

#include <memory>
#include <string>

#include "rpcrt/security/kerberos/gss_handles.h"
#include "rpcrt/security/security_context.h"

namespace zelqa::testing {

class MitContext : public rpcrt::security::SecurityContext {
 public:
  // An initiator for `target` (a Kerberos principal name) as `user`, with its password.
  static std::unique_ptr<MitContext> Initiator(const std::string& target, OM_uint32 flags,
                                               const std::string& user, std::string password);

  rpcrt::security::StepResult Step(std::span<const uint8_t> input,
                                   std::vector<uint8_t>& output) override;
  bool IsEstablished() const override { return established_; }
  size_t SignatureSize(size_t data_size) const override;
  void Seal(std::span<rpcrt::security::IoBuffer> buffers, std::span<uint8_t> signature) override;
  void Unseal(std::span<rpcrt::security::IoBuffer> buffers,
              std::span<const uint8_t> signature) override;
  void Sign(std::span<const rpcrt::security::IoBuffer>, std::span<uint8_t>) override;
  void Verify(std::span<const rpcrt::security::IoBuffer>, std::span<const uint8_t>) override;
  std::string PeerName() const override;

 private:
  OM_uint32 req_flags_ = 0;
  OM_uint32 flags_ = 0;
  rpcrt::security::gss::Name target_;
  rpcrt::security::gss::Credential cred_;
  rpcrt::security::gss::Context ctx_;
  bool established_ = false;
};

}  // namespace zelqa::testing
