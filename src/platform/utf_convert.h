// UTF-8 <-> UTF-16 conversion with the system's substitution rules: every ill-formed
// UTF-8 sequence (maximal subpart) and every unpaired surrogate becomes U+FFFD.
//
// The platform converts with the run time's codec, which both builds compile.
#pragma once

#include "rpcrt/ndr/utf16.h"

namespace platform {

using rpcrt::Utf16LengthOf;
using rpcrt::Utf16ToUtf8;
using rpcrt::Utf8LengthOf;
using rpcrt::Utf8ToUtf16;

}  // namespace platform
