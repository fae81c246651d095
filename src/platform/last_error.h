// The calling thread's last error, as Windows keeps it for every system call.
#pragma once

#include "platform/win_types.h"

DWORD GetLastError();
void SetLastError(DWORD code);
