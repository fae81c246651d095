#include "rpcrt/security/kerberos/kerberos_credential.h"

#include <krb5/krb5.h>
#include <profile.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "rpcrt/security/kerberos/realm_reachability.h"
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

// An owned krb5 library context.
class Krb5Context {
 public:
  Krb5Context() {
    if (krb5_error_code code = krb5_init_context(&ctx_))
      throw KerberosUnavailable(
          kSecPkgError, "kerberos: no usable configuration (error " + std::to_string(code) + ")");
  }
  ~Krb5Context() { krb5_free_context(ctx_); }
  Krb5Context(const Krb5Context&) = delete;
  Krb5Context& operator=(const Krb5Context&) = delete;
  krb5_context get() const { return ctx_; }

  std::string Message(krb5_error_code code) const {
    const char* text = krb5_get_error_message(ctx_, code);
    std::string result = text != nullptr ? text : "error " + std::to_string(code);
    krb5_free_error_message(ctx_, text);
    return result;
  }

 private:
  krb5_context ctx_ = nullptr;
};

// The realms the host's configuration knows: those with a [realms] section, and the default.
std::vector<std::string> ConfiguredRealms(const Krb5Context& ctx) {
  std::vector<std::string> realms;
  profile_t profile = nullptr;
  if (krb5_get_profile(ctx.get(), &profile) == 0) {
    const char* section[] = {"realms", nullptr};
    char** names = nullptr;
    if (profile_get_subsection_names(profile, section, &names) == 0) {
      for (char** n = names; *n != nullptr; ++n) realms.emplace_back(*n);
      profile_free_list(names);
    }
    profile_release(profile);
  }
  char* default_realm = nullptr;
  if (krb5_get_default_realm(ctx.get(), &default_realm) == 0) {
    realms.emplace_back(default_realm);
    krb5_free_default_realm(ctx.get(), default_realm);
  }
  return realms;
}

// A domain written the DNS way is its realm. A NetBIOS name ("ZAD") is mapped, as Windows
// maps it to its DNS domain, to the configured realm whose first label it is ("ZAD.TEST");
// a realm with a dot wins over one spelled like the NetBIOS name itself. Unknown names stay
// as written, for a KDC that knows them to canonicalise.
std::string RealmForDomain(const std::string& domain) {
  const std::string upper = Upper(domain);
  if (upper.find('.') != std::string::npos) return upper;
  Krb5Context ctx;
  std::string best;
  for (const std::string& realm : ConfiguredRealms(ctx)) {
    const std::string r = Upper(realm);
    if (r.substr(0, r.find('.')) != upper) continue;
    if (best.empty() || (best.find('.') == std::string::npos && r.find('.') != std::string::npos))
      best = r;
  }
  return best.empty() ? upper : best;
}

// Rethrows a failed use of the ticket cache as "use something else" or as a hard failure: a
// missing or expired cache is no failure, just no Kerberos.
[[noreturn]] void CacheFailed(const char* what, OM_uint32 major, OM_uint32 minor) {
  try {
    gss::Throw(what, major, minor, /*authenticating=*/true);
  } catch (const RpcError& e) {
    const auto code = static_cast<krb5_error_code>(minor);
    const bool no_cache = code == KRB5_CC_NOTFOUND || code == KRB5_FCC_NOFILE ||
                          GSS_ROUTINE_ERROR(major) == GSS_S_NO_CRED ||
                          GSS_ROUTINE_ERROR(major) == GSS_S_CREDENTIALS_EXPIRED;
    if (no_cache || gss::IsKdcUnavailable(minor) || code == KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN) {
      throw KerberosUnavailable(
          code == KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN ? kErrorAccessDenied : kSecPkgError, e.what());
    }
    throw;
  }
}

}  // namespace

class MemoryTicketCache {
 public:
  MemoryTicketCache() {
    if (krb5_error_code code = krb5_cc_new_unique(ctx_.get(), "MEMORY", nullptr, &cache_))
      throw RpcError(kSecPkgError, "kerberos: no memory ticket cache: " + ctx_.Message(code));
  }
  ~MemoryTicketCache() { krb5_cc_destroy(ctx_.get(), cache_); }
  MemoryTicketCache(const MemoryTicketCache&) = delete;
  MemoryTicketCache& operator=(const MemoryTicketCache&) = delete;
  krb5_ccache get() const { return cache_; }
  const Krb5Context& krb5() const { return ctx_; }

 private:
  Krb5Context ctx_;
  krb5_ccache cache_ = nullptr;
};

KerberosClientCredential::KerberosClientCredential(gss::Credential cred, std::string principal,
                                                   std::shared_ptr<MemoryTicketCache> cache)
    : cache_(std::move(cache)), cred_(std::move(cred)), principal_(std::move(principal)) {}

KerberosClientCredential::~KerberosClientCredential() = default;

std::string KerberosClientCredential::realm() const {
  return RealmOf(principal_);
}

std::string KerberosPrincipal(const Identity& identity) {
  std::string user = ToUtf8(identity.user);
  if (user.empty()) throw RpcError(kInvalidAuthIdentity, "kerberos: empty user name");
  const size_t at = user.rfind('@');
  if (at != std::string::npos) return user.substr(0, at + 1) + Upper(user.substr(at + 1));
  const std::string domain = ToUtf8(identity.domain);
  return domain.empty() ? user : user + "@" + RealmForDomain(domain);
}

namespace {

// A ticket-granting ticket for an explicit identity, asked with canonicalisation (so a KDC
// may answer "alice@ZAD" as "alice@ZAD.TEST"), kept in a memory cache of its own.
std::shared_ptr<KerberosClientCredential> TicketForPassword(const Identity& identity) {
  const std::string principal = KerberosPrincipal(identity);
  // An empty password gets no key to pre-authenticate with: such an account can only use NTLM.
  if (identity.password.empty())
    throw KerberosUnavailable(kSecPkgError, "kerberos: no ticket is asked with an empty password");
  const std::string realm = RealmOf(principal);
  RealmReachability::Attempt attempt(RealmReachability::Process(), realm);
  if (attempt.skip())
    throw KerberosUnavailable(kSecPkgError,
                              "kerberos: no KDC of realm " + realm + " answered a moment ago");

  auto cache = std::make_shared<MemoryTicketCache>();
  const Krb5Context& ctx = cache->krb5();
  struct Owned {
    krb5_context ctx;
    krb5_principal client = nullptr;
    krb5_get_init_creds_opt* opt = nullptr;
    krb5_creds creds{};
    bool have_creds = false;
    ~Owned() {
      if (have_creds) krb5_free_cred_contents(ctx, &creds);
      if (opt != nullptr) krb5_get_init_creds_opt_free(ctx, opt);
      krb5_free_principal(ctx, client);
    }
  } owned{ctx.get()};
  if (krb5_error_code code = krb5_parse_name(ctx.get(), principal.c_str(), &owned.client))
    throw RpcError(kInvalidAuthIdentity, "kerberos: bad principal name: " + ctx.Message(code));
  if (krb5_error_code code = krb5_get_init_creds_opt_alloc(ctx.get(), &owned.opt))
    throw RpcError(kSecPkgError, "kerberos: " + ctx.Message(code));
  krb5_get_init_creds_opt_set_canonicalize(owned.opt, 1);
  krb5_get_init_creds_opt_set_forwardable(owned.opt, 0);

  SecretUtf8 password(identity.password);
  const krb5_error_code code =
      krb5_get_init_creds_password(ctx.get(), &owned.creds, owned.client, password.str().c_str(),
                                   nullptr, nullptr, 0, nullptr, owned.opt);
  if (code != 0) {
    const std::string detail =
        "kerberos: getting a ticket for " + principal + " failed: " + ctx.Message(code);
    if (gss::IsKdcUnavailable(static_cast<OM_uint32>(code))) {
      attempt.Unreachable();
      throw KerberosUnavailable(kSecPkgError, detail);
    }
    attempt.Reached();
    // The KDC refused the password: that ends it. Anything else (the user is unknown there,
    // a realm the KDC will not serve, an answer this client cannot use) leaves it to NTLM.
    if (code != KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN &&
        gss::IsCredentialRejection(static_cast<OM_uint32>(code)))
      throw RpcError(kErrorAccessDenied, detail);
    throw KerberosUnavailable(
        code == KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN ? kErrorAccessDenied : kSecPkgError, detail);
  }
  attempt.Reached();
  owned.have_creds = true;

  char* canonical = nullptr;
  std::string canonical_name = principal;
  if (krb5_unparse_name(ctx.get(), owned.creds.client, &canonical) == 0) {
    canonical_name = canonical;
    krb5_free_unparsed_name(ctx.get(), canonical);
  }
  if (krb5_error_code c = krb5_cc_initialize(ctx.get(), cache->get(), owned.creds.client))
    throw RpcError(kSecPkgError, "kerberos: " + ctx.Message(c));
  if (krb5_error_code c = krb5_cc_store_cred(ctx.get(), cache->get(), &owned.creds))
    throw RpcError(kSecPkgError, "kerberos: " + ctx.Message(c));

  OM_uint32 minor = 0;
  gss::Credential cred;
  const OM_uint32 major = gss_krb5_import_cred(&minor, cache->get(), nullptr, nullptr, cred.out());
  if (GSS_ERROR(major)) gss::Throw("using the new ticket", major, minor);
  return std::make_shared<KerberosClientCredential>(std::move(cred), canonical_name,
                                                    std::move(cache));
}

// Seconds the credential's ticket-granting ticket still has (0 when it cannot be told).
OM_uint32 RemainingLifetime(const KerberosClientCredential& credential) {
  OM_uint32 minor = 0;
  OM_uint32 lifetime = 0;
  const OM_uint32 major =
      gss_inquire_cred(&minor, credential.get(), nullptr, &lifetime, nullptr, nullptr);
  return GSS_ERROR(major) ? 0 : lifetime;
}

}  // namespace

std::shared_ptr<KerberosClientCredential> AcquireKerberosCredential(
    const ClientCredentials& credentials) {
  if (credentials.identity) {
    // A ticket about to expire is replaced rather than handed to a connection that may
    // outlive it; the margin covers a long connect.
    constexpr OM_uint32 kRenewMarginSeconds = 300;
    KerberosCredentialSlot* slot = credentials.kerberos_credential.get();
    if (slot == nullptr) return TicketForPassword(*credentials.identity);
    base::MutexLock lock(slot->mutex);
    if (!slot->credential || RemainingLifetime(*slot->credential) <= kRenewMarginSeconds)
      slot->credential = TicketForPassword(*credentials.identity);
    return slot->credential;
  }

  OM_uint32 minor = 0;
  gss_OID_set_desc mechs = KerberosOnly();
  gss::Credential cred;
  OM_uint32 major = gss_acquire_cred(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, &mechs,
                                     GSS_C_INITIATE, cred.out(), nullptr, nullptr);
  if (GSS_ERROR(major)) CacheFailed("using the ticket cache", major, minor);

  // An expired cache still yields a handle; only a remaining lifetime makes it usable.
  gss::Name name;
  OM_uint32 lifetime = 0;
  major = gss_inquire_cred(&minor, cred.get(), name.out(), &lifetime, nullptr, nullptr);
  if (GSS_ERROR(major)) CacheFailed("inspecting the credentials", major, minor);
  if (lifetime == 0) {
    throw KerberosUnavailable(kSecPkgError, "kerberos: the ticket cache holds no valid ticket");
  }
  return std::make_shared<KerberosClientCredential>(std::move(cred), name.Display());
}

}  // namespace rpcrt::security
