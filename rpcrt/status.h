// RPC status codes and the one error type of the run time.
//
// Every failure inside rpcrt is an RpcError carrying the status that the Windows RPC run
// time would report for the same condition, so that the layer above can map it 1:1 onto
// the status-returning facade calls.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace rpcrt {

using Status = uint32_t;

// Win32 and RPC status values that the run time reports: the one table of their numbers,
// which the Windows-named constants of the layers above are defined from.
inline constexpr Status kOk = 0;
inline constexpr Status kErrorAccessDenied = 5;
inline constexpr Status kErrorInvalidHandle = 6;
inline constexpr Status kErrorOutOfMemory = 14;
inline constexpr Status kErrorInvalidParameter = 87;
inline constexpr Status kErrorLogonFailure = 1326;
inline constexpr Status kInvalidStringBinding = 1700;
inline constexpr Status kWrongKindOfBinding = 1701;
inline constexpr Status kInvalidBinding = 1702;
inline constexpr Status kProtseqNotSupported = 1703;
inline constexpr Status kInvalidRpcProtseq = 1704;
inline constexpr Status kInvalidStringUuid = 1705;
inline constexpr Status kInvalidEndpointFormat = 1706;
inline constexpr Status kInvalidNetAddr = 1707;
inline constexpr Status kNoEndpointFound = 1708;
inline constexpr Status kInvalidTimeout = 1709;
inline constexpr Status kUnknownIf = 1717;
inline constexpr Status kOutOfResources = 1721;
inline constexpr Status kServerUnavailable = 1722;
inline constexpr Status kServerTooBusy = 1723;
inline constexpr Status kCallFailed = 1726;
inline constexpr Status kCallFailedDne = 1727;
inline constexpr Status kProtocolError = 1728;
inline constexpr Status kUnsupportedTransSyn = 1730;
inline constexpr Status kUnsupportedType = 1732;
inline constexpr Status kInvalidTag = 1733;
inline constexpr Status kInvalidBound = 1734;
inline constexpr Status kProcnumOutOfRange = 1745;
inline constexpr Status kUnknownAuthnService = 1747;
inline constexpr Status kInvalidAuthIdentity = 1749;
inline constexpr Status kUnknownAuthzService = 1750;
inline constexpr Status kEptNotRegistered = 1753;
inline constexpr Status kZeroDivide = 1767;
inline constexpr Status kAddressError = 1768;
inline constexpr Status kFpDivZero = 1769;
inline constexpr Status kFpUnderflow = 1770;
inline constexpr Status kFpOverflow = 1771;
inline constexpr Status kNullRefPointer = 1780;
inline constexpr Status kBadStubData = 1783;
inline constexpr Status kCallCancelled = 1818;
inline constexpr Status kCommFailure = 1820;
inline constexpr Status kUnsupportedAuthnLevel = 1821;
inline constexpr Status kSecPkgError = 1825;
inline constexpr Status kPipeEmpty = 1918;

// The run time's failure: a status plus a short technical detail for logs (never a secret).
class RpcError : public std::runtime_error {
 public:
  RpcError(Status status, const std::string& detail);
  Status status() const noexcept { return status_; }

 private:
  Status status_;
};

}  // namespace rpcrt
