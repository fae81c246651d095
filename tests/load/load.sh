#!/usr/bin/env bash
# Runs the load driver against the reference server program on loopback.
#   load.sh steady  SERVER DRIVER LIBRARY [DRIVER OPTIONS...]  ZELQA_LOAD_CALLS calls (20000)
#   load.sh restart SERVER DRIVER LIBRARY [DRIVER OPTIONS...]  the server is killed (SIGKILL)
#     and started again on its port every 1-3 s for ZELQA_LOAD_RESTART_SECONDS (15), while
#     the driver calls; then it stays up and the driver checks that every connection works.
# Retries are made short through the registry store, so a call outlives a restart.
set -euo pipefail
mode=$1 server=$2 driver=$3 library=$4
shift 4
work=$(mktemp -d)
server_pid= driver_pid=
stop_server() {
  [ -n "$server_pid" ] || return 0
  kill -KILL "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  server_pid=
}
trap '[ -z "$driver_pid" ] || kill "$driver_pid" 2>/dev/null; stop_server; rm -rf "$work"' EXIT

secret="Load-$(head -c 12 /dev/urandom | base64 | tr -d '/+=')"
printf 'ZELQA:loader:%s\n' "$secret" >"$work/accounts"
printf '%s\n' "$secret" >"$work/password"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa\\Zelqa Harbrix]\r\n"RpcRetryIntervalMs"=dword:00000064\r\n"RpcRetryCount"=dword:0000000a\r\n' \
  >"$work/registry.reg"
export ZELQA_REGISTRY_FILE="$work/registry.reg"
# No KDC serves the account's domain here: say so, rather than have every connect ask DNS.
printf '[libdefaults]\n  dns_lookup_kdc = false\n  dns_lookup_realm = false\n' >"$work/krb5.conf"
export KRB5_CONFIG="$work/krb5.conf"

# start_server ADDRESS:PORT: starts it and waits until it listens; sets server_pid and port.
start_server() {
  : >"$work/server.out"
  "$server" --listen "$1" --accounts "$work/accounts" --no-epm >"$work/server.out" \
    2>>"$work/server.err" &
  server_pid=$!
  local tries=0
  until grep -q 'listening on' "$work/server.out"; do
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ] || ! kill -0 "$server_pid" 2>/dev/null; then
      echo "the server did not start:" >&2
      cat "$work/server.err" >&2
      exit 1
    fi
    sleep 0.02
  done
  port=$(awk '/listening on/ {print $5; exit}' "$work/server.out")
}

start_server 127.0.0.1:0
driver_args=(--library "$library" --port "$port" --user 'ZELQA\loader'
             --password-file "$work/password" --service zelqa "$@")
case "$mode" in
  steady)
    "$driver" "${driver_args[@]}" --calls "${ZELQA_LOAD_CALLS:-20000}"
    ;;
  restart)
    "$driver" "${driver_args[@]}" --until-file "$work/settled" --allow-retry-failures &
    driver_pid=$!
    restarts=0
    end=$((SECONDS + ${ZELQA_LOAD_RESTART_SECONDS:-15}))
    while [ "$SECONDS" -lt "$end" ] && kill -0 "$driver_pid" 2>/dev/null; do
      sleep "$((1 + RANDOM % 2)).$((RANDOM % 10))"
      stop_server
      start_server "127.0.0.1:$port"
      restarts=$((restarts + 1))
    done
    # Let calls that were retrying through the last restart finish against a live server.
    sleep 1
    touch "$work/settled"
    rc=0
    wait "$driver_pid" || rc=$?
    driver_pid=
    echo "server restarts: $restarts"
    exit "$rc"
    ;;
  *)
    echo "usage: load.sh steady|restart SERVER DRIVER LIBRARY [DRIVER OPTIONS...]" >&2
    exit 2
    ;;
esac
