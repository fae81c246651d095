#!/bin/bash
# Runs e2e_host under Wine against the Linux reference server on 127.0.0.16, whose endpoint
# mapper listens on port 135 there (Wine's run time always asks that port).
# Usage: end_to_end.sh SERVER HOST_EXE
set -euo pipefail
server=$1 host=$2
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
printf 'ZELQA:alice:secret\n' >"$work/accounts"
"$server" --listen 127.0.0.16:0 --accounts "$work/accounts" --epm-port 135 \
  >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on .* port \([0-9]*\)$/\1/p' "$work/out")
  [[ -n "$port" ]] && break
  sleep 0.1
done
[[ -n "${port:-}" ]] || { cat "$work/err" >&2; exit 1; }
wine "$host" 127.0.0.16 "$port"
