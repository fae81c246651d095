#!/usr/bin/env bash
# Runs the C host against a reference server on a free loopback port with an NTLM account.
# Usage: with_server.sh SERVER ABI_TEST LIBRARY
set -euo pipefail
server=$1 abi_test=$2 library=$3
dir=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$dir"' EXIT
password="Pw-$(head -c 9 /dev/urandom | base64 | tr -d '/+=')"
printf 'ZELQA:alice:%s\n' "$password" >"$dir/accounts"
printf '%s\n' "$password" >"$dir/password"
"$server" --listen 127.0.0.1:0 --accounts "$dir/accounts" --no-epm >"$dir/out" 2>"$dir/err" &
pid=$!
for _ in $(seq 1 100); do
  grep -q 'listening on' "$dir/out" 2>/dev/null && break
  sleep 0.05
done
port=$(awk '/listening on/ {print $5; exit}' "$dir/out")
[ -n "$port" ] || { cat "$dir/err"; exit 1; }
"$abi_test" "$library" 127.0.0.1 "$port" 'ZELQA\alice' "$dir/password" zelqa
