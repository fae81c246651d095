#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine. Idempotent.
set -euo pipefail
packages=(
  build-essential cmake pkg-config clang libclang-rt-14-dev clang-format
  libboost-dev
  zlib1g-dev nettle-dev libkrb5-dev krb5-kdc krb5-admin-server krb5-user
  gss-ntlmssp gss-ntlmssp-dev libgtest-dev libgmock-dev libfmt-dev libbenchmark-dev libspdlog-dev
  python3 python3-pytest gcovr python3-impacket smbclient unzip
  samba samba-ad-provision samba-dsdb-modules samba-vfs-modules
  # The Windows DLL: cross compilers, zlib for mingw, and Wine (with ntlm_auth from winbind
  # for Negotiate; its daemon need not run) to run it.
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libz-mingw-w64-dev
  wine wine64 winbind
  # The Debian package is installed on a fresh minimal Debian 12 root that mmdebstrap makes.
  mmdebstrap
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get -o DPkg::Lock::Timeout=600 update -qq
  # Samba's and winbind's packages would start their daemons on every interface; the tests
  # start what they need themselves, on loopback. Keep package scripts from starting services.
  policy=/usr/sbin/policy-rc.d
  added_policy=""
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo_cmd tee "$policy" >/dev/null
    $sudo_cmd chmod 755 "$policy"
    added_policy=1
  fi
  $sudo_cmd apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
  [ -z "$added_policy" ] || $sudo_cmd rm -f "$policy"
fi
