// Syntax identifiers (a UUID and a version) for interfaces and transfer syntaxes, and the
// bind-time feature negotiation that Windows carries in a pseudo transfer syntax.
#pragma once

#include <cstdint>
#include <optional>

#include "rpcrt/ndr/uuid.h"

namespace rpcrt {

class NdrReader;
class NdrWriter;

// p_syntax_id_t: 20 bytes on the wire (UUID, then the 32-bit version: major in the low half).
struct SyntaxId {
  Uuid uuid;
  uint16_t version_major = 0;
  uint16_t version_minor = 0;

  static constexpr size_t kWireSize = 20;
  friend constexpr bool operator==(const SyntaxId&, const SyntaxId&) = default;
};

// NDR 2.0.
inline constexpr SyntaxId kNdrSyntax{MakeUuid("8a885d04-1ceb-11c9-9fe8-08002b104860"), 2, 0};

// Bind-time feature bits, carried in the first two octets of data4 of the pseudo syntax
// 6cb71c2c-9812-4540-xxxx-000000000000 (version 1.0).
inline constexpr uint16_t kFeatureSecurityContextMultiplexing = 0x0001;
inline constexpr uint16_t kFeatureKeepConnectionOnOrphan = 0x0002;

// The pseudo transfer syntax that offers `features`.
SyntaxId BindTimeFeatureSyntax(uint16_t features);
// The offered feature bits if `syntax` is the bind-time feature pseudo syntax, else nullopt.
std::optional<uint16_t> BindTimeFeatures(const SyntaxId& syntax);

// The 20 wire bytes of a syntax identifier in NDR.
void WriteSyntax(NdrWriter& w, const SyntaxId& s);
SyntaxId ReadSyntax(NdrReader& r);

}  // namespace rpcrt
