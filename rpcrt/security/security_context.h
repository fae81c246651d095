// The seam between the connection-oriented protocol and the security packages.
//
// The protocol engine drives a SecurityContext through its legs (bind, bind_ack,
// alter_context / alter_context_resp, auth3) and then uses it to protect every request
// and response PDU. The packages (SPNEGO, NTLM, Kerberos) implement it; the engine never
// looks inside a token.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rpcrt/base/mutex.h"

namespace rpcrt::security {

// Authentication services as the DCE/RPC security trailer numbers them.
enum class AuthnService : uint8_t {
  kNone = 0,
  kGssNegotiate = 9,  // SPNEGO
  kWinNt = 10,        // raw NTLM
  kGssKerberos = 16,  // raw Kerberos
};

// Authentication levels as the security trailer numbers them.
enum class AuthnLevel : uint8_t {
  kDefault = 0,
  kNone = 1,
  kConnect = 2,
  kCall = 3,
  kPkt = 4,
  kPktIntegrity = 5,
  kPktPrivacy = 6,
};

// Explicit credentials. The buffers are wiped when the object goes.
struct Identity {
  std::u16string user;
  std::u16string domain;
  std::u16string password;

  Identity() = default;
  Identity(std::u16string u, std::u16string d, std::u16string p)
      : user(std::move(u)), domain(std::move(d)), password(std::move(p)) {}
  Identity(const Identity&) = default;
  Identity& operator=(const Identity&) = default;
  ~Identity();
};

class KerberosClientCredential;

// The Kerberos credential acquired for explicit credentials, kept for reuse.
struct KerberosCredentialSlot {
  base::Mutex mutex;
  std::shared_ptr<KerberosClientCredential> credential GUARDED_BY(mutex);
};

// What a client authenticates with: explicit credentials, or (none) the current user's.
struct ClientCredentials {
  std::optional<Identity> identity;
  // Shared by every copy, that is by the connections of one binding: set once Negotiate has
  // found Kerberos unusable with these credentials, so that later connections go straight to
  // NTLM instead of looking for a KDC again (a look-up that takes seconds where name servers
  // are slow or drop queries).
  std::shared_ptr<std::atomic<bool>> kerberos_unusable = std::make_shared<std::atomic<bool>>();
  // Shared alike: the ticket-granting ticket got with these credentials, in a memory cache
  // that also keeps the service tickets, so that later connections ask the KDC nothing until
  // the tickets near their end (as a Windows logon session reuses its tickets).
  std::shared_ptr<KerberosCredentialSlot> kerberos_credential =
      std::make_shared<KerberosCredentialSlot>();
};

// Where a context stands after a leg.
enum class StepResult {
  kContinue,  // the peer must answer the token that was produced
  kComplete,  // established; a token produced with it is the last one and expects no answer
};

// A piece of a PDU handed to Seal/Unseal/Sign/Verify, in PDU order.
struct IoBuffer {
  enum class Kind { kData, kSignOnly };
  Kind kind;
  std::span<uint8_t> bytes;
};

// One security context, client or server side. Every method throws rpcrt::RpcError with the
// status of the failure (kErrorAccessDenied for rejected credentials, kSecPkgError for a
// package failure or a bad signature).
class SecurityContext {
 public:
  virtual ~SecurityContext() = default;

  // Consumes the peer's token (empty for the client's first leg) and produces the next token
  // to send, possibly empty.
  virtual StepResult Step(std::span<const uint8_t> input, std::vector<uint8_t>& output) = 0;
  virtual bool IsEstablished() const = 0;

  // Exact size of the signature (auth_value) for a PDU whose data buffers total data_size bytes.
  virtual size_t SignatureSize(size_t data_size) const = 0;

  // Packet privacy: encrypts the kData buffers in place and writes the signature over all
  // buffers. Packet integrity: signs without encrypting.
  virtual void Seal(std::span<IoBuffer> buffers, std::span<uint8_t> signature) = 0;
  virtual void Unseal(std::span<IoBuffer> buffers, std::span<const uint8_t> signature) = 0;
  virtual void Sign(std::span<const IoBuffer> buffers, std::span<uint8_t> signature) = 0;
  virtual void Verify(std::span<const IoBuffer> buffers, std::span<const uint8_t> signature) = 0;

  // Whether the signature of a protected request or response covers the whole PDU (headers
  // and security trailer too) even without header signing. NTLM's does, as every
  // Windows-family peer computes it; other packages cover those parts only with header signing.
  virtual bool SignsWholePdu() const { return false; }

  // Server side, once established: the authenticated client as "DOMAIN\\user" (UTF-8).
  virtual std::string PeerName() const = 0;
};

// Client context for the given service and principal name ("service/host").
std::unique_ptr<SecurityContext> CreateClientContext(AuthnService service,
                                                     const ClientCredentials& credentials,
                                                     const std::u16string& principal,
                                                     AuthnLevel level);

// Overwrites memory that held a secret in a way the optimiser keeps.
void SecureWipe(void* data, size_t size) noexcept;

}  // namespace rpcrt::security
