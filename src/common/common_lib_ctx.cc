#include "common/common_lib_ctx.h"

#include <atomic>

#include <boost/make_shared.hpp>

#include "common/options.h"
#include "common/runtime_key_store.h"
#include "common/unrestricted_files_access_permissions.h"
#include "common/winsock_ref.h"
#include "io/cout_multiplexor.h"
#include "io/io_dev_pool.h"
#include "io/message/message_deserialization_context.h"
#include "logging/channels.h"
#include "rpcrt/base/mutex.h"

namespace common {
namespace {

// The common runtime's own reference on the socket layer, held from load to exit.
const common::winsock_ref_t g_winsock_ref;

std::atomic<uint32_t> g_constructions{0};

rpcrt::base::RecursiveMutex& ContextLock() {
  static rpcrt::base::RecursiveMutex lock;
  return lock;
}

}  // namespace

CCommonLibCtx::CCommonLibCtx()
    : cout_(boost::make_shared<io::CCoutMultiplexor>()),
      keys_(boost::make_shared<common::CRuntimeKeyStore>()),
      messages_(boost::make_shared<io::message::CMessageDeserializationContext>()),
      permissions_(boost::make_shared<common::CUnrestrictedFilesAccessPermissions>()),
      devices_(boost::make_shared<io::io_dev_pool_t>()),
      setting_(GetOptions().CommonLibCtxSetting) {
  ++g_constructions;
}

CCommonLibCtx::~CCommonLibCtx() {
  cout_->Clear([] { logging::channels::Cli().Info("Clearing collection of cout multiplexors."); });
}

uint32_t CCommonLibCtx::Constructions() {
  return g_constructions.load();
}

boost::shared_ptr<CCommonLibCtx> GetCommonLibCtx() {
  rpcrt::base::RecursiveMutexLock guard(ContextLock());
  // Function-local: built on the first call, released among the static destructors at exit.
  static boost::shared_ptr<CCommonLibCtx> context;
  if (!context) context = boost::make_shared<CCommonLibCtx>();
  return context;
}

}  // namespace common
