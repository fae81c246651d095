#include <algorithm>
#include <optional>

#include "rpcrt/security/kerberos/gss_handles.h"
#include "rpcrt/security/kerberos/kerberos.h"
#include "rpcrt/security/kerberos/kerberos_credential.h"
#include "rpcrt/security/kerberos/pac_logon_info.h"
#include "rpcrt/security/oids.h"
#include "rpcrt/security/utf8.h"

namespace rpcrt::security {

namespace {

constexpr OM_uint32 kRequiredFlags = GSS_C_CONF_FLAG | GSS_C_INTEG_FLAG;
constexpr OM_uint32 kRequestedFlags =
    GSS_C_DCE_STYLE | GSS_C_MUTUAL_FLAG | GSS_C_REPLAY_FLAG | GSS_C_SEQUENCE_FLAG | kRequiredFlags;
// A PDU must arrive exactly in order: a replayed, old, skipped or reordered token fails.
constexpr OM_uint32 kOrderProblems =
    GSS_S_DUPLICATE_TOKEN | GSS_S_OLD_TOKEN | GSS_S_UNSEQ_TOKEN | GSS_S_GAP_TOKEN;

[[noreturn]] void Fail(const std::string& what) {
  throw RpcError(kSecPkgError, "kerberos: " + what);
}

// The iov array for a PDU: the token first, then the buffers in PDU order.
std::vector<gss_iov_buffer_desc> Layout(std::span<const IoBuffer> buffers, OM_uint32 token_type,
                                        std::span<uint8_t> token) {
  std::vector<gss_iov_buffer_desc> iov;
  iov.reserve(buffers.size() + 1);
  iov.push_back({token_type, {token.size(), token.data()}});
  for (const IoBuffer& b : buffers) {
    const OM_uint32 type =
        b.kind == IoBuffer::Kind::kData ? GSS_IOV_BUFFER_TYPE_DATA : GSS_IOV_BUFFER_TYPE_SIGN_ONLY;
    iov.push_back({type, {b.bytes.size(), b.bytes.data()}});
  }
  return iov;
}

class KerberosMechanism final : public Mechanism {
 public:
  // Initiator.
  KerberosMechanism(std::shared_ptr<KerberosClientCredential> credential, gss::Name target,
                    AuthnLevel level)
      : initiator_(true),
        credential_(std::move(credential)),
        target_(std::move(target)),
        level_(level) {}
  // Acceptor.
  explicit KerberosMechanism(gss::Credential acceptor)
      : initiator_(false), acceptor_(std::move(acceptor)), level_(AuthnLevel::kPktPrivacy) {}

  std::span<const uint8_t> Oid() const override { return oids::kKerberos; }

  StepResult Step(std::span<const uint8_t> input, std::vector<uint8_t>& output) override {
    if (failed_) Fail("context failed in an earlier leg");
    if (established_) Fail("context is already established");
    output.clear();
    OM_uint32 minor = 0;
    OM_uint32 major = 0;
    gss_buffer_desc in = gss::View(input);
    gss::Buffer out;
    OM_uint32 flags = 0;
    if (initiator_) {
      major = gss_init_sec_context(&minor, credential_->get(), ctx_.out(), target_.get(),
                                   gss_mech_krb5, kRequestedFlags, GSS_C_INDEFINITE,
                                   GSS_C_NO_CHANNEL_BINDINGS, input.empty() ? GSS_C_NO_BUFFER : &in,
                                   nullptr, out.out(), &flags, nullptr);
    } else {
      if (input.empty()) Fail("the client sent no token");
      major = gss_accept_sec_context(&minor, ctx_.out(), acceptor_.get(), &in,
                                     GSS_C_NO_CHANNEL_BINDINGS, peer_.out(), nullptr, out.out(),
                                     &flags, nullptr, nullptr);
    }
    if (GSS_ERROR(major)) {
      failed_ = true;
      gss::Throw(initiator_ ? "initiating the security context" : "accepting the security context",
                 major, minor, /*authenticating=*/true);
    }
    output = out.ToVector();
    if (major & GSS_S_CONTINUE_NEEDED) return StepResult::kContinue;
    if ((flags & kRequiredFlags) != kRequiredFlags) {
      failed_ = true;
      Fail("the peer did not agree to confidentiality and integrity");
    }
    dce_style_ = (flags & GSS_C_DCE_STYLE) != 0;
    established_ = true;
    return StepResult::kComplete;
  }

  bool IsEstablished() const override { return established_; }

  size_t SignatureSize(size_t data_size) const override {
    CheckEstablished();
    OM_uint32 minor = 0;
    if (level_ == AuthnLevel::kPktPrivacy) {
      gss_iov_buffer_desc iov[2] = {{GSS_IOV_BUFFER_TYPE_HEADER, {0, nullptr}},
                                    {GSS_IOV_BUFFER_TYPE_DATA, {data_size, nullptr}}};
      const OM_uint32 major =
          gss_wrap_iov_length(&minor, ctx_.get(), 1, GSS_C_QOP_DEFAULT, nullptr, iov, 2);
      if (GSS_ERROR(major)) gss::Throw("measuring a sealed token", major, minor);
      return iov[0].buffer.length;
    }
    gss_iov_buffer_desc iov[2] = {{GSS_IOV_BUFFER_TYPE_DATA, {data_size, nullptr}},
                                  {GSS_IOV_BUFFER_TYPE_MIC_TOKEN, {0, nullptr}}};
    const OM_uint32 major = gss_get_mic_iov_length(&minor, ctx_.get(), GSS_C_QOP_DEFAULT, iov, 2);
    if (GSS_ERROR(major)) gss::Throw("measuring a signature", major, minor);
    return iov[1].buffer.length;
  }

  void Seal(std::span<IoBuffer> buffers, std::span<uint8_t> signature) override {
    CheckEstablished();
    CheckSignatureSize(buffers, signature.size(), AuthnLevel::kPktPrivacy);
    auto iov = Layout(buffers, GSS_IOV_BUFFER_TYPE_HEADER, signature);
    OM_uint32 minor = 0;
    int conf = 0;
    const OM_uint32 major = gss_wrap_iov(&minor, ctx_.get(), 1, GSS_C_QOP_DEFAULT, &conf,
                                         iov.data(), static_cast<int>(iov.size()));
    if (GSS_ERROR(major)) gss::Throw("sealing", major, minor);
    if (conf == 0) Fail("sealing did not encrypt");
  }

  void Unseal(std::span<IoBuffer> buffers, std::span<const uint8_t> signature) override {
    CheckEstablished();
    // Unwrapping rotates the token in place; the caller's bytes stay as they came.
    std::vector<uint8_t> token(signature.begin(), signature.end());
    auto iov = Layout(buffers, GSS_IOV_BUFFER_TYPE_HEADER, token);
    OM_uint32 minor = 0;
    int conf = 0;
    gss_qop_t qop = 0;
    const OM_uint32 major =
        gss_unwrap_iov(&minor, ctx_.get(), &conf, &qop, iov.data(), static_cast<int>(iov.size()));
    // A rejected message ends the context (the connection is dropped with it): the sequence
    // window may have moved past it, so the stream could not be trusted again anyway.
    if (GSS_ERROR(major)) Poisoned([&] { gss::Throw("unsealing", major, minor); });
    if (major & kOrderProblems)
      Poisoned([] { Fail("sealed message out of sequence or replayed"); });
    if (conf == 0) Poisoned([] { Fail("message was signed but not sealed"); });
  }

  void Sign(std::span<const IoBuffer> buffers, std::span<uint8_t> signature) override {
    CheckEstablished();
    CheckSignatureSize(buffers, signature.size(), AuthnLevel::kPktIntegrity);
    auto iov = MicLayout(buffers, signature);
    OM_uint32 minor = 0;
    const OM_uint32 major = gss_get_mic_iov(&minor, ctx_.get(), GSS_C_QOP_DEFAULT, iov.data(),
                                            static_cast<int>(iov.size()));
    if (GSS_ERROR(major)) gss::Throw("signing", major, minor);
  }

  void Verify(std::span<const IoBuffer> buffers, std::span<const uint8_t> signature) override {
    CheckEstablished();
    std::vector<uint8_t> token(signature.begin(), signature.end());
    auto iov = MicLayout(buffers, token);
    OM_uint32 minor = 0;
    gss_qop_t qop = 0;
    const OM_uint32 major =
        gss_verify_mic_iov(&minor, ctx_.get(), &qop, iov.data(), static_cast<int>(iov.size()));
    if (GSS_ERROR(major)) Poisoned([&] { gss::Throw("verifying a signature", major, minor); });
    if (major & kOrderProblems)
      Poisoned([] { Fail("signed message out of sequence or replayed"); });
  }

  std::string PeerName() const override {
    CheckEstablished();
    if (initiator_) return {};
    // As Windows names the caller: by the logon domain and account of the ticket's PAC.
    if (auto pac = PacNames()) return pac->domain + "\\" + pac->account;
    // Without a PAC, "alice@ZELQA.TEST" is shown the Windows way, "ZELQA.TEST\alice".
    const std::string name = peer_.Display();
    const size_t at = name.rfind('@');
    if (at == std::string::npos) return name;
    return name.substr(at + 1) + "\\" + name.substr(0, at);
  }

  std::vector<uint8_t> GetMic(std::span<const uint8_t> message) override {
    CheckEstablished();
    OM_uint32 minor = 0;
    gss_buffer_desc in = gss::View(message);
    gss::Buffer mic;
    const OM_uint32 major = gss_get_mic(&minor, ctx_.get(), GSS_C_QOP_DEFAULT, &in, mic.out());
    if (GSS_ERROR(major)) gss::Throw("signing the mechanism list", major, minor);
    return mic.ToVector();
  }

  void VerifyMic(std::span<const uint8_t> message, std::span<const uint8_t> mic) override {
    CheckEstablished();
    OM_uint32 minor = 0;
    gss_buffer_desc in = gss::View(message);
    gss_buffer_desc token = gss::View(mic);
    const OM_uint32 major = gss_verify_mic(&minor, ctx_.get(), &in, &token, nullptr);
    if (GSS_ERROR(major)) gss::Throw("verifying the mechanism list", major, minor);
  }

  std::string Describe() const override {
    if (!initiator_) return "Kerberos";
    return "Kerberos as " + credential_->principal() + " for " + target_.Display();
  }

  std::vector<uint8_t> SessionKeyForTesting() const override {
    CheckEstablished();
    OM_uint32 minor = 0;
    gss::BufferSet set;
    const OM_uint32 major =
        gss_inquire_sec_context_by_oid(&minor, ctx_.get(), GSS_C_INQ_SSPI_SESSION_KEY, set.out());
    if (GSS_ERROR(major)) gss::Throw("reading the session key", major, minor);
    if (set.get() == GSS_C_NO_BUFFER_SET || set.get()->count == 0) Fail("no session key");
    const gss_buffer_desc& key = set.get()->elements[0];
    const auto* p = static_cast<const uint8_t*>(key.value);
    return {p, p + key.length};
  }

 private:
  // The names of the PAC's logon information, when the ticket carries a PAC that the KDC
  // signed (MIT checks the signatures before it calls the attribute authenticated).
  std::optional<PacLogonNames> PacNames() const {
    static constexpr char kLogonInfo[] = "urn:mspac:logon-info";
    gss_buffer_desc attribute{sizeof kLogonInfo - 1, const_cast<char*>(kLogonInfo)};
    int authenticated = 0;
    int complete = 0;
    int more = -1;
    gss::Buffer value;
    gss::Buffer display;
    OM_uint32 minor = 0;
    const OM_uint32 major = gss_get_name_attribute(&minor, peer_.get(), &attribute, &authenticated,
                                                   &complete, value.out(), display.out(), &more);
    if (GSS_ERROR(major) || !authenticated) return std::nullopt;
    return ParsePacLogonNames(value.bytes());
  }

  // Marks the context unusable, then throws what `fail` throws.
  template <typename F>
  [[noreturn]] void Poisoned(F fail) {
    failed_ = true;
    fail();
    Fail("message rejected");
  }

  void CheckEstablished() const {
    if (failed_) Fail("security context failed earlier and cannot be used");
    if (!established_) Fail("security context is not established");
  }

  // A signature area of the wrong size would make GSS-API write past it or leave a gap.
  void CheckSignatureSize(std::span<const IoBuffer> buffers, size_t size, AuthnLevel level) const {
    size_t data = 0;
    for (const IoBuffer& b : buffers) {
      if (b.kind == IoBuffer::Kind::kData) data += b.bytes.size();
    }
    const AuthnLevel saved = level_;
    const_cast<KerberosMechanism*>(this)->level_ = level;
    const size_t expected = SignatureSize(data);
    const_cast<KerberosMechanism*>(this)->level_ = saved;
    if (size != expected) {
      Fail("signature area of " + std::to_string(size) + " bytes, " + std::to_string(expected) +
           " needed");
    }
  }

  static std::vector<gss_iov_buffer_desc> MicLayout(std::span<const IoBuffer> buffers,
                                                    std::span<uint8_t> token) {
    auto iov = Layout(buffers, GSS_IOV_BUFFER_TYPE_MIC_TOKEN, token);
    std::rotate(iov.begin(), iov.begin() + 1, iov.end());
    return iov;
  }

  const bool initiator_;
  std::shared_ptr<KerberosClientCredential> credential_;
  gss::Credential acceptor_;
  gss::Name target_;
  gss::Name peer_;
  gss::Context ctx_;
  AuthnLevel level_;
  bool established_ = false;
  bool failed_ = false;
  bool dce_style_ = false;
};

}  // namespace

std::unique_ptr<Mechanism> CreateKerberosInitiator(
    std::shared_ptr<KerberosClientCredential> credential, const std::u16string& principal,
    AuthnLevel level) {
  if (!credential) throw RpcError(kErrorInvalidParameter, "kerberos: no client credential");
  // Windows asks for the service principal name as written, "service/host", in the realm of
  // the user; it never canonicalises the host through DNS, which a host-based name would.
  std::string name = ToUtf8(principal);
  if (name.find('@') == std::string::npos && !credential->realm().empty()) {
    name += "@" + credential->realm();
  }
  gss::Name target(name, GSS_KRB5_NT_PRINCIPAL_NAME);
  return std::make_unique<KerberosMechanism>(std::move(credential), std::move(target), level);
}

std::unique_ptr<Mechanism> CreateKerberosAcceptor(const ServerCredentials& credentials) {
  if (credentials.keytab.empty()) {
    throw KerberosUnavailable(kSecPkgError, "kerberos: the server has no keytab");
  }
  gss::Name name;
  if (!credentials.service_principal.empty()) {
    name = gss::Name(credentials.service_principal, GSS_KRB5_NT_PRINCIPAL_NAME);
  }
  gss_key_value_element_desc element{"keytab", credentials.keytab.c_str()};
  gss_key_value_set_desc store{1, &element};
  gss_OID_set_desc mechs{1, gss_mech_krb5};
  gss::Credential cred;
  OM_uint32 minor = 0;
  const OM_uint32 major = gss_acquire_cred_from(&minor, name.get(), GSS_C_INDEFINITE, &mechs,
                                                GSS_C_ACCEPT, &store, cred.out(), nullptr, nullptr);
  if (GSS_ERROR(major)) {
    try {
      gss::Throw("reading the keytab", major, minor);
    } catch (const RpcError& e) {
      throw KerberosUnavailable(kSecPkgError, e.what());
    }
  }
  return std::make_unique<KerberosMechanism>(std::move(cred));
}

}  // namespace rpcrt::security
