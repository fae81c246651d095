#include "rpcrt/security/spnego/spnego_initiator.h"

#include <optional>

#include "rpcrt/security/auth_notes.h"
#include "rpcrt/security/spnego/negotiation_token.h"
#include "rpcrt/status.h"

namespace rpcrt::security::spnego {

namespace {

[[noreturn]] void Fail(Status status, const std::string& what) {
  throw RpcError(status, "negotiate: " + what);
}

// A note for the host's log; `compose` runs only when someone receives notes.
template <typename F>
void Note(F compose) noexcept {
  if (!AuthNotesWanted()) return;
  try {
    AuthNote("Negotiate: " + compose());
  } catch (...) {
  }
}

}  // namespace

SpnegoInitiator::SpnegoInitiator(std::vector<std::unique_ptr<Mechanism>> candidates) {
  mechs_ = std::move(candidates);
  if (mechs_.empty()) Fail(kSecPkgError, "no security mechanism to offer");
}

StepResult SpnegoInitiator::Step(std::span<const uint8_t> input, std::vector<uint8_t>& output) {
  CheckUsable();
  output.clear();
  try {
    return started_ ? Continue(input, output) : Start(input, output);
  } catch (...) {
    failed_ = true;
    output.clear();
    throw;
  }
}

StepResult SpnegoInitiator::Start(std::span<const uint8_t> input, std::vector<uint8_t>& output) {
  if (!input.empty()) Fail(kSecPkgError, "the first leg takes no input token");
  started_ = true;

  // The preferred mechanism that can start gets the optimistic token; the ones before it
  // that could not are left out of the offer altogether.
  std::optional<RpcError> first_error;
  std::vector<uint8_t> token;
  StepResult result = StepResult::kContinue;
  while (!mechs_.empty()) {
    try {
      result = mechs_.front()->Step({}, token);
      break;
    } catch (const RpcError& e) {
      Note([&] {
        return mechs_.front()->Describe() + " could not start, so it is not offered: " + e.what();
      });
      if (!first_error) first_error = e;
      mechs_.erase(mechs_.begin());
    }
  }
  if (mechs_.empty()) throw *first_error;

  NegTokenInit init;
  for (const auto& m : mechs_) init.mech_types.emplace_back(m->Oid().begin(), m->Oid().end());
  mech_types_der_ = EncodeMechTypes(init.mech_types);
  init.mech_types_der = mech_types_der_;
  if (!token.empty()) init.mech_token = std::move(token);
  mech_ = mechs_.front().get();
  mech_complete_ = result == StepResult::kComplete;
  output = EncodeInit(init);
  return StepResult::kContinue;
}

StepResult SpnegoInitiator::Continue(std::span<const uint8_t> input, std::vector<uint8_t>& output) {
  const NegTokenResp resp = DecodeResp(input);
  if (resp.neg_state == NegState::kReject) {
    Fail(kErrorAccessDenied, "the server rejected the authentication");
  }
  if (resp.neg_state == NegState::kRequestMic) mic_required_ = true;

  if (!selected_) {
    if (!resp.supported_mech) Fail(kSecPkgError, "the server named no mechanism");
    Mechanism* chosen = nullptr;
    for (const auto& m : mechs_) {
      if (MatchesOid(*m, *resp.supported_mech)) {
        chosen = m.get();
        break;
      }
    }
    if (chosen == nullptr) Fail(kSecPkgError, "the server chose a mechanism that was not offered");
    selected_ = true;
    if (chosen != mech_) {
      // The optimistic token went to waste; the chosen mechanism starts from its beginning,
      // and the mechanism list must now be protected by the MIC exchange.
      if (resp.response_token) Fail(kSecPkgError, "token for a mechanism that has not started");
      Note([&] { return "the server chose " + chosen->Describe() + " over " + mech_->Describe(); });
      mech_ = chosen;
      mic_required_ = true;
      std::vector<uint8_t> token;
      mech_complete_ = mech_->Step({}, token) == StepResult::kComplete;
      if (!mech_complete_) {
        NegTokenResp next;
        next.response_token = std::move(token);
        output = EncodeResp(next);
        return StepResult::kContinue;
      }
      return Finish(output, std::move(token));
    }
  } else if (resp.supported_mech && !MatchesOid(*mech_, *resp.supported_mech)) {
    Fail(kSecPkgError, "the server changed the negotiated mechanism");
  }

  std::vector<uint8_t> token;
  if (resp.response_token) {
    if (mech_complete_) Fail(kSecPkgError, "mechanism token after the mechanism completed");
    mech_complete_ = mech_->Step(*resp.response_token, token) == StepResult::kComplete;
  } else if (!mech_complete_) {
    Fail(kSecPkgError, "the server sent no mechanism token");
  }

  if (resp.mech_list_mic) {
    if (!mech_complete_) Fail(kSecPkgError, "mechListMIC before the mechanism completed");
    mech_->VerifyMic(mech_types_der_, *resp.mech_list_mic);
    mic_verified_ = true;
  }

  if (!mech_complete_) {
    if (resp.neg_state == NegState::kAcceptCompleted) {
      Fail(kSecPkgError, "the server completed before the mechanism did");
    }
    NegTokenResp next;
    next.response_token = std::move(token);
    output = EncodeResp(next);
    return StepResult::kContinue;
  }
  if (resp.neg_state == NegState::kAcceptCompleted) {
    if (mic_required_ && !mic_verified_) Fail(kSecPkgError, "the server sent no mechListMIC");
    // A last mechanism token still goes to the server, which expects no answer to it.
    if (!token.empty()) {
      NegTokenResp last;
      last.response_token = std::move(token);
      output = EncodeResp(last);
    }
    if (mic_sent_ || mic_verified_) mech_->ResetAfterMechListMic();
    established_ = true;
    Note([&] { return "settled on " + mech_->Describe(); });
    return StepResult::kComplete;
  }
  return Finish(output, std::move(token));
}

// The mechanism is complete here but the acceptor still waits: send the last mechanism token
// (if any) with our mechListMIC, and expect the acceptor's verdict.
StepResult SpnegoInitiator::Finish(std::vector<uint8_t>& output, std::vector<uint8_t> last_token) {
  if (mic_sent_) Fail(kSecPkgError, "the server did not finish the negotiation");
  NegTokenResp next;
  if (!last_token.empty()) next.response_token = std::move(last_token);
  next.mech_list_mic = mech_->GetMic(mech_types_der_);
  mic_sent_ = true;
  output = EncodeResp(next);
  return StepResult::kContinue;
}

}  // namespace rpcrt::security::spnego
