#include "rpc/rpc_binding.h"

#include <string>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "common/options.h"
#include "exc/exceptions.h"
#include "exc/format_message.h"
#include "exc/string_conv.h"
#include "logging/channels.h"
#include "logging/trace.h"

namespace rpc {
namespace {

void RaiseIfFailed(RPC_STATUS status, const char* text) {
  if (status != RPC_S_OK) throw exc::win_sys_exc_t(text, static_cast<uint32_t>(status));
}

// How Negotiate authenticated each connection, for the verbose log.
void LogAuthNote(const std::string& note) {
  if (common::GetOptions().RpcVerboseLog) logging::channels::Rpc().Info(note);
}

// An optional step: its failure is written to the log and the build goes on.
void LogIfFailed(RPC_STATUS status, const char* text) {
  if (status == RPC_S_OK) return;
  logging::channels::Rpc().Error(exc::win_sys_exc_t(text, static_cast<uint32_t>(status)));
}

}  // namespace

rpc_binding_t& rpc_binding_t::operator=(rpc_binding_t&& other) noexcept {
  if (this != &other) {
    reset();
    handle_ = other.release();
  }
  return *this;
}

RPC_BINDING_HANDLE rpc_binding_t::release() noexcept {
  RPC_BINDING_HANDLE handle = handle_;
  handle_ = nullptr;
  return handle;
}

void rpc_binding_t::reset() noexcept {
  if (handle_ == nullptr) return;
  try {
    const RPC_STATUS status = RpcBindingFree(&handle_);
    handle_ = nullptr;
    if (status != RPC_S_OK) {
      throw exc::runtime_exc_t("Failed to free rpc handle. Error: {}",
                               static_cast<int32_t>(status));
    }
  } catch (const std::exception& e) {
    logging::channels::Default().Error("Failed to close rpc handle", e);
  }
}

rpc_string_t::~rpc_string_t() {
  if (str_ != nullptr) RpcStringFreeA(&str_);
}

std::unique_ptr<rpc_binding_t> CreateRpcBinding(SEC_WINNT_AUTH_IDENTITY_W& identity,
                                                const rpc_connection_spec_t& settings,
                                                RPC_IF_HANDLE interface_spec) {
  static const bool notes_received = (platform::SetAuthNoteReceiver(&LogAuthNote), true);
  (void)notes_received;
  const bool verbose = common::GetOptions().RpcVerboseLog;
  const std::string connect_text =
      exc::format_message("Connecting to RPC. Spec: {}", FormatConnectionSpec(settings));
  boost::shared_ptr<logging::i_trace_t> trace;
  if (verbose) {
    trace = boost::make_shared<logging::trace_t>(logging::channels::Rpc(), connect_text);
  } else {
    trace = boost::make_shared<logging::trace_fail_t>(logging::channels::Rpc(), connect_text);
  }

  const std::string endpoint = settings.Port != 0 ? std::to_string(settings.Port) : std::string();
  const std::string address = exc::wide_to_ansi(settings.Host);

  rpc_string_t string_binding;
  RaiseIfFailed(
      RpcStringBindingComposeA(
          nullptr, reinterpret_cast<RPC_CSTR>(const_cast<char*>("ncacn_ip_tcp")),
          reinterpret_cast<RPC_CSTR>(const_cast<char*>(address.c_str())),
          settings.Port != 0 ? reinterpret_cast<RPC_CSTR>(const_cast<char*>(endpoint.c_str()))
                             : nullptr,
          nullptr, string_binding.address()),
      "Connect failed (RpcStringBindingCompose)");

  rpc_binding_t binding;
  RaiseIfFailed(
      RpcBindingFromStringBindingA(
          reinterpret_cast<RPC_CSTR>(const_cast<char*>(string_binding.c_str())), binding.address()),
      "Connect failed (RpcBindingFromStringBinding)");

  std::u16string principal = settings.ServiceName + u"/" + settings.Host;
  if (verbose) {
    logging::channels::Rpc().Info(exc::format_message("Using SPN: {}", principal));
  }
  RaiseIfFailed(
      RpcBindingSetAuthInfoW(binding.get(), reinterpret_cast<RPC_WSTR>(principal.data()),
                             RPC_C_AUTHN_LEVEL_PKT_PRIVACY, RPC_C_AUTHN_GSS_NEGOTIATE,
                             settings.CurrentUser ? nullptr : &identity, RPC_C_AUTHZ_NONE),
      "Connect failed (RpcBindingSetAuthInfoExW)");

  if (settings.Port == 0) {
    // Where the host's endpoint mapper listens: 135 unless the options move it.
    RaiseIfFailed(
        platform::SetEndpointMapperPort(
            binding.get(), static_cast<uint16_t>(common::GetOptions().RpcEndpointMapperPort)),
        "Connect failed (RpcEpResolveBinding)");
  }
  RaiseIfFailed(RpcEpResolveBinding(binding.get(), interface_spec),
                "Connect failed (RpcEpResolveBinding)");

  LogIfFailed(RpcMgmtSetComTimeout(binding.get(), RPC_C_BINDING_MIN_TIMEOUT),
              "Failed to set RPC ComTimeout option");
  LogIfFailed(RpcBindingSetOption(binding.get(), RPC_C_OPT_CALL_TIMEOUT,
                                  static_cast<uint32_t>(settings.RequestTimeout * 1000u)),
              "Failed to set RPC_C_OPT_CALL_TIMEOUT option");
  if (settings.UniqueBinding) {
    LogIfFailed(RpcBindingSetOption(binding.get(), RPC_C_OPT_UNIQUE_BINDING, 1),
                "Failed to set RPC_C_OPT_UNIQUE_BINDING option");
  }

  trace->done();
  return std::make_unique<rpc_binding_t>(std::move(binding));
}

}  // namespace rpc
