#!/usr/bin/env bash
# The Debian package as a user installs it on a machine that has nothing of ours: mmdebstrap
# makes a minimal Debian 12 root and apt installs the package file there, which must pull in
# every package it needs from the archive. Inside that root the installed reference server
# answers calls made with the installed zelqa-rpc and with the installed Python package.
# Needs root and the Debian archive (as the machine's setup does).
# Usage: clean_root_install.sh DEB
set -euo pipefail
deb=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The host that with_server.sh runs: LIBRARY HOST PORT USER PASSWORD_FILE SERVICE.
cat >"$work/host.sh" <<'EOF'
#!/bin/bash
set -euo pipefail
echo "zelqa-rpc call: $(zelqa-rpc call --host "$2" --port "$3" --user "$4" --password-file "$5" \
  --service "$6" "installed " "call")"
python3 - "$@" <<'PY'
import sys
import zelqa_rpc
_, host, port, user, password_file, service = sys.argv[1:]
password = open(password_file).read().rstrip("\n")
with zelqa_rpc.Connection(host, int(port), user, password, service) as connection:
    print("python call:", connection.call("python ", "call"))
PY
EOF
chmod +x "$work/host.sh"
# dpkg runs inside the root and sees only its files, so the package and scripts are copied in.
mmdebstrap --quiet --variant=apt \
  --customize-hook="cp '$deb' \"\$1/tmp/zelqa-rpc.deb\"" \
  --customize-hook="cp -p '$work/host.sh' '$here/../api/with_server.sh' \"\$1/tmp/\"" \
  --customize-hook='chroot "$1" apt-get install --yes --quiet /tmp/zelqa-rpc.deb' \
  --customize-hook='chroot "$1" bash /tmp/with_server.sh zelqa-rpc-server /tmp/host.sh -' \
  bookworm "$work/root" >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }
grep -E '^(The following NEW packages|  [a-z]|[0-9]+ upgraded|zelqa-rpc call|python call)' "$work/log"
grep -q '^zelqa-rpc call: installed call$' "$work/log"
grep -q '^python call: python call$' "$work/log"
echo ok
