// CCommonLibCtx: the one per-process owner of the common runtime's services, created on
// its first request and released at process exit (or later, while references remain).
#pragma once

#include <cstdint>

#include <boost/shared_ptr.hpp>

namespace io {
class CCoutMultiplexor;
class io_dev_pool_t;
namespace message {
class CMessageDeserializationContext;
}
}  // namespace io

namespace common {

class CRuntimeKeyStore;
class CUnrestrictedFilesAccessPermissions;

class CCommonLibCtx {
 public:
  // Creates the services in this order: console multiplexer, runtime key store, message
  // deserialisation context (with the generic message factory), unrestricted file access
  // permissions, device handle pool; then copies the context setting of the options.
  CCommonLibCtx();
  // Empties a console multiplexer that still has sinks (saying so on the "cli" channel),
  // then releases the services in the reverse order of their creation.
  ~CCommonLibCtx();
  CCommonLibCtx(const CCommonLibCtx&) = delete;
  CCommonLibCtx& operator=(const CCommonLibCtx&) = delete;

  const boost::shared_ptr<io::CCoutMultiplexor>& CoutMultiplexor() const { return cout_; }
  const boost::shared_ptr<CRuntimeKeyStore>& KeyStore() const { return keys_; }
  const boost::shared_ptr<io::message::CMessageDeserializationContext>& MessageContext() const {
    return messages_;
  }
  const boost::shared_ptr<io::io_dev_pool_t>& DevicePool() const { return devices_; }
  uint32_t Setting() const { return setting_; }

  // How many contexts this process has constructed (diagnostics; 1 in a healthy process).
  static uint32_t Constructions();

 private:
  boost::shared_ptr<io::CCoutMultiplexor> cout_;
  boost::shared_ptr<CRuntimeKeyStore> keys_;
  boost::shared_ptr<io::message::CMessageDeserializationContext> messages_;
  boost::shared_ptr<CUnrestrictedFilesAccessPermissions> permissions_;
  boost::shared_ptr<io::io_dev_pool_t> devices_;
  uint32_t setting_;
};

// The context, created on the first call under a process-wide recursive lock. A failed
// construction leaves nothing behind, so the next call tries again.
boost::shared_ptr<CCommonLibCtx> GetCommonLibCtx();

}  // namespace common
