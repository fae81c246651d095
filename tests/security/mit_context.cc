#include "mit_context.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace zelqa::testing {

namespace gss = rpcrt::security::gss;
using rpcrt::security::IoBuffer;
using rpcrt::security::StepResult;

gss_OID SpnegoOid() {
  static gss_OID_desc oid = {6, const_cast<char*>("\x2b\x06\x01\x05\x05\x02")};
  return &oid;
}

std::unique_ptr<MitContext> MitContext::Initiator(gss_OID mech, const std::string& target,
                                                  OM_uint32 flags, std::optional<std::string> user,
                                                  std::optional<std::string> password) {
  auto ctx = std::make_unique<MitContext>();
  ctx->initiator_ = true;
  ctx->mech_ = mech;
  ctx->req_flags_ = flags;
  ctx->target_ = gss::Name(target, GSS_KRB5_NT_PRINCIPAL_NAME);
  if (user) {
    gss::Name name(*user, GSS_C_NT_USER_NAME);
    gss_buffer_desc pw{password->size(), password->data()};
    gss_OID_set_desc mechs{1, mech};
    OM_uint32 minor = 0;
    const OM_uint32 major =
        gss_acquire_cred_with_password(&minor, name.get(), &pw, GSS_C_INDEFINITE, &mechs,
                                       GSS_C_INITIATE, ctx->cred_.out(), nullptr, nullptr);
    if (GSS_ERROR(major)) gss::Throw("MIT acquire with password", major, minor);
  }
  return ctx;
}

gss_OID NtlmOid() {
  static gss_OID_desc oid = {10, const_cast<char*>("\x2b\x06\x01\x04\x01\x82\x37\x02\x02\x0a")};
  return &oid;
}

std::unique_ptr<MitContext> MitContext::SpnegoNtlmInitiator(const std::string& service_at_host) {
  auto ctx = std::make_unique<MitContext>();
  ctx->initiator_ = true;
  ctx->mech_ = SpnegoOid();
  ctx->req_flags_ = GSS_C_MUTUAL_FLAG | GSS_C_REPLAY_FLAG | GSS_C_SEQUENCE_FLAG | GSS_C_CONF_FLAG |
                    GSS_C_INTEG_FLAG;
  ctx->target_ = gss::Name(service_at_host, GSS_C_NT_HOSTBASED_SERVICE);
  OM_uint32 minor = 0;
  gss_OID_set_desc spnego{1, SpnegoOid()};
  OM_uint32 major = gss_acquire_cred(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, &spnego,
                                     GSS_C_INITIATE, ctx->cred_.out(), nullptr, nullptr);
  if (GSS_ERROR(major)) gss::Throw("MIT acquire", major, minor);
  gss_OID_set_desc ntlm{1, NtlmOid()};
  major = gss_set_neg_mechs(&minor, ctx->cred_.get(), &ntlm);
  if (GSS_ERROR(major)) gss::Throw("MIT set_neg_mechs", major, minor);
  return ctx;
}

std::unique_ptr<MitContext> MitContext::Acceptor() {
  return std::make_unique<MitContext>();
}

StepResult MitContext::Step(std::span<const uint8_t> input, std::vector<uint8_t>& output) {
  OM_uint32 minor = 0;
  OM_uint32 major = 0;
  gss_buffer_desc in = gss::View(input);
  gss::Buffer out;
  if (initiator_) {
    major = gss_init_sec_context(&minor, cred_.get(), ctx_.out(), target_.get(), mech_, req_flags_,
                                 GSS_C_INDEFINITE, GSS_C_NO_CHANNEL_BINDINGS,
                                 input.empty() ? GSS_C_NO_BUFFER : &in, nullptr, out.out(), &flags_,
                                 nullptr);
  } else {
    major = gss_accept_sec_context(&minor, ctx_.out(), GSS_C_NO_CREDENTIAL, &in,
                                   GSS_C_NO_CHANNEL_BINDINGS, peer_.out(), nullptr, out.out(),
                                   &flags_, nullptr, nullptr);
  }
  if (GSS_ERROR(major)) gss::Throw(initiator_ ? "MIT init" : "MIT accept", major, minor);
  output = out.ToVector();
  if (major & GSS_S_CONTINUE_NEEDED) return StepResult::kContinue;
  established_ = true;
  return StepResult::kComplete;
}

size_t MitContext::SignatureSize(size_t data_size) const {
  gss_iov_buffer_desc iov[2] = {{GSS_IOV_BUFFER_TYPE_HEADER, {0, nullptr}},
                                {GSS_IOV_BUFFER_TYPE_DATA, {data_size, nullptr}}};
  OM_uint32 minor = 0;
  const OM_uint32 major =
      gss_wrap_iov_length(&minor, ctx_.get(), 1, GSS_C_QOP_DEFAULT, nullptr, iov, 2);
  // gss-ntlmssp has no IOV interface; its wrap token is the 16-byte NTLM signature.
  if (GSS_ROUTINE_ERROR(major) == GSS_S_UNAVAILABLE) return 16;
  if (GSS_ERROR(major)) gss::Throw("MIT wrap length", major, minor);
  return iov[0].buffer.length;
}

namespace {

std::vector<gss_iov_buffer_desc> Iov(std::span<const IoBuffer> buffers, std::span<uint8_t> header) {
  std::vector<gss_iov_buffer_desc> iov{
      {GSS_IOV_BUFFER_TYPE_HEADER, {header.size(), header.data()}}};
  for (const IoBuffer& b : buffers) {
    const OM_uint32 type =
        b.kind == IoBuffer::Kind::kData ? GSS_IOV_BUFFER_TYPE_DATA : GSS_IOV_BUFFER_TYPE_SIGN_ONLY;
    iov.push_back({type, {b.bytes.size(), b.bytes.data()}});
  }
  return iov;
}

}  // namespace

void MitContext::Seal(std::span<IoBuffer> buffers, std::span<uint8_t> signature) {
  auto iov = Iov(buffers, signature);
  OM_uint32 minor = 0;
  int conf = 0;
  const OM_uint32 major = gss_wrap_iov(&minor, ctx_.get(), 1, GSS_C_QOP_DEFAULT, &conf, iov.data(),
                                       static_cast<int>(iov.size()));
  if (GSS_ROUTINE_ERROR(major) == GSS_S_UNAVAILABLE) return SealPlain(buffers, signature);
  if (GSS_ERROR(major)) gss::Throw("MIT wrap", major, minor);
}

void MitContext::Unseal(std::span<IoBuffer> buffers, std::span<const uint8_t> signature) {
  std::vector<uint8_t> header(signature.begin(), signature.end());
  auto iov = Iov(buffers, header);
  OM_uint32 minor = 0;
  int conf = 0;
  const OM_uint32 major =
      gss_unwrap_iov(&minor, ctx_.get(), &conf, nullptr, iov.data(), static_cast<int>(iov.size()));
  if (GSS_ROUTINE_ERROR(major) == GSS_S_UNAVAILABLE) return UnsealPlain(buffers, signature);
  if (GSS_ERROR(major)) gss::Throw("MIT unwrap", major, minor);
}

// The single-buffer form: signature followed by the sealed data, one data buffer only.
void MitContext::SealPlain(std::span<IoBuffer> buffers, std::span<uint8_t> signature) {
  if (buffers.size() != 1 || buffers[0].kind != IoBuffer::Kind::kData) {
    throw std::logic_error("this mechanism seals one data buffer only");
  }
  gss_buffer_desc in = gss::View(buffers[0].bytes);
  gss::Buffer out;
  OM_uint32 minor = 0;
  const OM_uint32 major =
      gss_wrap(&minor, ctx_.get(), 1, GSS_C_QOP_DEFAULT, &in, nullptr, out.out());
  if (GSS_ERROR(major)) gss::Throw("MIT wrap", major, minor);
  auto token = out.bytes();
  if (token.size() != signature.size() + buffers[0].bytes.size()) {
    throw std::logic_error("unexpected wrap token size");
  }
  std::copy_n(token.begin(), signature.size(), signature.begin());
  std::copy(token.begin() + static_cast<long>(signature.size()), token.end(),
            buffers[0].bytes.begin());
}

void MitContext::UnsealPlain(std::span<IoBuffer> buffers, std::span<const uint8_t> signature) {
  if (buffers.size() != 1 || buffers[0].kind != IoBuffer::Kind::kData) {
    throw std::logic_error("this mechanism unseals one data buffer only");
  }
  std::vector<uint8_t> token(signature.begin(), signature.end());
  token.insert(token.end(), buffers[0].bytes.begin(), buffers[0].bytes.end());
  gss_buffer_desc in = gss::View(token);
  gss::Buffer out;
  OM_uint32 minor = 0;
  const OM_uint32 major = gss_unwrap(&minor, ctx_.get(), &in, out.out(), nullptr, nullptr);
  if (GSS_ERROR(major)) gss::Throw("MIT unwrap", major, minor);
  if (out.bytes().size() != buffers[0].bytes.size()) throw std::logic_error("unwrap size");
  std::copy(out.bytes().begin(), out.bytes().end(), buffers[0].bytes.begin());
}

void MitContext::Sign(std::span<const IoBuffer>, std::span<uint8_t>) {
  throw std::logic_error("not used");
}
void MitContext::Verify(std::span<const IoBuffer>, std::span<const uint8_t>) {
  throw std::logic_error("not used");
}

std::string MitContext::PeerName() const {
  return peer_.Display();
}

}  // namespace zelqa::testing

// gss-ntlmssp (loaded by MIT's mechglue for the NTLM cases) keeps allocations, its own and
// OpenSSL's, until the process exits; they are not ours to free.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:gssntlmssp.so\nleak:libcrypto.so\n";
}
