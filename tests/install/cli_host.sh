#!/usr/bin/env bash
# The installed command-line client as a host, with the arguments with_server.sh passes:
# it has to find the installed library on its own.
# Usage: ZELQA_RPC_CLI=PROGRAM cli_host.sh LIBRARY HOST PORT USER PASSWORD_FILE SERVICE
set -euo pipefail
answer=$("$ZELQA_RPC_CLI" call --host "$2" --port "$3" --user "$4" --password-file "$5" \
  --service "$6" "Hello, " "world")
[ "$answer" = "Hello, world" ] || { echo "zelqa-rpc answered: $answer"; exit 1; }
