// The bodies of the connection-oriented PDUs, between the common header and the security
// trailer. Used by the PDU encoder and decoder only.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "rpcrt/ndr/ndr_reader.h"
#include "rpcrt/ndr/ndr_writer.h"
#include "rpcrt/pdu/pdu.h"

namespace rpcrt {

// Appends the body to `w` (which already holds the 16 header bytes, so alignment is relative
// to the PDU start). Returns the offset where a stub starts (the end for stubless PDUs).
size_t EncodeBody(const PduBody& body, NdrWriter& w);

// Decodes the body of a PDU of header `h` from `r`, which is positioned after the common header
// and ends where the security trailer begins. `auth_pad` bytes at the end of a stub are padding.
PduBody DecodeBody(const CommonHeader& h, NdrReader& r, size_t auth_pad);

// Encodes `pdu` with `trailer` (if not null) followed by `auth_value` and then
// `zero_auth_value` zero bytes as the auth_value; pdu.auth is ignored.
std::vector<uint8_t> EncodeFragment(const Pdu& pdu, const SecurityTrailer* trailer,
                                    std::span<const uint8_t> auth_value, size_t zero_auth_value);

}  // namespace rpcrt
