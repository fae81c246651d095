// The SPNEGO state machine when no mechanism can start and when a required mechListMIC is
// missing. The mechanisms here are scripted so that each rule can be driven on its own; the
// real mechanisms are exercised in the KDC tests.
#include <gtest/gtest.h>

#include "handshake.h"
#include "rpcrt/security/oids.h"
#include "rpcrt/security/spnego/negotiation_token.h"
#include "rpcrt/security/spnego/spnego_initiator.h"
#include "rpcrt/server/security/spnego/spnego_acceptor.h"
#include "rpcrt/status.h"

namespace {

using namespace rpcrt::security;
using namespace rpcrt::security::spnego;
using Bytes = std::vector<uint8_t>;
using zelqa::testing::StatusOf;

// Three-leg mechanism: initiator "N", acceptor "C", initiator "A" (and done). Its MIC is the
// message prefixed with its name, so a MIC over a different list does not verify.

class ScriptedMechanism : public Mechanism {
 public:
  ScriptedMechanism(std::span<const uint8_t> oid, bool initiator, bool fail_first_step = false)
      : oid_(oid.begin(), oid.end()), initiator_(initiator), fail_first_step_(fail_first_step) {}

  std::span<const uint8_t> Oid() const override { return oid_; }
  StepResult Step(std::span<const uint8_t> in, std::vector<uint8_t>& out) override {
    if (fail_first_step_) throw rpcrt::RpcError(rpcrt::kSecPkgError, "cannot start");
    // What each leg expects and answers: "" -> N, N -> C, C -> A, A -> (done).
    static const char* const kExpect[2][2] = {{"N", "A"}, {"", "C"}};
    static const char* const kAnswer[2][2] = {{"C", ""}, {"N", "A"}};
    const std::string input(in.begin(), in.end());
    if (leg_ > 1 || input != kExpect[initiator_][leg_]) {
      throw rpcrt::RpcError(rpcrt::kSecPkgError, "unexpected token");
    }
    const std::string answer = kAnswer[initiator_][leg_++];
    out.assign(answer.begin(), answer.end());
    established_ = leg_ == 2;
    return established_ ? StepResult::kComplete : StepResult::kContinue;
  }
  bool IsEstablished() const override { return established_; }
  size_t SignatureSize(size_t) const override { return 4; }
  void Seal(std::span<IoBuffer>, std::span<uint8_t> sig) override { sig[0] = 'S'; }
  void Unseal(std::span<IoBuffer>, std::span<const uint8_t>) override {}
  void Sign(std::span<const IoBuffer>, std::span<uint8_t>) override {}
  void Verify(std::span<const IoBuffer>, std::span<const uint8_t>) override {}
  std::string PeerName() const override { return "TEST\\peer"; }
  std::vector<uint8_t> GetMic(std::span<const uint8_t> message) override {
    Bytes mic = oid_;
    mic.insert(mic.end(), message.begin(), message.end());
    return mic;
  }
  void VerifyMic(std::span<const uint8_t> message, std::span<const uint8_t> mic) override {
    const Bytes expected = GetMic(message);
    if (!std::equal(expected.begin(), expected.end(), mic.begin(), mic.end())) {
      throw rpcrt::RpcError(rpcrt::kSecPkgError, "bad mic");
    }
  }
  void ResetAfterMechListMic() override {}
  std::vector<uint8_t> SessionKeyForTesting() const override { return {}; }
  std::string Describe() const override { return "fake"; }

 private:
  Bytes oid_;
  bool initiator_;
  bool fail_first_step_;
  int leg_ = 0;
  bool established_ = false;
};

// A SPNEGO context of class T over scripted mechanisms of the given OIDs, in that order.
template <class T>
std::unique_ptr<T> Over(std::initializer_list<std::span<const uint8_t>> mechs, bool initiator,
                        bool fail_first_step = false) {
  std::vector<std::unique_ptr<Mechanism>> m;
  for (auto oid : mechs)
    m.push_back(std::make_unique<ScriptedMechanism>(oid, initiator, fail_first_step));
  return std::make_unique<T>(std::move(m));
}

TEST(SpnegoNegotiationTest, NoMechanismThatCanStartReportsTheFirstFailure) {
  auto client = Over<SpnegoInitiator>({oids::kKerberos}, true, true);
  Bytes out;
  EXPECT_EQ(StatusOf([&] { client->Step({}, out); }), rpcrt::kSecPkgError);
  EXPECT_EQ(StatusOf([&] { client->Step({}, out); }), rpcrt::kSecPkgError) << "stays failed";
}

TEST(SpnegoNegotiationTest, MissingMicWhenRequiredIsRefused) {
  auto client = Over<SpnegoInitiator>({oids::kKerberos, oids::kNtlm}, true);
  auto server = Over<SpnegoAcceptor>({oids::kNtlm}, false);
  auto drop_mic = [](Bytes& token) {
    if (token[0] != 0xa1) return;
    NegTokenResp resp = DecodeResp(token);
    resp.mech_list_mic.reset();
    token = EncodeResp(resp);
  };
  EXPECT_EQ(StatusOf([&] { zelqa::testing::Establish(*client, *server, drop_mic); }),
            rpcrt::kSecPkgError);
  EXPECT_FALSE(server->IsEstablished());
}

}  // namespace
