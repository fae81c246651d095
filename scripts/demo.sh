#!/usr/bin/env bash
# The main job: sets up the machine, builds, starts the reference server on loopback with a
# demo NTLM account, and calls DoRpc through the client library (zelqa-rpc loads it as any
# host would), once on the server's port and once through its endpoint mapper.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

build=build/demo
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELQA_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target zelqa-rpc-server zelqa-rpc ZelqaRpcClientDll

dir=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$dir"' EXIT
password="Demo-$(head -c 9 /dev/urandom | base64 | tr -d '/+=')"
printf 'DEMO:alice:%s\n' "$password" >"$dir/accounts"
printf '%s\n' "$password" >"$dir/password"
chmod 600 "$dir/accounts" "$dir/password"

# The endpoint mapper's well-known port 135 needs root; the demo moves it through the
# registry store, as an administrator could.
epm_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa\\Zelqa Harbrix]\r\n"RpcEndpointMapperPort"=dword:%08x\r\n' \
  "$epm_port" >"$dir/registry.reg"
export ZELQA_REGISTRY_FILE=$dir/registry.reg

"$build/server/zelqa-rpc-server" --listen 127.0.0.1:0 --accounts "$dir/accounts" \
  --epm-port "$epm_port" >"$dir/server.out" 2>"$dir/server.err" &
pid=$!
for _ in $(seq 1 100); do
  grep -q 'endpoint mapper' "$dir/server.out" 2>/dev/null && break
  sleep 0.05
done
port=$(awk '/listening on/ {print $5; exit}' "$dir/server.out")
[ -n "$port" ] || { cat "$dir/server.err"; exit 1; }
echo "reference server on 127.0.0.1:$port, endpoint mapper on $epm_port"

echo "call on port $port:"
"$build/tools/zelqa-rpc" call --host 127.0.0.1 --port "$port" --user 'DEMO\alice' \
  --password-file "$dir/password" "Hello, " "world"
echo "call through the endpoint mapper:"
"$build/tools/zelqa-rpc" call --host 127.0.0.1 --user 'DEMO\alice' \
  --password-file "$dir/password" "Hello again, " "world"
echo "endpoints registered:"
"$build/tools/zelqa-rpc" lookup --host 127.0.0.1 --epm-port "$epm_port" --anonymous
