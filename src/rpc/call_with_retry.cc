// The remote call loop: attempts, classification of failed attempts, waits and reconnects.
#include "rpc/call_with_retry.h"

#include "common/options.h"
#include "exc/exceptions.h"
#include "exc/rethrow.h"
#include "exc/rpc_exc.h"
#include "exc/string_conv.h"
#include "logging/channels.h"
#include "platform/clock.h"
#include "rpc/proxy_rpc_invoker.h"
#include "rpcrt/status.h"

namespace rpc {
namespace {

// The code with which Windows raises a C++ exception as a structured exception.
constexpr uint32_t kCppExceptionCode = 0xE06D7363;
constexpr uint32_t kRpcEAccessDenied = 0x8001011B;

// Milliseconds left of the interval that started with the failed attempt (tick arithmetic
// modulo 2^32).
uint32_t RemainingWait(DWORD start, uint32_t interval_ms) {
  const DWORD elapsed = GetTickCount() - start;
  return elapsed < interval_ms ? interval_ms - elapsed : 0;
}

// One attempt, with every exception turned into a status as a structured exception handler
// that accepts everything would.
uint32_t SafeCall(rpc::IRpcMethod& method, RPC_BINDING_HANDLE binding) noexcept {
  try {
    method.Execute(binding);
    return 0;
  } catch (const rpcrt::RpcError& e) {
    return e.status();
  } catch (...) {
    return kCppExceptionCode;
  }
}

}  // namespace

status_class_t Classify(uint32_t status) {
  switch (status) {
    case rpcrt::kServerUnavailable:
    case rpcrt::kErrorInvalidHandle:
    case rpcrt::kEptNotRegistered:
      return status_class_t::kReconnectable;
    case rpcrt::kCallFailed:
    case rpcrt::kCallFailedDne:
      return status_class_t::kRetryable;
    default:
      break;
  }
  if ((status == rpcrt::kErrorAccessDenied || status == kRpcEAccessDenied) &&
      common::GetOptions().RpcRetryOnAccessDenied) {
    return status_class_t::kReconnectable;
  }
  return status_class_t::kFinal;
}

uint32_t CProxyRpcInvoker::Attempt(rpc::IRpcMethod& method) {
  rpcrt::base::ReaderLock guard(lock_);
  if (binding_ == nullptr) throw exc::CZelqaInternalError("RPC connection was not initialized");
  const uint32_t status = SafeCall(method, binding_->get());
  // Set once per binding after its first attempt, whatever that attempt's status.
  if (!dont_linger_applied_.exchange(true)) {
    if (settings_.UniqueBinding) {
      const RPC_STATUS s = RpcBindingSetOption(binding_->get(), RPC_C_OPT_DONT_LINGER, 1);
      if (s != RPC_S_OK) {
        logging::channels::Rpc().Error("Failed to enable RPC unique binding",
                                       exc::rpc_exc_t(static_cast<uint32_t>(s)));
      }
    }
  }
  return status;
}

uint32_t CProxyRpcInvoker::CallWithRetry(rpc::IRpcMethod& method) {
  const common::options_t& options = common::GetOptions();
  const std::string name = method.GetName();
  logging::log_section_t& log = logging::channels::Default();

  bool reconnected = false;
  EnsureConnected(reconnected);
  for (uint32_t n = 0;; ++n) {
    const DWORD start = GetTickCount();
    if (n > 0) {
      log.Info(exc::format_message("Retrying RPC call. Attempt: [%1], Method: [%2]", n, name));
    }
    const uint32_t status = Attempt(method);
    const status_class_t kind = Classify(status);
    if (kind == status_class_t::kFinal) return status;

    bool wait_path = kind == status_class_t::kRetryable;
    if (!wait_path) {
      if (options.RpcReconnectOnRetry) {
        reconnected = false;
      } else if (reconnected) {
        wait_path = true;
      }
    }
    if (!wait_path) {
      try {
        if (options.RpcReconnectOnRetry) {
          const uint32_t wait = RemainingWait(start, options.RpcRetryIntervalMs);
          log.Error(
              exc::format_message("RPC client failed to call method [%1]. Sleep interval: [%2] ms",
                                  name, wait),
              exc::rpc_exc_t(status));
          if (wait != 0) Sleep(wait);
        } else {
          log.Error(exc::format_message("RPC client failed to call method [%1]", name),
                    exc::rpc_exc_t(status));
        }
        Reconnect();
        reconnected = true;
        if (n == 0) continue;
        if (n > options.RpcRetryCount || !method.IsRetryAllowed()) {
          log.Error(exc::format_message("RPC client failed to call method [{}]", name),
                    exc::rpc_exc_t(status));
          return status;
        }
        continue;
      } catch (const std::exception& e) {
        log.Error("RPC client failed to reestablish connection", e);
      }
    }

    if (n > options.RpcRetryCount || !method.IsRetryAllowed()) {
      log.Error(exc::format_message("RPC client failed to call method [%1]", name),
                exc::rpc_exc_t(status));
      return status;
    }
    const uint32_t wait = RemainingWait(start, options.RpcRetryIntervalMs);
    log.Error(exc::format_message(
                  "RPC client failed to call method [%1]. Sleep interval: [%2] MSec", name, wait),
              exc::rpc_exc_t(status));
    if (wait != 0) Sleep(wait);
    if (options.RpcReconnectOnRetry) {
      try {
        Reconnect();
      } catch (const std::exception& e) {
        log.Error("RPC client failed to reestablish connection", e);
      }
    }
  }
}

void CProxyRpcInvoker::Invoke(rpc::IRpcMethod& method) {
  try {
    const uint32_t status = CallWithRetry(method);
    if (status != 0) throw exc::rpc_exc_t(status);
  } catch (const exc::rpc_exc_t& e) {
    exc::rethrow_with_context(
        "RPC function call failed. Function name: [%1]. Target machine: [%2:%3].", method.GetName(),
        exc::wide_to_utf8_nothrow(settings_.Host), settings_.Port, e);
  }
  method.CheckResult();
}

}  // namespace rpc
