// The client's side of the Kerberos exchange.
#include <utility>

#include "rpcrt/security/kerberos/kerberos.h"
#include "rpcrt/security/kerberos/kerberos_context.h"
#include "rpcrt/security/kerberos/kerberos_credential.h"
#include "rpcrt/security/utf8.h"
#include "rpcrt/status.h"

namespace rpcrt::security {

namespace {

constexpr OM_uint32 kRequestedFlags = GSS_C_DCE_STYLE | GSS_C_MUTUAL_FLAG | GSS_C_REPLAY_FLAG |
                                      GSS_C_SEQUENCE_FLAG | GSS_C_CONF_FLAG | GSS_C_INTEG_FLAG;

class KerberosInitiator final : public KerberosContext {
 public:
  KerberosInitiator(std::shared_ptr<KerberosClientCredential> credential, gss::Name target,
                    AuthnLevel level)
      : KerberosContext(level), credential_(std::move(credential)), target_(std::move(target)) {}

  std::string PeerName() const override {
    CheckEstablished();
    return {};
  }

  std::string Describe() const override {
    return "Kerberos as " + credential_->principal() + " for " + target_.Display();
  }

 protected:
  OM_uint32 Exchange(std::span<const uint8_t> input, gss::Buffer& output, OM_uint32& flags,
                     OM_uint32& minor) override {
    gss_buffer_desc in = gss::View(input);
    return gss_init_sec_context(&minor, credential_->get(), context().out(), target_.get(),
                                gss_mech_krb5, kRequestedFlags, GSS_C_INDEFINITE,
                                GSS_C_NO_CHANNEL_BINDINGS, input.empty() ? GSS_C_NO_BUFFER : &in,
                                nullptr, output.out(), &flags, nullptr);
  }

  const char* ExchangeName() const override { return "initiating the security context"; }

 private:
  std::shared_ptr<KerberosClientCredential> credential_;
  gss::Name target_;
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
  return std::make_unique<KerberosInitiator>(std::move(credential), std::move(target), level);
}

}  // namespace rpcrt::security
