#!/usr/bin/env bash
# The Debian package as a user installs it on a machine that has nothing of ours: mmdebstrap
# makes a minimal Debian 12 root and apt installs the package file there, which must pull in
# every package it needs from the archive. Inside that root the installed reference server
# answers calls made with the installed zelqa-rpc and with the installed Python package.
# Needs root and the Debian archive (as the machine's setup does).
# Usage: clean_root_install.sh DEB
set -euo pipefail
deb=$(realpath "$1")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

# Everything runs in the customize hook, while mmdebstrap has /proc and /dev mounted in the root.
cat >"$root/check.sh" <<'EOF'
set -euo pipefail
dir=$(mktemp -d)
password=Clean-Root-1
printf 'CLEAN:alice:%s\n' "$password" >"$dir/accounts"
printf '%s\n' "$password" >"$dir/password"
zelqa-rpc-server --listen 127.0.0.1:0 --accounts "$dir/accounts" --no-epm >"$dir/out" 2>"$dir/err" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  grep -q 'listening on' "$dir/out" 2>/dev/null && break
  sleep 0.05
done
port=$(awk '/listening on/ {print $5; exit}' "$dir/out")
[ -n "$port" ] || { cat "$dir/err"; exit 1; }
answer=$(zelqa-rpc call --host 127.0.0.1 --port "$port" --user 'CLEAN\alice' \
  --password-file "$dir/password" "installed " "call")
echo "zelqa-rpc call: $answer"
python3 - "$port" "$password" <<'PY'
import sys
import zelqa_rpc
port, password = int(sys.argv[1]), sys.argv[2]
with zelqa_rpc.Connection("127.0.0.1", port, "CLEAN\\alice", password, "zelqa") as c:
    print("python call:", c.call("python ", "call"))
PY
EOF
# shellcheck disable=SC2016
# The package file is copied in: dpkg runs inside the root and sees only its files.
mmdebstrap --quiet --variant=apt \
  --customize-hook='cp "'"$deb"'" "$1/tmp/zelqa-rpc.deb" && cp "'"$root/check.sh"'" "$1/check.sh"' \
  --customize-hook='chroot "$1" apt-get install --yes --quiet /tmp/zelqa-rpc.deb' \
  --customize-hook='chroot "$1" bash /check.sh' \
  bookworm "$root/tree" | tee "$root/log"
grep -q '^zelqa-rpc call: ' "$root/log" && grep -q '^python call: ' "$root/log"
echo ok
