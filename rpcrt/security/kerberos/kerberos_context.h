// A Kerberos security context through GSS-API, either side: the legs of the exchange are the
// side's own (kerberos_initiator.cc; the server's acceptor), protecting messages is common.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "rpcrt/security/kerberos/gss_handles.h"
#include "rpcrt/security/mechanism.h"

namespace rpcrt::security {

class KerberosContext : public Mechanism {
 public:
  std::span<const uint8_t> Oid() const override;
  StepResult Step(std::span<const uint8_t> input, std::vector<uint8_t>& output) override;
  bool IsEstablished() const override { return established_; }
  size_t SignatureSize(size_t data_size) const override;
  void Seal(std::span<IoBuffer> buffers, std::span<uint8_t> signature) override;
  void Unseal(std::span<IoBuffer> buffers, std::span<const uint8_t> signature) override;
  void Sign(std::span<const IoBuffer> buffers, std::span<uint8_t> signature) override;
  void Verify(std::span<const IoBuffer> buffers, std::span<const uint8_t> signature) override;
  std::vector<uint8_t> GetMic(std::span<const uint8_t> message) override;
  void VerifyMic(std::span<const uint8_t> message, std::span<const uint8_t> mic) override;
  std::vector<uint8_t> SessionKeyForTesting() const override;

 protected:
  // `level` decides what SignatureSize measures: a sealed token at packet privacy, a MIC below.
  explicit KerberosContext(AuthnLevel level) : level_(level) {}

  // One leg through GSS-API on context(): returns the major status and fills `output`,
  // `flags` and `minor`. It may throw RpcError before calling GSS-API.
  virtual OM_uint32 Exchange(std::span<const uint8_t> input, gss::Buffer& output, OM_uint32& flags,
                             OM_uint32& minor) = 0;
  // The leg's name in the error of a failed one, e.g. "accepting the security context".
  virtual const char* ExchangeName() const = 0;

  // Throws RpcError(kSecPkgError) unless the context is established and has not failed.
  void CheckEstablished() const;
  gss::Context& context() { return ctx_; }

 private:
  // Marks the context unusable, then throws what `fail` throws.
  template <typename F>
  [[noreturn]] void Poisoned(F fail);
  // A signature area of the wrong size would make GSS-API write past it or leave a gap.
  void CheckSignatureSize(std::span<const IoBuffer> buffers, size_t size, AuthnLevel level) const;

  gss::Context ctx_;
  AuthnLevel level_;
  bool established_ = false;
  bool failed_ = false;
};

}  // namespace rpcrt::security
