// The remote call loop: attempts, classification of failed attempts, waits and reconnects.

#include "common/options.h"
#include "exc/exceptions.h"
#include "exc/rethrow.h"
#include "exc/rpc_exc.h"
#include "exc/string_conv.h"
#include "logging/channels.h"
#include "platform/clock.h"
#include "rpc/proxy_rpc_invoker.h"
#include "rpcrt/status.h"

namespace wrap::invoker {
namespace {

// The code with which Windows raises a C++ exception as a structured exception.
constexpr uint32_t kCppExceptionCode = 0xE06D7363;
constexpr uint32_t kRpcEAccessDenied = 0x8001011B;

// Copied once per process at the first call.
struct retry_parameters_t {
  uint32_t count;
  uint32_t interval_ms;
  bool reconnect_on_retry;
};

const retry_parameters_t& RetryParameters() {
  static const retry_parameters_t parameters = [] {
    const auto& options = common::GetOptions();
    return retry_parameters_t{options.RpcRetryCount, options.RpcRetryIntervalMs,
                              options.RpcReconnectOnRetry};
  }();
  return parameters;
}

enum class status_class_t { kFinal, kReconnectable, kRetryable };

status_class_t Classify(uint32_t status) {
  switch (static_cast<int32_t>(status)) {
    case 1722:  // RPC_S_SERVER_UNAVAILABLE
    case 6:     // ERROR_INVALID_HANDLE
    case 1753:  // EPT_S_NOT_REGISTERED
      return status_class_t::kReconnectable;
    case 1726:  // RPC_S_CALL_FAILED
    case 1727:  // RPC_S_CALL_FAILED_DNE
      return status_class_t::kRetryable;
    default:
      break;
  }
  if ((status == 5 || status == kRpcEAccessDenied) && common::GetOptions().RpcRetryOnAccessDenied) {
    return status_class_t::kReconnectable;
  }
  return status_class_t::kFinal;
}

// Milliseconds left of the interval that started with the failed attempt (tick arithmetic
// modulo 2^32).
uint32_t RemainingWait(DWORD start, uint32_t interval_ms) {
  const DWORD elapsed = GetTickCount() - start;
  return elapsed < interval_ms ? interval_ms - elapsed : 0;
}

// One attempt, with every exception turned into a status as a structured exception handler
// that accepts everything would.
uint32_t SafeCall(win::rpc::IRpcMethod& method, RPC_BINDING_HANDLE binding) noexcept {
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

uint32_t CProxyRpcInvoker::Attempt(win::rpc::IRpcMethod& method) {
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

uint32_t CProxyRpcInvoker::CallWithRetry(win::rpc::IRpcMethod& method) {
  const retry_parameters_t& retry = RetryParameters();
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
      if (retry.reconnect_on_retry) {
        reconnected = false;
      } else if (reconnected) {
        wait_path = true;
      }
    }
    if (!wait_path) {
      try {
        if (retry.reconnect_on_retry) {
          const uint32_t wait = RemainingWait(start, retry.interval_ms);
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
        if (n > retry.count || !method.IsRetryAllowed()) {
          log.Error(exc::format_message("RPC client failed to call method [{}]", name),
                    exc::rpc_exc_t(status));
          return status;
        }
        continue;
      } catch (const std::exception& e) {
        log.Error("RPC client failed to reestablish connection", e);
      }
    }

    if (n > retry.count || !method.IsRetryAllowed()) {
      log.Error(exc::format_message("RPC client failed to call method [%1]", name),
                exc::rpc_exc_t(status));
      return status;
    }
    const uint32_t wait = RemainingWait(start, retry.interval_ms);
    log.Error(exc::format_message(
                  "RPC client failed to call method [%1]. Sleep interval: [%2] MSec", name, wait),
              exc::rpc_exc_t(status));
    if (wait != 0) Sleep(wait);
    if (retry.reconnect_on_retry) {
      try {
        Reconnect();
      } catch (const std::exception& e) {
        log.Error("RPC client failed to reestablish connection", e);
      }
    }
  }
}

void CProxyRpcInvoker::Invoke(win::rpc::IRpcMethod& method) {
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

}  // namespace wrap::invoker
