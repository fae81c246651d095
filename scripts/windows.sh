#!/usr/bin/env bash
# Builds the Windows DLL for i686 and x86_64 and runs the Windows tests: the static checks of
# each DLL's export and import tables, and under Wine the x86_64 DLL and the portable unit tests.
# DLLs land in build/windows-i686/bin/ and build/windows-x86_64/bin/, and a zip of each with
# its import library and header in build/windows-*/packages/.
# With ZELQA_WINDOWS_E2E_SERVER naming a zelqa-rpc-server, the x86_64 DLL also makes sealed
# calls to it under Wine (the server must accept raw NTLM under Negotiate, as Wine sends it).
# Usage: windows.sh [BUILD_ROOT] (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh  # the cross compilers and Wine, on a fresh machine
root=${1:-build}
for arch in i686 x86_64; do
  dir=$root/windows-$arch
  cmake -S . -B "$dir" -DZELQA_WERROR=ON -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$arch.cmake" \
    ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} \
    ${ZELQA_WINDOWS_E2E_SERVER:+-DZELQA_WINDOWS_E2E_SERVER=$(realpath "$ZELQA_WINDOWS_E2E_SERVER")} \
    >/dev/null
  cmake --build "$dir" -j "$(nproc)"
  ctest --test-dir "$dir" --output-on-failure --no-tests=error
  (cd "$dir" && cpack -G ZIP >/dev/null)
  zip=$dir/packages/ZelqaRpcClientDll-*.zip
  unzip -l $zip
  for f in bin/ZelqaRpcClientDll.dll lib/libZelqaRpcClientDll.dll.a include/zelqa/zelqa_rpc_client.h; do
    unzip -l $zip | grep -q "/$f\$" || { echo "FAIL: $f not in $zip" >&2; exit 1; }
  done
done
