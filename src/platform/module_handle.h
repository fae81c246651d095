// Module handles as the library sees them: the load address of a mapped object, or the
// built-in message module that stands in for wininet.dll (its texts live in system_text).
#pragma once

#include "platform/win_types.h"

namespace platform {

// The handle GetModuleHandleW(u"wininet.dll") returns; it is no mapped object's address.
HMODULE WininetModule();

// Where the module that this code is linked into (the library, or a program that links it
// statically) starts in memory, as the linker recorded it.
const void* OwnImageBase();

}  // namespace platform
