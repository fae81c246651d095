// Registry keys (under HKEY_LOCAL_MACHINE) that the logging settings are read from. The
// product key is the options record's too: its default names this one.
#pragma once

namespace logging {

// The product key: log aging limits and the process-wide logger's own settings.
inline constexpr char16_t kProductKey[] = u"SOFTWARE\\Zelqa\\Zelqa Harbrix";
// The external log collector of the "dbg" channel.
inline constexpr char kExtLogKey[] = "SOFTWARE\\ZelqA\\Zelqa NFS";

}  // namespace logging
