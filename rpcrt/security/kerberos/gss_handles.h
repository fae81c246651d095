// RAII owners of MIT GSS-API handles and the translation of GSS failures into RpcError.
#pragma once

#include <gssapi/gssapi.h>
#include <gssapi/gssapi_ext.h>
#include <gssapi/gssapi_krb5.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace rpcrt::security::gss {

// Throws rpcrt::RpcError for a failed GSS call. `what` names the operation. While credentials
// are acquired or a context is established (`authenticating`), a refusal of the credentials is
// kErrorAccessDenied; everything else, and every failure of a per-message call (where a bad
// checksum means a bad message, not a bad password), is kSecPkgError.
[[noreturn]] void Throw(const char* what, OM_uint32 major, OM_uint32 minor,
                        bool authenticating = false);
// Whether the minor status says the credentials themselves were refused.
bool IsCredentialRejection(OM_uint32 minor);
// Whether the minor status says no KDC for the realm can be reached or found.
bool IsKdcUnavailable(OM_uint32 minor);

class Name {
 public:
  Name() = default;
  // Imports `text` with the given name type; throws on failure.
  Name(const std::string& text, gss_OID type);
  ~Name();
  Name(Name&& other) noexcept : name_(other.release()) {}
  Name& operator=(Name&& other) noexcept;
  gss_name_t get() const { return name_; }
  gss_name_t* out() { return &name_; }
  gss_name_t release() noexcept {
    gss_name_t n = name_;
    name_ = GSS_C_NO_NAME;
    return n;
  }
  // The display form, e.g. "alice@ZELQA.TEST".
  std::string Display() const;

 private:
  gss_name_t name_ = GSS_C_NO_NAME;
};

class Credential {
 public:
  Credential() = default;
  ~Credential();
  Credential(Credential&& other) noexcept : cred_(other.cred_) {
    other.cred_ = GSS_C_NO_CREDENTIAL;
  }
  Credential& operator=(Credential&& other) noexcept;
  gss_cred_id_t get() const { return cred_; }
  gss_cred_id_t* out() { return &cred_; }

 private:
  gss_cred_id_t cred_ = GSS_C_NO_CREDENTIAL;
};

class Context {
 public:
  Context() = default;
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
  gss_ctx_id_t get() const { return ctx_; }
  gss_ctx_id_t* out() { return &ctx_; }

 private:
  gss_ctx_id_t ctx_ = GSS_C_NO_CONTEXT;
};

// An output buffer that GSS-API allocated.
class Buffer {
 public:
  Buffer() = default;
  ~Buffer();
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  gss_buffer_t out() { return &buf_; }
  std::span<const uint8_t> bytes() const {
    return {static_cast<const uint8_t*>(buf_.value), buf_.length};
  }
  std::vector<uint8_t> ToVector() const { return {bytes().begin(), bytes().end()}; }

 private:
  gss_buffer_desc buf_{0, nullptr};
};

class BufferSet {
 public:
  BufferSet() = default;
  ~BufferSet();
  BufferSet(const BufferSet&) = delete;
  BufferSet& operator=(const BufferSet&) = delete;
  gss_buffer_set_t* out() { return &set_; }
  gss_buffer_set_t get() const { return set_; }

 private:
  gss_buffer_set_t set_ = GSS_C_NO_BUFFER_SET;
};

// A read-only view of bytes as a GSS input buffer.
inline gss_buffer_desc View(std::span<const uint8_t> bytes) {
  return {bytes.size(), const_cast<uint8_t*>(bytes.data())};
}

}  // namespace rpcrt::security::gss
