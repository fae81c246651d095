#include "rpcrt/server/security/kerberos/kerberos_acceptor.h"

#include <optional>
#include <utility>

#include "rpcrt/security/kerberos/kerberos.h"
#include "rpcrt/security/kerberos/kerberos_context.h"
#include "rpcrt/server/security/kerberos/pac_logon_info.h"
#include "rpcrt/status.h"

namespace rpcrt::security {

namespace {

class KerberosAcceptor final : public KerberosContext {
 public:
  explicit KerberosAcceptor(gss::Credential credential)
      : KerberosContext(AuthnLevel::kPktPrivacy), credential_(std::move(credential)) {}

  std::string PeerName() const override {
    CheckEstablished();
    // As Windows names the caller: by the logon domain and account of the ticket's PAC.
    if (auto pac = PacNames()) return pac->domain + "\\" + pac->account;
    // Without a PAC, "alice@ZELQA.TEST" is shown the Windows way, "ZELQA.TEST\alice".
    const std::string name = peer_.Display();
    const size_t at = name.rfind('@');
    if (at == std::string::npos) return name;
    return name.substr(at + 1) + "\\" + name.substr(0, at);
  }

  std::string Describe() const override { return "Kerberos"; }

 protected:
  OM_uint32 Exchange(std::span<const uint8_t> input, gss::Buffer& output, OM_uint32& flags,
                     OM_uint32& minor) override {
    if (input.empty()) throw RpcError(kSecPkgError, "kerberos: the client sent no token");
    gss_buffer_desc in = gss::View(input);
    return gss_accept_sec_context(&minor, context().out(), credential_.get(), &in,
                                  GSS_C_NO_CHANNEL_BINDINGS, peer_.out(), nullptr, output.out(),
                                  &flags, nullptr, nullptr);
  }

  const char* ExchangeName() const override { return "accepting the security context"; }

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

  gss::Credential credential_;
  gss::Name peer_;
};

}  // namespace

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
  return std::make_unique<KerberosAcceptor>(std::move(cred));
}

}  // namespace rpcrt::security
