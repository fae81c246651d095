// Registry keys (under HKEY_LOCAL_MACHINE) that the logging reads besides the product key,
// whose name the options record holds.
#pragma once

namespace logging {

// The external log collector of the "dbg" channel.
inline constexpr char kExtLogKey[] = "SOFTWARE\\ZelqA\\Zelqa NFS";

}  // namespace logging
