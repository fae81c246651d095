#include "mit_context.h"

#include <stdexcept>
#include <vector>

namespace zelqa::testing {

namespace gss = rpcrt::security::gss;
using rpcrt::security::IoBuffer;
using rpcrt::security::StepResult;

namespace {

// 1.3.6.1.5.5.2 as GSS-API wants it.
gss_OID_desc kSpnego = {6, const_cast<char*>("\x2b\x06\x01\x05\x05\x02")};

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

std::unique_ptr<MitContext> MitContext::Initiator(const std::string& target, OM_uint32 flags,
                                                  const std::string& user, std::string password) {
  auto ctx = std::make_unique<MitContext>();
  ctx->req_flags_ = flags;
  ctx->target_ = gss::Name(target, GSS_KRB5_NT_PRINCIPAL_NAME);
  gss::Name name(user, GSS_C_NT_USER_NAME);
  gss_buffer_desc pw{password.size(), password.data()};
  gss_OID_set_desc mechs{1, &kSpnego};
  OM_uint32 minor = 0;
  const OM_uint32 major =
      gss_acquire_cred_with_password(&minor, name.get(), &pw, GSS_C_INDEFINITE, &mechs,
                                     GSS_C_INITIATE, ctx->cred_.out(), nullptr, nullptr);
  if (GSS_ERROR(major)) gss::Throw("MIT acquire with password", major, minor);
  return ctx;
}

StepResult MitContext::Step(std::span<const uint8_t> input, std::vector<uint8_t>& output) {
  OM_uint32 minor = 0;
  gss_buffer_desc in = gss::View(input);
  gss::Buffer out;
  const OM_uint32 major = gss_init_sec_context(
      &minor, cred_.get(), ctx_.out(), target_.get(), &kSpnego, req_flags_, GSS_C_INDEFINITE,
      GSS_C_NO_CHANNEL_BINDINGS, input.empty() ? GSS_C_NO_BUFFER : &in, nullptr, out.out(), &flags_,
      nullptr);
  if (GSS_ERROR(major)) gss::Throw("MIT init", major, minor);
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
  if (GSS_ERROR(major)) gss::Throw("MIT wrap length", major, minor);
  return iov[0].buffer.length;
}

void MitContext::Seal(std::span<IoBuffer> buffers, std::span<uint8_t> signature) {
  auto iov = Iov(buffers, signature);
  OM_uint32 minor = 0;
  int conf = 0;
  const OM_uint32 major = gss_wrap_iov(&minor, ctx_.get(), 1, GSS_C_QOP_DEFAULT, &conf, iov.data(),
                                       static_cast<int>(iov.size()));
  if (GSS_ERROR(major)) gss::Throw("MIT wrap", major, minor);
}

void MitContext::Unseal(std::span<IoBuffer> buffers, std::span<const uint8_t> signature) {
  std::vector<uint8_t> header(signature.begin(), signature.end());
  auto iov = Iov(buffers, header);
  OM_uint32 minor = 0;
  int conf = 0;
  const OM_uint32 major =
      gss_unwrap_iov(&minor, ctx_.get(), &conf, nullptr, iov.data(), static_cast<int>(iov.size()));
  if (GSS_ERROR(major)) gss::Throw("MIT unwrap", major, minor);
}

void MitContext::Sign(std::span<const IoBuffer>, std::span<uint8_t>) {
  throw std::logic_error("not used");
}
void MitContext::Verify(std::span<const IoBuffer>, std::span<const uint8_t>) {
  throw std::logic_error("not used");
}

std::string MitContext::PeerName() const {
  return target_.Display();
}

}  // namespace zelqa::testing
