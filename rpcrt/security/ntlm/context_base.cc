#include "rpcrt/security/ntlm/context_base.h"

#include "rpcrt/security/oids.h"
#include "rpcrt/status.h"

namespace rpcrt::security::ntlm {

StepResult ContextBase::Step(std::span<const uint8_t> input, std::vector<uint8_t>& output) {
  output.clear();
  const Leg leg = leg_;
  leg_ = Leg::kFailed;  // until this leg succeeds
  switch (leg) {
    case Leg::kFirst:
      output = FirstLeg(input);
      leg_ = Leg::kLast;
      return StepResult::kContinue;
    case Leg::kLast:
      output = LastLeg(input);
      leg_ = Leg::kDone;
      return StepResult::kComplete;
    case Leg::kDone:
      throw RpcError(kSecPkgError, "NTLM context is already established");
    case Leg::kFailed:
      break;
  }
  throw RpcError(kSecPkgError, "NTLM context failed earlier");
}

size_t ContextBase::SignatureSize(size_t) const {
  return kSignatureSize;
}

SessionSecurity& ContextBase::Security() {
  if (!security_) throw RpcError(kSecPkgError, "NTLM context is not established");
  return *security_;
}

void ContextBase::Seal(std::span<IoBuffer> buffers, std::span<uint8_t> signature) {
  Security().Seal(buffers, signature);
}

void ContextBase::Unseal(std::span<IoBuffer> buffers, std::span<const uint8_t> signature) {
  Security().Unseal(buffers, signature);
}

void ContextBase::Sign(std::span<const IoBuffer> buffers, std::span<uint8_t> signature) {
  Security().Sign(buffers, signature);
}

void ContextBase::Verify(std::span<const IoBuffer> buffers, std::span<const uint8_t> signature) {
  Security().Verify(buffers, signature);
}

std::span<const uint8_t> ContextBase::Oid() const {
  return oids::kNtlm;
}

namespace {

// A sign-only buffer over a message that is only read: Sign and Verify never write kSignOnly
// buffers.
IoBuffer ReadOnly(std::span<const uint8_t> message) {
  return IoBuffer{IoBuffer::Kind::kSignOnly,
                  std::span<uint8_t>(const_cast<uint8_t*>(message.data()), message.size())};
}

}  // namespace

std::vector<uint8_t> ContextBase::GetMic(std::span<const uint8_t> message) {
  std::vector<uint8_t> mic(kSignatureSize);
  const IoBuffer buffer = ReadOnly(message);
  Security().Sign({&buffer, 1}, mic);
  return mic;
}

void ContextBase::VerifyMic(std::span<const uint8_t> message, std::span<const uint8_t> mic) {
  const IoBuffer buffer = ReadOnly(message);
  Security().Verify({&buffer, 1}, mic);
}

void ContextBase::ResetAfterMechListMic() {
  // Raw NTLM has no mechListMIC; its streams run on from the first message.
  if (under_spnego_) Security().ResetCiphers();
}

std::vector<uint8_t> ContextBase::SessionKeyForTesting() const {
  if (!security_) throw RpcError(kSecPkgError, "NTLM context is not established");
  return {session_key_.bytes.begin(), session_key_.bytes.end()};
}

void ContextBase::Establish(const Key& exported_session_key, uint32_t flags, bool initiator) {
  session_key_ = exported_session_key;
  security_.emplace(exported_session_key, flags, initiator);
}

}  // namespace rpcrt::security::ntlm
