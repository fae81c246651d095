#include "rpcrt/security/kerberos/kerberos_context.h"

#include <algorithm>
#include <string>

#include "rpcrt/security/oids.h"
#include "rpcrt/status.h"

namespace rpcrt::security {

namespace {

constexpr OM_uint32 kRequiredFlags = GSS_C_CONF_FLAG | GSS_C_INTEG_FLAG;
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

std::vector<gss_iov_buffer_desc> MicLayout(std::span<const IoBuffer> buffers,
                                           std::span<uint8_t> token) {
  auto iov = Layout(buffers, GSS_IOV_BUFFER_TYPE_MIC_TOKEN, token);
  std::rotate(iov.begin(), iov.begin() + 1, iov.end());
  return iov;
}

}  // namespace

std::span<const uint8_t> KerberosContext::Oid() const {
  return oids::kKerberos;
}

StepResult KerberosContext::Step(std::span<const uint8_t> input, std::vector<uint8_t>& output) {
  if (failed_) Fail("context failed in an earlier leg");
  if (established_) Fail("context is already established");
  output.clear();
  OM_uint32 minor = 0;
  OM_uint32 flags = 0;
  gss::Buffer out;
  const OM_uint32 major = Exchange(input, out, flags, minor);
  if (GSS_ERROR(major)) {
    failed_ = true;
    gss::Throw(ExchangeName(), major, minor, /*authenticating=*/true);
  }
  output = out.ToVector();
  if (major & GSS_S_CONTINUE_NEEDED) return StepResult::kContinue;
  if ((flags & kRequiredFlags) != kRequiredFlags) {
    failed_ = true;
    Fail("the peer did not agree to confidentiality and integrity");
  }
  established_ = true;
  return StepResult::kComplete;
}

size_t KerberosContext::SignatureSize(size_t data_size) const {
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

void KerberosContext::Seal(std::span<IoBuffer> buffers, std::span<uint8_t> signature) {
  CheckEstablished();
  CheckSignatureSize(buffers, signature.size(), AuthnLevel::kPktPrivacy);
  auto iov = Layout(buffers, GSS_IOV_BUFFER_TYPE_HEADER, signature);
  OM_uint32 minor = 0;
  int conf = 0;
  const OM_uint32 major = gss_wrap_iov(&minor, ctx_.get(), 1, GSS_C_QOP_DEFAULT, &conf, iov.data(),
                                       static_cast<int>(iov.size()));
  if (GSS_ERROR(major)) gss::Throw("sealing", major, minor);
  if (conf == 0) Fail("sealing did not encrypt");
}

void KerberosContext::Unseal(std::span<IoBuffer> buffers, std::span<const uint8_t> signature) {
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
  if (major & kOrderProblems) Poisoned([] { Fail("sealed message out of sequence or replayed"); });
  if (conf == 0) Poisoned([] { Fail("message was signed but not sealed"); });
}

void KerberosContext::Sign(std::span<const IoBuffer> buffers, std::span<uint8_t> signature) {
  CheckEstablished();
  CheckSignatureSize(buffers, signature.size(), AuthnLevel::kPktIntegrity);
  auto iov = MicLayout(buffers, signature);
  OM_uint32 minor = 0;
  const OM_uint32 major = gss_get_mic_iov(&minor, ctx_.get(), GSS_C_QOP_DEFAULT, iov.data(),
                                          static_cast<int>(iov.size()));
  if (GSS_ERROR(major)) gss::Throw("signing", major, minor);
}

void KerberosContext::Verify(std::span<const IoBuffer> buffers,
                             std::span<const uint8_t> signature) {
  CheckEstablished();
  std::vector<uint8_t> token(signature.begin(), signature.end());
  auto iov = MicLayout(buffers, token);
  OM_uint32 minor = 0;
  gss_qop_t qop = 0;
  const OM_uint32 major =
      gss_verify_mic_iov(&minor, ctx_.get(), &qop, iov.data(), static_cast<int>(iov.size()));
  if (GSS_ERROR(major)) Poisoned([&] { gss::Throw("verifying a signature", major, minor); });
  if (major & kOrderProblems) Poisoned([] { Fail("signed message out of sequence or replayed"); });
}

std::vector<uint8_t> KerberosContext::GetMic(std::span<const uint8_t> message) {
  CheckEstablished();
  OM_uint32 minor = 0;
  gss_buffer_desc in = gss::View(message);
  gss::Buffer mic;
  const OM_uint32 major = gss_get_mic(&minor, ctx_.get(), GSS_C_QOP_DEFAULT, &in, mic.out());
  if (GSS_ERROR(major)) gss::Throw("signing the mechanism list", major, minor);
  return mic.ToVector();
}

void KerberosContext::VerifyMic(std::span<const uint8_t> message, std::span<const uint8_t> mic) {
  CheckEstablished();
  OM_uint32 minor = 0;
  gss_buffer_desc in = gss::View(message);
  gss_buffer_desc token = gss::View(mic);
  const OM_uint32 major = gss_verify_mic(&minor, ctx_.get(), &in, &token, nullptr);
  if (GSS_ERROR(major)) gss::Throw("verifying the mechanism list", major, minor);
}

std::vector<uint8_t> KerberosContext::SessionKeyForTesting() const {
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

template <typename F>
void KerberosContext::Poisoned(F fail) {
  failed_ = true;
  fail();
  Fail("message rejected");
}

void KerberosContext::CheckEstablished() const {
  if (failed_) Fail("security context failed earlier and cannot be used");
  if (!established_) Fail("security context is not established");
}

void KerberosContext::CheckSignatureSize(std::span<const IoBuffer> buffers, size_t size,
                                         AuthnLevel level) const {
  size_t data = 0;
  for (const IoBuffer& b : buffers) {
    if (b.kind == IoBuffer::Kind::kData) data += b.bytes.size();
  }
  const AuthnLevel saved = level_;
  const_cast<KerberosContext*>(this)->level_ = level;
  const size_t expected = SignatureSize(data);
  const_cast<KerberosContext*>(this)->level_ = saved;
  if (size != expected) {
    Fail("signature area of " + std::to_string(size) + " bytes, " + std::to_string(expected) +
         " needed");
  }
}

}  // namespace rpcrt::security
