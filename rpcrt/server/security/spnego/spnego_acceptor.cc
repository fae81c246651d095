#include "rpcrt/server/security/spnego/spnego_acceptor.h"

#include "rpcrt/security/ntlm/ntlm.h"
#include "rpcrt/security/oids.h"
#include "rpcrt/security/spnego/negotiation_token.h"
#include "rpcrt/status.h"

namespace rpcrt::security::spnego {

namespace {

[[noreturn]] void Fail(Status status, const std::string& what) {
  throw RpcError(status, "negotiate: " + what);
}

}  // namespace

SpnegoAcceptor::SpnegoAcceptor(std::vector<std::unique_ptr<Mechanism>> offered) {
  mechs_ = std::move(offered);
  if (mechs_.empty()) Fail(kSecPkgError, "no security mechanism to accept with");
}

StepResult SpnegoAcceptor::Step(std::span<const uint8_t> input, std::vector<uint8_t>& output) {
  CheckUsable();
  output.clear();
  try {
    if (bare_) return Bare(input, output);
    return started_ ? Next(input, output) : First(input, output);
  } catch (...) {
    failed_ = true;
    output.clear();
    throw;
  }
}

StepResult SpnegoAcceptor::First(std::span<const uint8_t> input, std::vector<uint8_t>& output) {
  started_ = true;
  if (IsNtlmToken(input)) {
    for (const auto& m : mechs_) {
      if (MatchesOid(*m, oids::kNtlm)) mech_ = m.get();
    }
    if (mech_ == nullptr)
      Fail(kSecPkgError, "the client sent NTLM, which this server does not offer");
    bare_ = true;
    return Bare(input, output);
  }
  const NegTokenInit init = DecodeInit(input);
  mech_types_der_ = init.mech_types_der;

  for (size_t i = 0; i < init.mech_types.size() && mech_ == nullptr; ++i) {
    for (const auto& m : mechs_) {
      if (MatchesOid(*m, init.mech_types[i])) {
        mech_ = m.get();
        chosen_oid_ = init.mech_types[i];
        // Choosing other than the initiator's first must be confirmed by both MICs, or an
        // attacker could strip the stronger mechanisms from the list.
        mic_required_ = i != 0;
        break;
      }
    }
  }
  if (mech_ == nullptr) Fail(kSecPkgError, "no mechanism in common with the client");

  std::vector<uint8_t> token;
  if (!mic_required_ && init.mech_token) {
    mech_complete_ = mech_->Step(*init.mech_token, token) == StepResult::kComplete;
  }
  // A MIC this early has nothing to verify it with; the initiator repeats it when complete.
  return Reply(std::move(token), output);
}

StepResult SpnegoAcceptor::Next(std::span<const uint8_t> input, std::vector<uint8_t>& output) {
  const NegTokenResp resp = DecodeResp(input);
  if (resp.neg_state == NegState::kReject) {
    Fail(kErrorAccessDenied, "the client abandoned the authentication");
  }
  std::vector<uint8_t> token;
  if (resp.response_token) {
    if (mech_complete_) Fail(kSecPkgError, "mechanism token after the mechanism completed");
    mech_complete_ = mech_->Step(*resp.response_token, token) == StepResult::kComplete;
  } else if (!mech_complete_) {
    Fail(kSecPkgError, "the client sent no mechanism token");
  }
  if (resp.mech_list_mic) {
    if (!mech_complete_) Fail(kSecPkgError, "mechListMIC before the mechanism completed");
    mech_->VerifyMic(mech_types_der_, *resp.mech_list_mic);
    mic_verified_ = true;
  } else if (mech_complete_ && token.empty() && mic_required_) {
    Fail(kSecPkgError, "the client sent no mechListMIC");
  }
  return Reply(std::move(token), output);
}

StepResult SpnegoAcceptor::Bare(std::span<const uint8_t> input, std::vector<uint8_t>& output) {
  const StepResult result = mech_->Step(input, output);
  established_ = result == StepResult::kComplete;
  return result;
}

StepResult SpnegoAcceptor::Reply(std::vector<uint8_t> token, std::vector<uint8_t>& output) {
  NegTokenResp resp;
  if (!token.empty()) resp.response_token = std::move(token);
  // The chosen mechanism is named in the first reply only.
  if (!chosen_oid_.empty()) resp.supported_mech = std::move(chosen_oid_);
  chosen_oid_.clear();

  if (!mech_complete_ || (mic_required_ && !mic_verified_)) {
    resp.neg_state = mic_required_ ? NegState::kRequestMic : NegState::kAcceptIncomplete;
    output = EncodeResp(resp);
    return StepResult::kContinue;
  }
  resp.neg_state = NegState::kAcceptCompleted;
  if (mic_verified_) {
    resp.mech_list_mic = mech_->GetMic(mech_types_der_);
    mech_->ResetAfterMechListMic();
  }
  established_ = true;
  output = EncodeResp(resp);
  return StepResult::kComplete;
}

}  // namespace rpcrt::security::spnego
