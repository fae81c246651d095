#include "rpcrt/security/kerberos/kerberos_credential.h"

#include <krb5/krb5.h>

#include <algorithm>
#include <cctype>

#include "rpcrt/security/utf8.h"

namespace rpcrt::security {

namespace {

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

std::string RealmOf(const std::string& principal) {
  const size_t at = principal.rfind('@');
  return at == std::string::npos ? std::string() : principal.substr(at + 1);
}

gss_OID_set_desc KerberosOnly() {
  return {1, gss_mech_krb5};
}

// Rethrows a failed acquisition as "use something else" or as a hard failure.
// `from_cache`: a missing or expired ticket cache is no failure, just no Kerberos.
[[noreturn]] void AcquisitionFailed(const char* what, OM_uint32 major, OM_uint32 minor,
                                    bool from_cache) {
  try {
    gss::Throw(what, major, minor, /*authenticating=*/true);
  } catch (const RpcError& e) {
    const auto code = static_cast<krb5_error_code>(minor);
    const bool no_cache = from_cache && (code == KRB5_CC_NOTFOUND || code == KRB5_FCC_NOFILE ||
                                         GSS_ROUTINE_ERROR(major) == GSS_S_NO_CRED ||
                                         GSS_ROUTINE_ERROR(major) == GSS_S_CREDENTIALS_EXPIRED);
    if (no_cache || gss::IsKdcUnavailable(minor) || code == KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN) {
      throw KerberosUnavailable(
          code == KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN ? kErrorAccessDenied : kSecPkgError, e.what());
    }
    throw;
  }
}

}  // namespace

std::string KerberosPrincipal(const Identity& identity) {
  std::string user = ToUtf8(identity.user);
  if (user.empty()) throw RpcError(kInvalidAuthIdentity, "kerberos: empty user name");
  const size_t at = user.rfind('@');
  if (at != std::string::npos) return user.substr(0, at + 1) + Upper(user.substr(at + 1));
  const std::string domain = ToUtf8(identity.domain);
  return domain.empty() ? user : user + "@" + Upper(domain);
}

std::shared_ptr<KerberosClientCredential> AcquireKerberosCredential(
    const ClientCredentials& credentials) {
  OM_uint32 minor = 0;
  gss_OID_set_desc mechs = KerberosOnly();
  gss::Credential cred;
  if (credentials.identity) {
    const std::string principal = KerberosPrincipal(*credentials.identity);
    gss::Name name(principal, GSS_KRB5_NT_PRINCIPAL_NAME);
    SecretUtf8 password(credentials.identity->password);
    gss_buffer_desc pw = {password.str().size(), const_cast<char*>(password.str().data())};
    // This asks the KDC for a ticket-granting ticket at once, so a wrong password shows here.
    const OM_uint32 major =
        gss_acquire_cred_with_password(&minor, name.get(), &pw, GSS_C_INDEFINITE, &mechs,
                                       GSS_C_INITIATE, cred.out(), nullptr, nullptr);
    if (GSS_ERROR(major)) AcquisitionFailed("getting a ticket for the user", major, minor, false);
  } else {
    const OM_uint32 major = gss_acquire_cred(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, &mechs,
                                             GSS_C_INITIATE, cred.out(), nullptr, nullptr);
    if (GSS_ERROR(major)) AcquisitionFailed("using the ticket cache", major, minor, true);
  }

  // An expired cache still yields a handle; only a remaining lifetime makes it usable.
  gss::Name name;
  OM_uint32 lifetime = 0;
  const OM_uint32 major =
      gss_inquire_cred(&minor, cred.get(), name.out(), &lifetime, nullptr, nullptr);
  if (GSS_ERROR(major))
    AcquisitionFailed("inspecting the credentials", major, minor, !credentials.identity);
  if (lifetime == 0) {
    throw KerberosUnavailable(kSecPkgError, "kerberos: the ticket cache holds no valid ticket");
  }
  return std::make_shared<KerberosClientCredential>(std::move(cred), RealmOf(name.Display()));
}

}  // namespace rpcrt::security
