#!/usr/bin/env bash
# Installs the build tree into a staging folder, checks what it holds, builds the consumer
# against it once with pkg-config and once with find_package, and runs both against the
# installed server; then the installed command-line client and Python package, which must
# find the installed library by themselves.
# Usage: install_test.sh BUILD_DIR PREFIX LIBDIR INCLUDEDIR BINDIR PYTHONDIR WITH_SERVER PYTHON
#        [FLAGS...]   (FLAGS: extra compiler flags for the consumer, e.g. sanitizers)
# The environment variable HOST_ENV holds NAME=VALUE words for the Python interpreter.
set -euo pipefail
build=$1 prefix=$2 libdir=$3 includedir=$4 bindir=$5 pythondir=$6 with_server=$7 python=$8
shift 8
flags="$*"
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

DESTDIR=$dir/stage cmake --install "$build" >"$dir/install.log"
root=$dir/stage$prefix
[[ $pythondir = /* ]] && pythondir=${pythondir#"$prefix"/}
missing=0
for f in "$libdir/libZelqaRpcClientDll.so" "$includedir/zelqa/zelqa_rpc_client.h" \
  "$libdir/pkgconfig/zelqa-rpc-client.pc" \
  "$libdir/cmake/ZelqaRpcClient/ZelqaRpcClientConfig.cmake" \
  "$libdir/cmake/ZelqaRpcClient/ZelqaRpcClientConfigVersion.cmake" \
  "$bindir/zelqa-rpc" "$bindir/zelqa-rpc-server" \
  "$pythondir/zelqa_rpc/__init__.py" "$pythondir/zelqa_rpc/_installed.py"; do
  [ -e "$root/$f" ] || { echo "not installed: $f"; missing=1; }
done
if find "$dir/stage" -name '*.a' | grep .; then
  echo "static libraries must not be installed"
  missing=1
fi
[ "$missing" = 0 ] || exit 1
library=$(readlink -f "$root/$libdir/libZelqaRpcClientDll.so")
soname=$(objdump -p "$library" | awk '$1 == "SONAME" {print $2}')
[ -e "$root/$libdir/$soname" ] || { echo "no file for the SONAME $soname"; exit 1; }
server=$root/$bindir/zelqa-rpc-server

echo "== pkg-config"
export PKG_CONFIG_PATH=$root/$libdir/pkgconfig
# shellcheck disable=SC2046,SC2086
cc -std=c11 $flags "$here/consumer/consumer.c" $(pkg-config --cflags --libs zelqa-rpc-client) \
  -o "$dir/consumer-pc"
LD_LIBRARY_PATH=$root/$libdir "$with_server" "$server" "$dir/consumer-pc" "$library"

echo "== find_package"
cmake -S "$here/consumer" -B "$dir/consumer-cmake" -DCMAKE_PREFIX_PATH="$root" \
  -DCMAKE_C_FLAGS="$flags" >"$dir/consumer-cmake.log" || { cat "$dir/consumer-cmake.log"; exit 1; }
cmake --build "$dir/consumer-cmake" >>"$dir/consumer-cmake.log" || { cat "$dir/consumer-cmake.log"; exit 1; }
"$with_server" "$server" "$dir/consumer-cmake/consumer" "$library"

echo "== zelqa-rpc"
ZELQA_RPC_CLI=$root/$bindir/zelqa-rpc "$with_server" "$server" "$here/cli_host.sh" "$library"

echo "== Python"
# shellcheck disable=SC2086
found=$(env -u ZELQA_RPC_LIBRARY PYTHONPATH="$root/$pythondir" ${HOST_ENV:-} "$python" -c \
  'import zelqa_rpc; print(zelqa_rpc.load_library().path)')
[ "$(readlink -f "$found")" = "$library" ] || { echo "the Python package loaded $found"; exit 1; }
echo "installed tree works"
