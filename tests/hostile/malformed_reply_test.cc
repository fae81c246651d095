// A server that breaks the protocol, one way per case: every call ends within the call
// time-out with the status Windows reports for it, and the connection is not used again.
#include <gtest/gtest.h>

#include <memory>

#include "tests/hostile/call_probe.h"
#include "tests/hostile/hostile_server.h"

namespace rpcrt::hostile {
namespace {

using Then = Action::Then;

// Nothing is answered; the server waits for the client to give up.
Action Silence(Session&, const Pdu&) {
  return {{}, Then::kStall};
}

const ScriptCase<> kCases[] = {
    // The stream ends inside a fragment: the request went out, so its fate is unknown.
    {"TruncatedThenClosed", ReplyMutated([](auto& b) { b.resize(30); }, Then::kClose), kCallFailed},
    // frag_length covers the common header but not the response header.
    {"BodyShorterThanItsHeader", ReplyMutated([](auto& b) {
       b.resize(20);
       PutU16(b, 8, 20);
     }),
     kProtocolError},
    {"FragLengthZero", ReplyMutated([](auto& b) { PutU16(b, 8, 0); }), kProtocolError},
    // Claims a full-size fragment, sends a short one and waits: only the time-out ends it.
    {"FragLength65535WithShortBody",
     ReplyMutated([](auto& b) { PutU16(b, 8, 0xffff); }, Then::kStall), kCallCancelled},
    {"AuthLengthBeyondTheFragment", ReplyMutated([](auto& b) { PutU16(b, 10, 0xfff0); }),
     kProtocolError},
    {"WrongCallId", ReplyAltered([](Pdu& p) { p.call_id += 7; }), kProtocolError},
    {"ResponseForAnotherContext",
     ReplyAltered([](Pdu& p) { std::get<Response>(p.body).context_id = 9; }), kProtocolError},
    {"LastFragmentWithoutFirst", ReplyAltered([](Pdu& p) { p.flags = kPfcLastFrag; }),
     kProtocolError},
    {"BindAckInsteadOfResponse", ReplyAltered([](Pdu& p) { p.body = BindAck{}; }), kProtocolError},
    {"NoAnswer", OnFirstRequest(Silence), kCallCancelled},
    {"OneBytePerSecond", ReplyMutated([](auto&) {}, Then::kTrickle), kCallCancelled},
    // Whole fragments, one a second, never the last: the call time-out bounds the whole
    // reply, not each fragment.
    {"FragmentsOneASecond", OnFirstRequest([](Session& s, const Pdu& request) {
       Action a{{}, Then::kTrickle};
       for (int i = 0; i < 10; ++i) {
         Pdu fragment = s.ResponseTo(request, std::vector<uint8_t>(16, 0x7e));
         fragment.flags = i == 0 ? kPfcFirstFrag : 0;
         const std::vector<uint8_t> bytes = s.Encode(fragment);
         a.chunk = bytes.size();
         a.bytes.insert(a.bytes.end(), bytes.begin(), bytes.end());
       }
       return a;
     }),
     kCallCancelled},
    // Status 0 would read as a successful call without a reply.
    {"FaultReportingSuccess", FaultWith(0), kProtocolError},
    {"BindAckWithNoResults",
     BindAckAltered([](Pdu& ack) { std::get<BindAck>(ack.body).results.clear(); }), kProtocolError},
    {"BindNeverAnswered", OnFirstBind(Silence), kCallCancelled},
    {"BindAnsweredWithGarbage", OnFirstBind([](Session&, const Pdu&) {
       return Action{std::vector<uint8_t>(40, 0x05), Then::kStall};
     }),
     kProtocolError},
};

class MalformedReply : public ::testing::TestWithParam<ScriptCase<>> {};

TEST_P(MalformedReply, FailsCleanlyAndTheNextCallUsesANewConnection) {
  HostileServer server(GetParam().script);
  auto binding = BindTo(server.port());
  ExpectFailureThenFreshConnection(*binding, server, GetParam().expected,
                                   std::chrono::milliseconds(kCallTimeoutMs) + kSlack);
}

INSTANTIATE_TEST_SUITE_P(Hostile, MalformedReply, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HostileReply, AllocHintIsOnlyAHint) {
  // Four GiB announced for a few bytes: nothing is reserved on its word, the reply is good.
  HostileServer server(
      ReplyAltered([](Pdu& p) { std::get<Response>(p.body).alloc_hint = 0xffffffffu; }));
  ExpectEcho(*BindTo(server.port()), std::vector<uint8_t>(100, 1));
}

TEST(HostileReply, FaultStatusesPassThroughAndKeepThePlainConnection) {
  // Win32 codes the client has never heard of pass through; unknown NCA codes cannot be acted
  // on and become a plain call failure.
  for (auto [sent, seen] : {std::pair<uint32_t, Status>{0x0badf00du, 0x0badf00du},
                            {0x1c0100ffu, kCallFailed},
                            {0x1c0000ffu, kCallFailed}}) {
    HostileServer server(FaultWith(sent));
    auto binding = BindTo(server.port());
    EXPECT_EQ(CallOnce(*binding, std::vector<uint8_t>(8, 2)).status, seen) << std::hex << sent;
    // The fault ended the call in step: the connection carries the next one.
    EXPECT_EQ(CallOnce(*binding, std::vector<uint8_t>(8, 3)).status, kOk);
    EXPECT_EQ(server.accepted(), 1);
  }
}

TEST(HostileReply, BytesAfterTheReplyRetireTheConnection) {
  // A good reply followed by something nobody asked for: a shutdown, or the reply once more.
  // The call succeeds; the connection is not trusted with the next one.
  Pdu shutdown;
  shutdown.body = Shutdown{};
  for (bool duplicate : {false, true}) {
    SCOPED_TRACE(duplicate ? "duplicate reply" : "shutdown");
    HostileServer server(OnFirstRequest([&](Session& s, const Pdu& request) {
      std::vector<uint8_t> bytes = s.Encode(s.DefaultResponse(request));
      std::vector<uint8_t> extra = duplicate ? bytes : EncodePdu(shutdown);
      bytes.insert(bytes.end(), extra.begin(), extra.end());
      return Action{bytes};
    }));
    auto binding = BindTo(server.port());
    ExpectEcho(*binding, std::vector<uint8_t>(32, 4));
    ExpectEcho(*binding, std::vector<uint8_t>(32, 4));
    EXPECT_EQ(server.accepted(), 2);
  }
}

TEST(HostileReply, LateDuplicateReplyIsPassedOver) {
  // The first reply comes again, late: just ahead of the second call's own reply.
  auto first_reply = std::make_shared<std::vector<uint8_t>>();
  HostileServer server([first_reply](Session& s, const Pdu& pdu) {
    Action a = s.Behave(pdu);
    if (pdu.type() != PduType::kRequest) return a;
    if (s.requests() == 0) {
      *first_reply = a.bytes;
    } else {
      a.bytes.insert(a.bytes.begin(), first_reply->begin(), first_reply->end());
    }
    return a;
  });
  auto binding = BindTo(server.port());
  ExpectEcho(*binding, std::vector<uint8_t>(24, 1));
  ExpectEcho(*binding, std::vector<uint8_t>(40, 2));
  EXPECT_EQ(server.accepted(), 1);
}

}  // namespace
}  // namespace rpcrt::hostile
