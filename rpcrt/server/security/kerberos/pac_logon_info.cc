#include "rpcrt/server/security/kerberos/pac_logon_info.h"

#include "rpcrt/ndr/utf16.h"
#include "rpcrt/security/utf8.h"
#include "rpcrt/status.h"

namespace rpcrt::security {

namespace {

// Type serialisation headers (common and private, 8 bytes each), then the referent of the
// top-level pointer.
constexpr size_t kHeaderSize = 16 + 4;
// Offsets in the fixed part of the validation information.
constexpr size_t kEffectiveName = 48;
constexpr size_t kGroupIdsPointer = 112;
constexpr size_t kLogonDomainName = 144;
constexpr size_t kFixedSize = 216;
// The strings between the account name and the group list (full name, logon script, profile
// path, home directory, home drive), whose deferred bodies come before the group list's.
constexpr size_t kStringsBeforeGroups = 5;

// A bounds-checked little-endian reader; any overrun makes `ok` false for good.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool ok() const { return ok_; }
  void Seek(size_t pos) { Need(pos, 0) ? void(pos_ = pos) : void(); }
  void Align4() { Seek((pos_ + 3) & ~size_t{3}); }
  uint16_t U16() { return static_cast<uint16_t>(Take(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Take(4)); }
  void Skip(uint64_t n) {
    if (n > bytes_.size()) ok_ = false;
    if (ok_) Seek(pos_ + static_cast<size_t>(n));
  }
  std::span<const uint8_t> Bytes(uint64_t n) {
    if (n > bytes_.size() || !Need(pos_, static_cast<size_t>(n))) return {};
    auto out = bytes_.subspan(pos_, static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    return out;
  }

 private:
  bool Need(size_t pos, size_t n) {
    if (!ok_ || pos > bytes_.size() || n > bytes_.size() - pos) ok_ = false;
    return ok_;
  }
  uint64_t Take(size_t n) {
    if (!Need(pos_, n)) return 0;
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint64_t{bytes_[pos_ + i]} << (8 * i);
    pos_ += n;
    return v;
  }
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// The deferred body of an RPC_UNICODE_STRING: conformant and varying UTF-16 characters.
// Returns the text when `keep`; skips it otherwise.
std::string DeferredString(Reader& r, bool keep) {
  r.Align4();
  const uint32_t max_count = r.U32();
  const uint32_t offset = r.U32();
  const uint32_t count = r.U32();
  if (offset != 0 || count > max_count) r.Skip(uint64_t{1} << 40);  // malformed: fail the read
  const auto chars = r.Bytes(uint64_t{count} * 2);
  if (!keep || !r.ok()) return {};
  return ToUtf8(Utf16FromLe(chars));
}

}  // namespace

std::optional<PacLogonNames> ParsePacLogonNames(std::span<const uint8_t> buffer) {
  Reader r(buffer);
  // Common header: version 1, little-endian, 8 bytes long.
  if (buffer.size() < kHeaderSize + kFixedSize || buffer[0] != 1 || buffer[1] != 0x10)
    return std::nullopt;
  const size_t base = kHeaderSize;
  auto pointer_at = [&](size_t field) {
    r.Seek(base + field);
    return r.U32();
  };
  // String pointers of the fixed part, in order; a null one has no deferred body.
  uint32_t string_pointers[1 + kStringsBeforeGroups];
  for (size_t i = 0; i < std::size(string_pointers); ++i)
    string_pointers[i] = pointer_at(kEffectiveName + 8 * i + 4);
  const uint32_t group_pointer = pointer_at(kGroupIdsPointer);
  const uint32_t server_pointer = pointer_at(kLogonDomainName - 8 + 4);
  const uint32_t domain_pointer = pointer_at(kLogonDomainName + 4);
  if (!r.ok() || string_pointers[0] == 0 || domain_pointer == 0) return std::nullopt;

  try {
    r.Seek(base + kFixedSize);
    PacLogonNames names;
    for (size_t i = 0; i < std::size(string_pointers); ++i) {
      if (string_pointers[i] == 0) continue;
      std::string text = DeferredString(r, i == 0);
      if (i == 0) names.account = std::move(text);
    }
    if (group_pointer != 0) {
      r.Align4();
      r.Skip(uint64_t{r.U32()} * 8);  // relative id and attributes per group
    }
    if (server_pointer != 0) DeferredString(r, false);
    names.domain = DeferredString(r, true);
    if (!r.ok() || names.account.empty() || names.domain.empty()) return std::nullopt;
    return names;
  } catch (const RpcError&) {  // text that is not UTF-16
    return std::nullopt;
  }
}

}  // namespace rpcrt::security
