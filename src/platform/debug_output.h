// Debugger output: written to standard error, only when ZELQA_DEBUG_OUTPUT is set.
#pragma once

#include "platform/win_types.h"

void OutputDebugStringA(LPCSTR text);
