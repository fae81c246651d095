// Thread identity: the kernel thread id, as a 32-bit number like Windows thread ids.
#pragma once

#include "platform/win_types.h"

DWORD GetCurrentThreadId();
