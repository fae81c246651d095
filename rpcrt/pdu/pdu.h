// The connection-oriented PDUs as values, and their encoder and decoder.
//
// A Pdu is the common header's variable fields (flags, drep, call id), one body, and an
// optional authentication verifier. EncodePdu computes frag_length, auth_length and the
// padding before the security trailer; DecodePdu checks every length and count against the
// bytes held and throws RpcError(kProtocolError) on anything malformed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "rpcrt/ndr/data_rep.h"
#include "rpcrt/ndr/uuid.h"
#include "rpcrt/pdu/pdu_header.h"
#include "rpcrt/pdu/security_trailer.h"
#include "rpcrt/pdu/syntax.h"
#include "rpcrt/status.h"

namespace rpcrt {

// Windows' default fragment size for ncacn_ip_tcp.
inline constexpr uint16_t kDefaultMaxFrag = 5840;

// p_cont_elem_t: one presentation context offered in a bind or alter_context.
struct PresentationContext {
  uint16_t context_id = 0;
  SyntaxId abstract_syntax;
  std::vector<SyntaxId> transfer_syntaxes;
};

// p_cont_def_result_t values, including the negotiate_ack that answers bind-time features.
enum class ContextResultCode : uint16_t {
  kAcceptance = 0,
  kUserRejection = 1,
  kProviderRejection = 2,
  kNegotiateAck = 3,
};

// p_provider_reason_t. For kNegotiateAck the reason field holds the accepted feature bits.
enum class ProviderReason : uint16_t {
  kNotSpecified = 0,
  kAbstractSyntaxNotSupported = 1,
  kProposedTransferSyntaxesNotSupported = 2,
  kLocalLimitExceeded = 3,
};

struct ContextResult {
  ContextResultCode result = ContextResultCode::kAcceptance;
  uint16_t reason = 0;
  SyntaxId transfer_syntax;  // all zero unless accepted
};

// The answer to a bind-time feature offer: negotiate_ack with the offered features that the
// server also supports in the reason field, and a zero transfer syntax.
ContextResult NegotiateAck(uint16_t offered_features, uint16_t supported_features);

// bind_nak reject reasons (p_reject_reason_t).
enum class BindRejectReason : uint16_t {
  kNotSpecified = 0,
  kTemporaryCongestion = 1,
  kLocalLimitExceeded = 2,
  kCalledPaddrUnknown = 3,
  kProtocolVersionNotSupported = 4,
  kDefaultContextNotSupported = 5,
  kUserDataNotReadable = 6,
  kNoPsapAvailable = 7,
  kAuthenticationTypeNotRecognized = 8,
  kInvalidChecksum = 9,
};

struct ProtocolVersion {
  uint8_t major = 5;
  uint8_t minor = 0;
  friend bool operator==(const ProtocolVersion&, const ProtocolVersion&) = default;
};

struct BindFields {
  uint16_t max_xmit_frag = kDefaultMaxFrag;
  uint16_t max_recv_frag = kDefaultMaxFrag;
  uint32_t assoc_group_id = 0;
  std::vector<PresentationContext> contexts;
};
struct Bind : BindFields {};
struct AlterContext : BindFields {};

struct BindAckFields {
  uint16_t max_xmit_frag = kDefaultMaxFrag;
  uint16_t max_recv_frag = kDefaultMaxFrag;
  uint32_t assoc_group_id = 0;
  std::string secondary_address;  // the port as text, e.g. "49152"; without the NUL
  std::vector<ContextResult> results;
};
struct BindAck : BindAckFields {};
struct AlterContextResp : BindAckFields {};

struct BindNak {
  BindRejectReason reject_reason = BindRejectReason::kNotSpecified;
  std::vector<ProtocolVersion> versions;  // protocol versions the server supports
};

struct Request {
  uint32_t alloc_hint = 0;  // 0: the encoder uses the stub size
  uint16_t context_id = 0;
  uint16_t opnum = 0;
  std::optional<Uuid> object;  // sets PFC_OBJECT_UUID when present
  std::vector<uint8_t> stub;   // without auth padding
};

struct Response {
  uint32_t alloc_hint = 0;  // 0: the encoder uses the stub size
  uint16_t context_id = 0;
  uint8_t cancel_count = 0;
  std::vector<uint8_t> stub;  // without auth padding
};

// Fault flags (the octet after cancel_count).
inline constexpr uint8_t kFaultExtendedErrorPresent = 0x01;

struct Fault {
  uint32_t alloc_hint = 0;
  uint16_t context_id = 0;
  uint8_t cancel_count = 0;
  uint8_t fault_flags = 0;
  uint32_t status = 0;
  std::vector<uint8_t> stub;  // extended error information, if any; kept as received
};

struct Auth3 {};
struct Shutdown {};
struct CoCancel {};
struct Orphaned {};

using PduBody = std::variant<Request, Response, Fault, Bind, BindAck, BindNak, AlterContext,
                             AlterContextResp, Auth3, Shutdown, CoCancel, Orphaned>;

struct Pdu {
  uint8_t flags = kPfcFirstFrag | kPfcLastFrag;  // PFC_OBJECT_UUID follows Request::object
  DataRep drep;                                  // encoded as given; the encoder writes LE
  uint32_t call_id = 0;
  PduBody body;
  std::optional<AuthVerifier> auth;

  PduType type() const;
};

PduType TypeOf(const PduBody& body);

// Encodes a whole fragment. With an auth verifier, request and response stubs are padded to a
// multiple of 16 and other bodies to a multiple of 4 before the trailer. Throws
// RpcError(kErrorInvalidParameter) if the fragment would exceed 65535 bytes or a list its
// 8-bit count.
std::vector<uint8_t> EncodePdu(const Pdu& pdu);

// Decodes one fragment from the start of `bytes` (which may hold more after frag_length).
Pdu DecodePdu(std::span<const uint8_t> bytes);

}  // namespace rpcrt
