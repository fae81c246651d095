// The process-wide log channels. Each is built on first use (and all of them during the
// library's static initialisation), so they are safe to use from other translation units'
// static objects. Every channel but Dbg() writes through the process-wide logger.
#pragma once

#include "logging/log_section.h"

namespace logging::channels {

log_section_t& Default();  // tag of nine blanks
log_section_t& Dmn();
log_section_t& Cli();
log_section_t& Srv();
log_section_t& Prt();
log_section_t& Drv();
log_section_t& Stg();
log_section_t& Cpl();
log_section_t& Bkp();
log_section_t& Nfs();
log_section_t& Rpc();
log_section_t& Vhd();
log_section_t& Mnt();
log_section_t& Azure();
log_section_t& Dt();  // the name "dt " with its trailing blank
// The debugger channel: its own logger, sending to the debugger output and, when the
// registry says so, to the external log collector over UDP.
log_section_t& Dbg();

}  // namespace logging::channels
