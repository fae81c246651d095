// Interoperability with gss-ntlmssp, an independent NTLM implementation loaded through MIT's
// GSS-API mechglue: our initiator against its acceptor, its initiator against ours, and its
// wrap/unwrap against our sealing.
#include <gssapi/gssapi.h>
#include <gssapi/gssapi_ext.h>
#include <gssapi/gssapi_ntlmssp.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "rpcrt/security/kerberos/gss_handles.h"
#include "rpcrt/security/ntlm/messages.h"
#include "rpcrt/security/ntlm/ntlm.h"
#include "rpcrt/security/ntlm/session_security.h"
#include "rpcrt/server/security/ntlm/acceptor.h"
#include "tests/rpcrt_wire/test_util.h"

// gss-ntlmssp 1.2 leaks a small block in acquiring acceptor credentials (released here with
// gss_release_cred), and the OpenSSL it loads keeps its providers until exit. Neither is ours.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:gssntlmssp.so\nleak:libcrypto.so\n";
}

namespace rpcrt::security::ntlm {
namespace {

using namespace rpcrt::testing;

gss_OID_desc kNtlmOid = {GSS_NTLMSSP_OID_LENGTH, const_cast<char*>(GSS_NTLMSSP_OID_STRING)};

struct GssContext {
  gss::Context ctx;
  gss::Credential cred;
  gss::Name name;

  std::vector<uint8_t> SessionKey() const {
    OM_uint32 minor;
    gss::BufferSet set;
    EXPECT_EQ(
        gss_inquire_sec_context_by_oid(&minor, ctx.get(), GSS_C_INQ_SSPI_SESSION_KEY, set.out()),
        GSS_S_COMPLETE);
    if (set.get() == GSS_C_NO_BUFFER_SET || set.get()->count == 0) return {};
    const auto* p = static_cast<const uint8_t*>(set.get()->elements[0].value);
    return {p, p + set.get()->elements[0].length};
  }

  std::vector<uint8_t> Wrap(const std::string& text) const {
    OM_uint32 minor;
    const std::vector<uint8_t> in(text.begin(), text.end());
    gss_buffer_desc view = gss::View(in);
    int conf = 0;
    gss::Buffer out;
    EXPECT_EQ(gss_wrap(&minor, ctx.get(), 1, GSS_C_QOP_DEFAULT, &view, &conf, out.out()),
              GSS_S_COMPLETE);
    EXPECT_EQ(conf, 1);
    return out.ToVector();
  }

  OM_uint32 Unwrap(const std::vector<uint8_t>& token, std::string* text) const {
    OM_uint32 minor;
    gss_buffer_desc view = gss::View(token);
    gss::Buffer out;
    const OM_uint32 major = gss_unwrap(&minor, ctx.get(), &view, out.out(), nullptr, nullptr);
    if (major == GSS_S_COMPLETE) text->assign(out.bytes().begin(), out.bytes().end());
    return major;
  }

  // One leg of gss-ntlmssp's initiator towards `name`: consumes `in` (empty for the first) and
  // returns the token and status.
  OM_uint32 InitStep(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
    OM_uint32 minor;
    gss_buffer_desc input = gss::View(in);
    gss::Buffer output;
    OM_uint32 major = gss_init_sec_context(
        &minor, GSS_C_NO_CREDENTIAL, ctx.out(), name.get(), &kNtlmOid,
        GSS_C_CONF_FLAG | GSS_C_INTEG_FLAG | GSS_C_REPLAY_FLAG | GSS_C_SEQUENCE_FLAG, 0,
        GSS_C_NO_CHANNEL_BINDINGS, in.empty() ? GSS_C_NO_BUFFER : &input, nullptr, output.out(),
        nullptr, nullptr);
    out = output.ToVector();
    return major;
  }
};

// gss-ntlmssp's wrap token: the 16-byte signature, then the sealed data.
template <typename Sealer>
std::vector<uint8_t> SealAsToken(Sealer& m, const std::string& text) {
  std::vector<uint8_t> data(text.begin(), text.end());
  std::vector<uint8_t> token(kSignatureSize);
  IoBuffer b{IoBuffer::Kind::kData, data};
  m.Seal({&b, 1}, token);
  token.insert(token.end(), data.begin(), data.end());
  return token;
}

std::string UnsealToken(Mechanism& m, const std::vector<uint8_t>& token) {
  if (token.size() < kSignatureSize) throw RpcError(kSecPkgError, "short wrap token");
  std::vector<uint8_t> sig(token.begin(), token.begin() + kSignatureSize);
  std::vector<uint8_t> data(token.begin() + kSignatureSize, token.end());
  IoBuffer b{IoBuffer::Kind::kData, data};
  m.Unseal({&b, 1}, sig);
  return std::string(data.begin(), data.end());
}

// Their first wrap equals our own sealing from the session key alone, with the same flags and
// direction; after it, messages go both ways.
void ExpectTraffic(Mechanism& ours, const GssContext& theirs, const std::vector<uint8_t>& key,
                   uint32_t flags, bool their_side_initiates) {
  const std::vector<uint8_t> wrapped = theirs.Wrap("first from gss-ntlmssp");
  SessionSecurity reference(Key(key), flags, their_side_initiates);
  EXPECT_EQ(wrapped, SealAsToken(reference, "first from gss-ntlmssp"));
  EXPECT_EQ(UnsealToken(ours, wrapped), "first from gss-ntlmssp");
  for (int i = 0; i < 3; ++i) {
    std::string text;
    const std::string sent = "ours " + std::to_string(i);
    ASSERT_EQ(theirs.Unwrap(SealAsToken(ours, sent), &text), GSS_S_COMPLETE);
    EXPECT_EQ(text, sent);
    EXPECT_EQ(UnsealToken(ours, theirs.Wrap("theirs " + std::to_string(i))),
              "theirs " + std::to_string(i));
  }
}

class GssNtlmssp : public ::testing::Test {
 protected:
  // Runs our initiator against gss-ntlmssp's acceptor, whose credential it acquires into
  // `server`; returns the acceptor's final status.
  OM_uint32 OurClientTheirServer(Mechanism& client, GssContext& server,
                                 std::vector<uint8_t>* authenticate = nullptr) {
    OM_uint32 minor = 0;
    gss_OID_set_desc mechs = {1, &kNtlmOid};
    EXPECT_EQ(gss_acquire_cred(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, &mechs, GSS_C_ACCEPT,
                               server.cred.out(), nullptr, nullptr),
              GSS_S_COMPLETE)
        << "minor " << minor;
    std::vector<uint8_t> token;
    EXPECT_EQ(client.Step({}, token), StepResult::kContinue);
    OM_uint32 major = GSS_S_CONTINUE_NEEDED;
    for (int leg = 0; leg < 2; ++leg) {
      gss_buffer_desc in = gss::View(token);
      gss::Buffer out;
      major = gss_accept_sec_context(
          &minor, server.ctx.out(), server.cred.get(), &in, GSS_C_NO_CHANNEL_BINDINGS,
          leg == 1 ? server.name.out() : nullptr, nullptr, out.out(), nullptr, nullptr, nullptr);
      if (GSS_ERROR(major)) return major;
      if (leg == 0) {
        EXPECT_EQ(major, GSS_S_CONTINUE_NEEDED);
        EXPECT_EQ(client.Step(out.bytes(), token), StepResult::kComplete);
        if (authenticate) *authenticate = token;
      }
    }
    return major;
  }

  // Runs gss-ntlmssp's initiator in `client` against our `server` as far as its AUTHENTICATE.
  void TheirClientOurServer(GssContext& client, Mechanism& server,
                            std::vector<uint8_t>& authenticate) {
    client.name = gss::Name("host@localhost", GSS_C_NT_HOSTBASED_SERVICE);
    std::vector<uint8_t> negotiate, challenge;
    ASSERT_EQ(client.InitStep({}, negotiate), GSS_S_CONTINUE_NEEDED);
    ASSERT_EQ(server.Step(negotiate, challenge), StepResult::kContinue);
    ASSERT_EQ(client.InitStep(challenge, authenticate), GSS_S_COMPLETE);
  }

  // The client's user file and the acceptor's accounts alike.
  TempFile accounts_{"EXAMPLE:alice:Pa55 word\n"};
  rpcrt::testing::ScopedEnv env_{"NTLM_USER_FILE", accounts_.path()};
};

TEST_F(GssNtlmssp, OurInitiatorWithTheirAcceptor) {
  GssContext server;
  auto client = CreateNtlmInitiator(ClientCredentials{Identity(u"alice", u"EXAMPLE", u"Pa55 word")},
                                    false, u"host/localhost");
  std::vector<uint8_t> authenticate;
  ASSERT_EQ(OurClientTheirServer(*client, server, &authenticate), GSS_S_COMPLETE);

  EXPECT_NE(server.name.Display().find("alice"), std::string::npos);

  const std::vector<uint8_t> key = server.SessionKey();
  EXPECT_EQ(key, client->SessionKeyForTesting());

  ExpectTraffic(*client, server, key, ParseAuthenticate(authenticate).flags, false);

  // A flipped byte in our sealed message is refused by their side too.
  std::vector<uint8_t> bad = SealAsToken(*client, "tampered");
  bad[kSignatureSize + 2] ^= 1;
  std::string text;
  EXPECT_NE(server.Unwrap(bad, &text), GSS_S_COMPLETE);
}

TEST_F(GssNtlmssp, TheirAcceptorRejectsOurWrongPassword) {
  GssContext server;
  auto client = CreateNtlmInitiator(ClientCredentials{Identity(u"alice", u"EXAMPLE", u"not it")},
                                    false, u"host/localhost");
  EXPECT_TRUE(GSS_ERROR(OurClientTheirServer(*client, server)));
}

TEST_F(GssNtlmssp, TheirInitiatorWithOurAcceptor) {
  GssContext client;
  auto server = CreateNtlmAcceptor(ServerCredentials{accounts_.path(), "", ""}, false);
  std::vector<uint8_t> authenticate, last;
  ASSERT_NO_FATAL_FAILURE(TheirClientOurServer(client, *server, authenticate));
  ASSERT_EQ(server->Step(authenticate, last), StepResult::kComplete);
  EXPECT_EQ(server->PeerName(), "EXAMPLE\\alice");
  // Outside SPNEGO gss-ntlmssp sends no MIC and does not announce one in the AV pairs, which
  // the proof covers; the acceptor takes it as it is.
  EXPECT_FALSE(ParseAuthenticate(authenticate).has_mic);

  const std::vector<uint8_t> key = client.SessionKey();
  EXPECT_EQ(key, server->SessionKeyForTesting());

  ExpectTraffic(*server, client, key, ParseAuthenticate(authenticate).flags, true);

  // Their replayed message is refused by ours.
  std::vector<uint8_t> replay = client.Wrap("once");
  EXPECT_EQ(UnsealToken(*server, replay), "once");
  EXPECT_EQ(StatusOf([&] { UnsealToken(*server, replay); }), kSecPkgError);
}

TEST_F(GssNtlmssp, OurAcceptorRejectsTheirWrongPassword) {
  TempFile other("EXAMPLE:alice:a different password\n");
  GssContext client;
  auto server = CreateNtlmAcceptor(ServerCredentials{other.path(), "", ""}, false);
  std::vector<uint8_t> authenticate, last;
  ASSERT_NO_FATAL_FAILURE(TheirClientOurServer(client, *server, authenticate));
  EXPECT_EQ(StatusOf([&] { server->Step(authenticate, last); }), kErrorAccessDenied);
}

}  // namespace
}  // namespace rpcrt::security::ntlm
