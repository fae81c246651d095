#include "rpcrt/epm/epm_messages.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "rpcrt/ndr/ndr_reader.h"
#include "rpcrt/ndr/ndr_writer.h"
#include "rpcrt/status.h"

namespace rpcrt::epm {

namespace {

// Smallest encodings, used to refuse counts that the stub cannot hold before reserving.
constexpr size_t kMinEntrySize = 16 + 4 + 8;  // object, tower pointer, annotation counts

uint32_t Count32(size_t n, const char* what) {
  if (n > 0xffffffffu) throw RpcError(kErrorInvalidParameter, std::string("too many ") + what);
  return static_cast<uint32_t>(n);
}

// The endpoint mapper's pointers are full pointers, numbered per call from 1 as Windows
// numbers them: the request's take 1 and 2, the response's start after them, so that a peer
// whose pointer table spans both directions of the call never mistakes one for an alias.
constexpr uint32_t kFirstRequestPointerId = 1;
constexpr uint32_t kFirstResponsePointerId = 3;

class PointerIds {
 public:
  explicit PointerIds(uint32_t first) : next_(first) {}
  // Writes the referent id of a pointer that is `present`, or 0; returns whether it was.
  bool Write(NdrWriter& w, bool present) {
    w.WriteU32(present ? next_++ : 0);
    return present;
  }

 private:
  uint32_t next_;
};

// twr_t: a conformant structure, so its size comes first, then tower_length and the octets.
void WriteTower(NdrWriter& w, const std::vector<uint8_t>& octets) {
  uint32_t size = Count32(octets.size(), "tower octets");
  w.WriteU32(size);
  w.WriteU32(size);
  w.WriteBytes(octets);
}

std::vector<uint8_t> ReadTower(NdrReader& r) {
  uint32_t max_count = r.ReadU32();
  uint32_t length = r.ReadU32();
  if (length > max_count) {
    r.Fail("tower length " + std::to_string(length) + " exceeds its size " +
           std::to_string(max_count));
  }
  auto octets = r.ReadBytes(length);
  return {octets.begin(), octets.end()};
}

// The header of a conformant varying array: max count, offset 0, actual count.
void WriteArrayHeader(NdrWriter& w, uint32_t max_count, uint32_t actual) {
  w.WriteU32(std::max(max_count, actual));
  w.WriteU32(0);
  w.WriteU32(actual);
}

// Reads the array header and checks it against the element count the stub announced.
uint32_t ReadArrayHeader(NdrReader& r, uint32_t announced, uint32_t* max_count) {
  *max_count = r.ReadU32();
  uint32_t offset = r.ReadU32();
  uint32_t actual = r.ReadU32();
  if (offset != 0) r.Fail("array offset " + std::to_string(offset) + " is not 0");
  if (actual > *max_count) {
    r.Fail("array actual count " + std::to_string(actual) + " exceeds max count " +
           std::to_string(*max_count));
  }
  if (actual != announced) {
    r.Fail("array holds " + std::to_string(actual) + " elements, " + std::to_string(announced) +
           " announced");
  }
  return actual;
}

}  // namespace

std::vector<uint8_t> EncodeEptMapRequest(const EptMapRequest& request) {
  NdrWriter w;
  PointerIds ids(kFirstRequestPointerId);
  if (ids.Write(w, request.object.has_value())) w.WriteUuid(*request.object);
  if (ids.Write(w, request.map_tower.has_value())) WriteTower(w, *request.map_tower);
  w.WriteContextHandle(request.entry_handle);
  w.WriteU32(request.max_towers);
  return w.Take();
}

EptMapRequest DecodeEptMapRequest(std::span<const uint8_t> stub, DataRep rep) {
  NdrReader r(stub, rep);
  EptMapRequest request;
  request.object.reset();
  if (r.ReadPointer() != 0) request.object = r.ReadUuid();
  if (r.ReadPointer() != 0) request.map_tower = ReadTower(r);
  request.entry_handle = r.ReadContextHandle();
  request.max_towers = r.ReadU32();
  return request;
}

std::vector<uint8_t> EncodeEptMapResponse(const EptMapResponse& response) {
  NdrWriter w;
  w.WriteContextHandle(response.entry_handle);
  uint32_t count = Count32(response.towers.size(), "towers");
  w.WriteU32(count);
  WriteArrayHeader(w, response.max_towers, count);
  PointerIds ids(kFirstResponsePointerId);
  for (const auto& t : response.towers) ids.Write(w, t.has_value());
  for (const auto& t : response.towers) {
    if (t) WriteTower(w, *t);
  }
  w.WriteU32(response.status);
  return w.Take();
}

EptMapResponse DecodeEptMapResponse(std::span<const uint8_t> stub, DataRep rep) {
  NdrReader r(stub, rep);
  EptMapResponse response;
  response.entry_handle = r.ReadContextHandle();
  uint32_t announced = r.ReadU32();
  uint32_t count = ReadArrayHeader(r, announced, &response.max_towers);
  r.Require(count, 4);
  std::vector<uint32_t> referents(count);
  for (auto& id : referents) id = r.ReadPointer();
  response.towers.reserve(count);
  for (uint32_t id : referents) {
    response.towers.push_back(id != 0 ? TowerOctets(ReadTower(r)) : std::nullopt);
  }
  response.status = r.ReadU32();
  return response;
}

std::vector<uint8_t> EncodeEptLookupRequest(const EptLookupRequest& request) {
  NdrWriter w;
  w.WriteU32(request.inquiry_type);
  PointerIds ids(kFirstRequestPointerId);
  if (ids.Write(w, request.object.has_value())) w.WriteUuid(*request.object);
  if (ids.Write(w, request.interface_id.has_value())) WriteSyntax(w, *request.interface_id);
  w.WriteU32(request.vers_option);
  w.WriteContextHandle(request.entry_handle);
  w.WriteU32(request.max_ents);
  return w.Take();
}

EptLookupRequest DecodeEptLookupRequest(std::span<const uint8_t> stub, DataRep rep) {
  NdrReader r(stub, rep);
  EptLookupRequest request;
  request.inquiry_type = r.ReadU32();
  if (r.ReadPointer() != 0) request.object = r.ReadUuid();
  if (r.ReadPointer() != 0) request.interface_id = ReadSyntax(r);
  request.vers_option = r.ReadU32();
  request.entry_handle = r.ReadContextHandle();
  request.max_ents = r.ReadU32();
  return request;
}

std::vector<uint8_t> EncodeEptLookupResponse(const EptLookupResponse& response) {
  NdrWriter w;
  w.WriteContextHandle(response.entry_handle);
  uint32_t count = Count32(response.entries.size(), "entries");
  w.WriteU32(count);
  WriteArrayHeader(w, response.max_ents, count);
  PointerIds ids(kFirstResponsePointerId);
  for (const auto& e : response.entries) {
    if (e.annotation.size() >= kMaxAnnotationSize) {
      throw RpcError(kErrorInvalidParameter, "endpoint annotation longer than 63 characters");
    }
    w.WriteUuid(e.object);
    ids.Write(w, e.tower.has_value());
    // [string] char annotation[64]: a varying array, so offset and actual count only.
    w.WriteU32(0);
    w.WriteU32(static_cast<uint32_t>(e.annotation.size() + 1));
    w.WriteBytes({reinterpret_cast<const uint8_t*>(e.annotation.data()), e.annotation.size()});
    w.WriteU8(0);
  }
  for (const auto& e : response.entries) {
    if (e.tower) WriteTower(w, *e.tower);
  }
  w.WriteU32(response.status);
  return w.Take();
}

EptLookupResponse DecodeEptLookupResponse(std::span<const uint8_t> stub, DataRep rep) {
  NdrReader r(stub, rep);
  EptLookupResponse response;
  response.entry_handle = r.ReadContextHandle();
  uint32_t announced = r.ReadU32();
  uint32_t count = ReadArrayHeader(r, announced, &response.max_ents);
  r.Require(count, kMinEntrySize);
  std::vector<uint32_t> referents(count);
  response.entries.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    EptEntry& e = response.entries[i];
    e.object = r.ReadUuid();
    referents[i] = r.ReadPointer();
    uint32_t offset = r.ReadU32();
    uint32_t actual = r.ReadU32();
    if (offset != 0 || actual > kMaxAnnotationSize) {
      r.Fail("annotation offset " + std::to_string(offset) + " count " + std::to_string(actual));
    }
    auto text = r.ReadBytes(actual);
    // Stop at the NUL; peers differ in whether they count it.
    if (!text.empty()) {
      const auto* begin = reinterpret_cast<const char*>(text.data());
      e.annotation.assign(begin, strnlen(begin, text.size()));
    }
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (referents[i] != 0) response.entries[i].tower = ReadTower(r);
  }
  response.status = r.ReadU32();
  return response;
}

}  // namespace rpcrt::epm
