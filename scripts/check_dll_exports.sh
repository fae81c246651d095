#!/bin/bash
# Checks a built ZelqaRpcClientDll.dll from its PE headers alone (usable for the i686 DLL,
# which this machine cannot run): exactly the four undecorated exports with ordinals 1-4, and
# no import of a C++ or GCC run-time DLL (the run times are linked in).
# Usage: check_dll_exports.sh DLL [OBJDUMP]
set -euo pipefail
dll=$1
objdump=${2:-objdump}
headers=$("$objdump" -p "$dll")

base=$(sed -n 's/.*Ordinal Base \([0-9]*\).*/\1/p' <<<"$headers")
# Lines "[index] name" of the ordinal/name table; the ordinal is the base plus the index.
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
  sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\][[:space:]]*\(.*\)$/\1 \2/p' |
  while read -r index name; do echo "$((index + ${base:-0})) $name"; done)
expected=$'1 DoRpcCall\n2 LibStrFree\n3 RpcConnect\n4 RpcDisconnect'
status=0
if [[ "$exports" != "$expected" ]]; then
  echo "FAIL: $dll exports (ordinal name):" >&2
  echo "${exports:-(none)}" >&2
  echo "expected:" >&2
  echo "$expected" >&2
  status=1
fi
runtime_imports=$(sed -n 's/.*DLL Name: //p' <<<"$headers" |
  grep -iE '^(libstdc\+\+|libgcc|libwinpthread)' || true)
if [[ -n "$runtime_imports" ]]; then
  echo "FAIL: $dll imports run-time DLLs: $runtime_imports" >&2
  status=1
fi
[[ $status -eq 0 ]] && echo "$dll: four exports with ordinals 1-4, no run-time DLL imports"
exit $status
