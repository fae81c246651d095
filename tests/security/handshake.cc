#include "handshake.h"

#include <gtest/gtest.h>

#include <numeric>

namespace zelqa::testing {

using rpcrt::security::IoBuffer;
using rpcrt::security::SecurityContext;
using rpcrt::security::StepResult;

std::vector<std::string> Establish(SecurityContext& client, SecurityContext& server,
                                   const std::function<void(std::vector<uint8_t>&)>& tamper) {
  std::vector<std::string> legs;
  std::vector<uint8_t> to_server;
  std::vector<uint8_t> to_client;
  StepResult c = client.Step({}, to_server);
  EXPECT_FALSE(to_server.empty()) << "the first leg carries a token";
  legs.push_back("C");
  for (int round = 0; round < 8; ++round) {
    EXPECT_EQ(c, StepResult::kContinue);
    if (tamper) tamper(to_server);
    const StepResult s = server.Step(to_server, to_client);
    if (!to_client.empty()) legs.push_back("S");
    if (s == StepResult::kComplete) {
      if (!to_client.empty()) {
        // The client consumes the last reply without answering it.
        EXPECT_EQ(client.Step(to_client, to_server), StepResult::kComplete);
        EXPECT_TRUE(to_server.empty());
      }
      break;
    }
    EXPECT_FALSE(to_client.empty()) << "a server that continues must answer";
    c = client.Step(to_client, to_server);
    if (!to_server.empty()) legs.push_back("C");
    if (c == StepResult::kComplete) {
      if (!to_server.empty()) {
        // An auth3-style last token: the server takes it and answers nothing.
        if (tamper) tamper(to_server);
        EXPECT_EQ(server.Step(to_server, to_client), StepResult::kComplete);
        EXPECT_TRUE(to_client.empty());
      }
      break;
    }
  }
  EXPECT_TRUE(client.IsEstablished());
  EXPECT_TRUE(server.IsEstablished());
  return legs;
}

Pdu MakePdu(size_t body_size, uint8_t seed) {
  Pdu pdu{std::vector<uint8_t>(16), std::vector<uint8_t>(body_size), std::vector<uint8_t>(8), {}};
  std::iota(pdu.header.begin(), pdu.header.end(), seed);
  std::iota(pdu.body.begin(), pdu.body.end(), static_cast<uint8_t>(seed * 7));
  std::iota(pdu.trailer.begin(), pdu.trailer.end(), uint8_t{0xf0});
  return pdu;
}

namespace {

// A PDU without header and trailer is sealed as one data buffer, the form of mechanisms
// without an IOV interface.
std::vector<IoBuffer> Buffers(Pdu& pdu) {
  if (pdu.header.empty() && pdu.trailer.empty()) return {{IoBuffer::Kind::kData, pdu.body}};
  return {IoBuffer{IoBuffer::Kind::kSignOnly, pdu.header},
          IoBuffer{IoBuffer::Kind::kData, pdu.body},
          IoBuffer{IoBuffer::Kind::kSignOnly, pdu.trailer}};
}

}  // namespace

void Seal(SecurityContext& sender, Pdu& pdu) {
  pdu.signature.assign(sender.SignatureSize(pdu.body.size()), 0);
  auto buffers = Buffers(pdu);
  sender.Seal(buffers, pdu.signature);
}

void Unseal(SecurityContext& receiver, Pdu& pdu) {
  auto buffers = Buffers(pdu);
  receiver.Unseal(buffers, pdu.signature);
}

void Sign(SecurityContext& sender, Pdu& pdu) {
  pdu.signature.assign(sender.SignatureSize(pdu.body.size()), 0);
  auto buffers = Buffers(pdu);
  sender.Sign(buffers, pdu.signature);
}

void Verify(SecurityContext& receiver, const Pdu& pdu) {
  Pdu copy = pdu;
  auto buffers = Buffers(copy);
  receiver.Verify(buffers, copy.signature);
}

void ExpectSealedTraffic(SecurityContext& client, SecurityContext& server, bool data_only) {
  for (uint8_t i = 0; i < 3; ++i) {
    for (bool request : {true, false}) {
      Pdu original = MakePdu(64 + i * 50, i);
      if (data_only) original.header.clear(), original.trailer.clear();
      Pdu pdu = original;
      Seal(request ? client : server, pdu);
      EXPECT_NE(pdu.body, original.body);
      Unseal(request ? server : client, pdu);
      EXPECT_EQ(pdu.body, original.body);
    }
  }
}

}  // namespace zelqa::testing
