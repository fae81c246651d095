#!/usr/bin/env bash
# The shared library shows the host exactly its four entry points.
set -euo pipefail
actual=$(nm -D --defined-only "$1" | awk '$2 ~ /^[TtWw]$/ {print $3}' | sort | tr '\n' ' ')
expected="DoRpcCall LibStrFree RpcConnect RpcDisconnect "
if [ "$actual" != "$expected" ]; then
  echo "exported: $actual"
  echo "expected: $expected"
  exit 1
fi
other=$(nm -D --defined-only "$1" | awk '$2 !~ /^[TtWw]$/ {print $3}' | grep -v -E '^(_init|_fini|ZELQA_[0-9.]+)?$' || true)
if [ -n "$other" ]; then
  echo "unexpected symbols: $other"
  exit 1
fi
