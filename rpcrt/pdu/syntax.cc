#include "rpcrt/pdu/syntax.h"

#include "rpcrt/ndr/byte_order.h"
#include "rpcrt/ndr/ndr_reader.h"
#include "rpcrt/ndr/ndr_writer.h"

namespace rpcrt {

namespace {

constexpr Uuid kFeatureBase = MakeUuid("6cb71c2c-9812-4540-0000-000000000000");

}  // namespace

SyntaxId BindTimeFeatureSyntax(uint16_t features) {
  SyntaxId s{kFeatureBase, 1, 0};
  StoreLe<uint16_t>(s.uuid.data4, features);
  return s;
}

std::optional<uint16_t> BindTimeFeatures(const SyntaxId& syntax) {
  const Uuid& u = syntax.uuid;
  if (u.data1 != kFeatureBase.data1 || u.data2 != kFeatureBase.data2 ||
      u.data3 != kFeatureBase.data3) {
    return std::nullopt;
  }
  for (size_t i = 2; i < 8; ++i) {
    if (u.data4[i] != 0) return std::nullopt;
  }
  return LoadLe<uint16_t>(u.data4);
}

void WriteSyntax(NdrWriter& w, const SyntaxId& s) {
  w.WriteUuid(s.uuid);
  w.WriteU16(s.version_major);
  w.WriteU16(s.version_minor);
}

SyntaxId ReadSyntax(NdrReader& r) {
  SyntaxId s;
  s.uuid = r.ReadUuid();
  s.version_major = r.ReadU16();
  s.version_minor = r.ReadU16();
  return s;
}

}  // namespace rpcrt
