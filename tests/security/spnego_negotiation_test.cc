// The SPNEGO state machine when no mechanism can start and when a required mechListMIC is
// missing. The mechanisms here are scripted so that each rule can be driven on its own; the
// real mechanisms are exercised in the KDC tests.
#include <gtest/gtest.h>

#include <functional>

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

std::unique_ptr<SpnegoInitiator> Initiator() {
  std::vector<std::unique_ptr<Mechanism>> m;
  m.push_back(std::make_unique<ScriptedMechanism>(oids::kKerberos, true));
  m.push_back(std::make_unique<ScriptedMechanism>(oids::kNtlm, true));
  return std::make_unique<SpnegoInitiator>(std::move(m));
}

std::unique_ptr<SpnegoAcceptor> Acceptor(bool kerberos, bool ntlm) {
  std::vector<std::unique_ptr<Mechanism>> m;
  if (kerberos) m.push_back(std::make_unique<ScriptedMechanism>(oids::kKerberos, false));
  if (ntlm) m.push_back(std::make_unique<ScriptedMechanism>(oids::kNtlm, false));
  return std::make_unique<SpnegoAcceptor>(std::move(m));
}

// Runs the legs, letting `tamper` rewrite each client token; returns the token count.
int Negotiate(SecurityContext& client, SecurityContext& server,
              const std::function<void(int, Bytes&)>& tamper = {}) {
  Bytes to_server, to_client;
  int tokens = 0;
  StepResult c = client.Step({}, to_server);
  for (;;) {
    if (tamper) tamper(tokens, to_server);
    ++tokens;
    StepResult s = server.Step(to_server, to_client);
    ++tokens;
    if (s == StepResult::kComplete) {
      c = client.Step(to_client, to_server);
      EXPECT_EQ(c, StepResult::kComplete);
      EXPECT_TRUE(to_server.empty());
      return tokens;
    }
    c = client.Step(to_client, to_server);
    EXPECT_EQ(c, StepResult::kContinue) << "SPNEGO always waits for the acceptor's verdict";
    if (tokens > 12) ADD_FAILURE() << "negotiation does not end";
    if (tokens > 12) return tokens;
  }
}

TEST(SpnegoNegotiationTest, NoMechanismThatCanStartReportsTheFirstFailure) {
  std::vector<std::unique_ptr<Mechanism>> m;
  m.push_back(std::make_unique<ScriptedMechanism>(oids::kKerberos, true, true));
  SpnegoInitiator client(std::move(m));
  Bytes out;
  EXPECT_EQ(StatusOf([&] { client.Step({}, out); }), rpcrt::kSecPkgError);
  EXPECT_EQ(StatusOf([&] { client.Step({}, out); }), rpcrt::kSecPkgError) << "stays failed";
}

TEST(SpnegoNegotiationTest, MissingMicWhenRequiredIsRefused) {
  auto client = Initiator();
  auto server = Acceptor(false, true);
  auto drop_mic = [](int, Bytes& token) {
    if (token[0] != 0xa1) return;
    NegTokenResp resp = DecodeResp(token);
    resp.mech_list_mic.reset();
    token = EncodeResp(resp);
  };
  EXPECT_EQ(StatusOf([&] { Negotiate(*client, *server, drop_mic); }), rpcrt::kSecPkgError);
  EXPECT_FALSE(server->IsEstablished());
}

}  // namespace
