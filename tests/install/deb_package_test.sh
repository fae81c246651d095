#!/usr/bin/env bash
# The Debian package as users get it: cpack makes it from the build's install rules; its file
# list must hold the library under its SONAME, the header, the pkg-config and CMake files, both
# programs and the Python package where Debian's python3 finds it, and its control data the
# packages that an apt-get install of the file pulls in.
# Usage: deb_package_test.sh BUILD_DIR (a build configured with CMAKE_INSTALL_PREFIX=/usr)
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >cpack.log) ||
  { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/out/*.deb)
echo "$(basename "$deb")"
dpkg-deb -c "$deb" | awk '{print $6 ($7 == "->" ? " -> " $8 : "")}' >"$work/files"
cat "$work/files"

lib=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for f in "$lib/libZelqaRpcClientDll.so.0 -> " "$lib/libZelqaRpcClientDll.so -> " \
  "$lib/libZelqaRpcClientDll.so.0.1.0" usr/include/zelqa/zelqa_rpc_client.h \
  "$lib/pkgconfig/zelqa-rpc-client.pc" "$lib/cmake/ZelqaRpcClient/ZelqaRpcClientConfig.cmake" \
  usr/bin/zelqa-rpc usr/bin/zelqa-rpc-server \
  usr/lib/python3/dist-packages/zelqa_rpc/__init__.py \
  usr/lib/python3/dist-packages/zelqa_rpc/_installed.py; do
  grep -qF "./$f" "$work/files" || fail "the package lacks $f"
done
! grep -E '\.a$|/usr/local/' "$work/files" || fail "static libraries or /usr/local in the package"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(tr ',|' '\n\n' <<<"$depends" | awk '{print $1}')
for p in libc6 libstdc++6 libgcc-s1 libgssapi-krb5-2 libkrb5-3 libnettle8 zlib1g python3; do
  grep -qxF "$p" <<<"$names" || fail "Depends lacks $p"
done
dpkg-deb -e "$deb" "$work/control"
grep -q "^libZelqaRpcClientDll 0 zelqa-rpc " "$work/control/shlibs" ||
  fail "shlibs: $(cat "$work/control/shlibs")"
grep -q ldconfig "$work/control/postinst" || fail "the library is not made known to the loader on install"
echo "ok"
