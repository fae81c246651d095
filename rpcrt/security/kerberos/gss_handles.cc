#include "rpcrt/security/kerberos/gss_handles.h"

#include <krb5/krb5.h>

#include "rpcrt/status.h"

namespace rpcrt::security::gss {

namespace {

// The text GSS-API gives for one kind of status code.
std::string StatusText(OM_uint32 code, int type, gss_OID mech) {
  std::string text;
  OM_uint32 context = 0;
  do {
    OM_uint32 minor = 0;
    gss_buffer_desc msg{0, nullptr};
    if (GSS_ERROR(gss_display_status(&minor, code, type, mech, &context, &msg))) break;
    if (!text.empty()) text += "; ";
    text.append(static_cast<const char*>(msg.value), msg.length);
    gss_release_buffer(&minor, &msg);
  } while (context != 0);
  return text;
}

}  // namespace

bool IsCredentialRejection(OM_uint32 minor) {
  switch (static_cast<krb5_error_code>(minor)) {
    case KRB5KDC_ERR_PREAUTH_FAILED:
    case KRB5KRB_AP_ERR_BAD_INTEGRITY:
    case KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN:
    case KRB5KDC_ERR_CLIENT_REVOKED:
    case KRB5KDC_ERR_KEY_EXP:
    case KRB5KDC_ERR_NAME_EXP:
    case KRB5KDC_ERR_POLICY:
    case KRB5_PREAUTH_FAILED:
    case KRB5KRB_AP_ERR_TKT_EXPIRED:
      return true;
    default:
      return false;
  }
}

bool IsKdcUnavailable(OM_uint32 minor) {
  switch (static_cast<krb5_error_code>(minor)) {
    case KRB5_KDC_UNREACH:
    case KRB5_REALM_UNKNOWN:
    case KRB5_REALM_CANT_RESOLVE:
    case KRB5_CONFIG_NODEFREALM:
      return true;
    default:
      return false;
  }
}

void Throw(const char* what, OM_uint32 major, OM_uint32 minor, bool authenticating) {
  std::string detail = std::string("kerberos: ") + what +
                       " failed: " + StatusText(major, GSS_C_GSS_CODE, GSS_C_NO_OID);
  if (minor != 0) detail += " (" + StatusText(minor, GSS_C_MECH_CODE, gss_mech_krb5) + ")";
  const bool rejected = authenticating && (IsCredentialRejection(minor) ||
                                           GSS_ROUTINE_ERROR(major) == GSS_S_NO_CRED ||
                                           GSS_ROUTINE_ERROR(major) == GSS_S_DEFECTIVE_CREDENTIAL ||
                                           GSS_ROUTINE_ERROR(major) == GSS_S_CREDENTIALS_EXPIRED);
  throw RpcError(rejected ? kErrorAccessDenied : kSecPkgError, detail);
}

Name::Name(const std::string& text, gss_OID type) {
  OM_uint32 minor = 0;
  gss_buffer_desc buf{text.size(), const_cast<char*>(text.data())};
  const OM_uint32 major = gss_import_name(&minor, &buf, type, &name_);
  if (GSS_ERROR(major)) Throw("importing a principal name", major, minor);
}

Name::~Name() {
  OM_uint32 minor = 0;
  if (name_ != GSS_C_NO_NAME) gss_release_name(&minor, &name_);
}

Name& Name::operator=(Name&& other) noexcept {
  if (this != &other) {
    OM_uint32 minor = 0;
    if (name_ != GSS_C_NO_NAME) gss_release_name(&minor, &name_);
    name_ = other.release();
  }
  return *this;
}

std::string Name::Display() const {
  OM_uint32 minor = 0;
  gss_buffer_desc buf{0, nullptr};
  const OM_uint32 major = gss_display_name(&minor, name_, &buf, nullptr);
  if (GSS_ERROR(major)) Throw("displaying a principal name", major, minor);
  std::string text(static_cast<const char*>(buf.value), buf.length);
  gss_release_buffer(&minor, &buf);
  return text;
}

Credential::~Credential() {
  OM_uint32 minor = 0;
  if (cred_ != GSS_C_NO_CREDENTIAL) gss_release_cred(&minor, &cred_);
}

Credential& Credential::operator=(Credential&& other) noexcept {
  if (this != &other) {
    OM_uint32 minor = 0;
    if (cred_ != GSS_C_NO_CREDENTIAL) gss_release_cred(&minor, &cred_);
    cred_ = other.cred_;
    other.cred_ = GSS_C_NO_CREDENTIAL;
  }
  return *this;
}

Context::~Context() {
  OM_uint32 minor = 0;
  if (ctx_ != GSS_C_NO_CONTEXT) gss_delete_sec_context(&minor, &ctx_, GSS_C_NO_BUFFER);
}

Buffer::~Buffer() {
  OM_uint32 minor = 0;
  if (buf_.value != nullptr) gss_release_buffer(&minor, &buf_);
}

BufferSet::~BufferSet() {
  OM_uint32 minor = 0;
  if (set_ != GSS_C_NO_BUFFER_SET) gss_release_buffer_set(&minor, &set_);
}

}  // namespace rpcrt::security::gss
