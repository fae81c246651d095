#include "logging/channels.h"

#include <boost/make_shared.hpp>

#include "exc/internal_error_log.h"
#include "logging/log.h"
#include "logging/receiver/output_debug_string_log.h"

namespace logging::channels {

#define ZELQA_CHANNEL(function, name)   \
  log_section_t& function() {           \
    static log_section_t channel(name); \
    return channel;                     \
  }

ZELQA_CHANNEL(Default, "")
ZELQA_CHANNEL(Dmn, "dmn")
ZELQA_CHANNEL(Cli, "cli")
ZELQA_CHANNEL(Srv, "srv")
ZELQA_CHANNEL(Prt, "prt")
ZELQA_CHANNEL(Drv, "drv")
ZELQA_CHANNEL(Stg, "stg")
ZELQA_CHANNEL(Cpl, "cpl")
ZELQA_CHANNEL(Bkp, "bkp")
ZELQA_CHANNEL(Nfs, "nfs")
ZELQA_CHANNEL(Rpc, "rpc")
ZELQA_CHANNEL(Vhd, "vhd")
ZELQA_CHANNEL(Mnt, "mnt")
ZELQA_CHANNEL(Azure, "azure")
ZELQA_CHANNEL(Dt, "dt ")

#undef ZELQA_CHANNEL

log_section_t& Dbg() {
  static log_section_t channel(
      "dbg", boost::make_shared<log_t>(boost::make_shared<receiver::COutputDebugStringLog>()));
  return channel;
}

namespace {

// Builds every channel while the library is initialised, in a fixed order, so that they are
// destroyed in reverse order at unload like the rest of the library's static objects.
[[maybe_unused]] const bool g_channels_built = [] {
  for (log_section_t* channel : {&Default(), &Dmn(), &Cli(), &Srv(), &Prt(), &Drv(), &Stg(), &Cpl(),
                                 &Bkp(), &Nfs(), &Rpc(), &Vhd(), &Mnt(), &Azure(), &Dt(), &Dbg()}) {
    (void)channel;
  }
  return true;
}();

// The exceptions and helpers below the logger report through the global channel.
[[maybe_unused]] const bool g_error_log_installed = [] {
  exc::set_error_log({.exception = [](const std::exception& e) noexcept { Default().Error(e); },
                      .text = [](std::string_view text) noexcept { Default().Error(text); }});
  return true;
}();

}  // namespace

}  // namespace logging::channels
