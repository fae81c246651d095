#!/usr/bin/env bash
# A throw-away Samba Active Directory domain controller on one loopback address, for the
# Kerberos tests against a Windows-like KDC.
#
#   addc.sh start DIR   provisions realm ZAD.TEST (NetBIOS domain ZAD) in DIR and starts samba
#                       with its KDC and RPC services on $ZELQA_DC_ADDRESS (127.0.0.18);
#                       writes DIR/env (KRB5_CONFIG, KRB5CCNAME, ...) to source
#   addc.sh stop DIR    stops that DC
#
# Accounts: alice (password in DIR/alice.password); the service account zsvc holding the
# principal zelqa/ADDRESS, whose keys are in DIR/zelqa.keytab; zother holding zelqa/other,
# whose keys (DIR/other.keytab) cannot decrypt a ticket for zelqa/ADDRESS. Everything the DC
# writes stays under DIR; passwords travel through files only, never on a command line.
set -euo pipefail

cmd=${1:-}
dir=${2:-}
addr=${ZELQA_DC_ADDRESS:-127.0.0.18}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }
export PATH=$PATH:/usr/sbin:/sbin

stop() {
  if [ -f "$dir/samba.pid" ]; then
    local pid
    pid=$(cat "$dir/samba.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$dir/samba.pid"
  fi
}

listening() { (exec 3<>"/dev/tcp/$addr/$1") 2>/dev/null; }

wait_port() {
  for _ in $(seq 1 300); do
    kill -0 "$(cat "$dir/samba.pid")" 2>/dev/null || return 1
    if listening "$1"; then return 0; fi
    sleep 0.05
  done
  return 1
}

start() {
  if listening 88 || listening 135; then
    echo "$addr already has a KDC or an endpoint mapper; is another DC running?" >&2
    exit 1
  fi
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  local paths=(pid lock state cache private ncalrpc ntp_signd winbindd log bind-dns)
  local opts=(--option="interfaces = $addr/8" --option="bind interfaces only = yes"
              --option="server services = kdc rpc" --option="dcerpc endpoint servers = epmapper lsarpc samr netlogon"
              --option="log file = $dir/log/%m.log" --option="binddns dir = $dir/bind-dns"
              --option="pid directory = $dir/pid" --option="lock directory = $dir/lock"
              --option="state directory = $dir/state" --option="cache directory = $dir/cache"
              --option="private dir = $dir/private" --option="ncalrpc dir = $dir/ncalrpc"
              --option="ntp signd socket directory = $dir/ntp_signd"
              --option="winbindd socket directory = $dir/winbindd")
  for p in "${paths[@]}"; do mkdir -p "$dir/$p"; done
  head -c 12 /dev/urandom | base64 | sed 's/^/Adm-1x/' >"$dir/admin.password"
  printf 'Alice-1x%s\n' "$(head -c 9 /dev/urandom | base64)" >"$dir/alice.password"
  chmod 600 "$dir"/*.password
  # The administrator's password goes through the environment of python, not argv.
  ZELQA_ADMIN_PASSWORD=$(cat "$dir/admin.password") /usr/bin/python3 - "$dir" "${opts[@]}" <<'PY' >"$dir/provision.out" 2>&1
import os, subprocess, sys
d = sys.argv[1]
subprocess.run(["samba-tool", "domain", "provision", "--realm=ZAD.TEST", "--domain=ZAD",
                "--server-role=dc", "--dns-backend=NONE", "--host-name=" + os.uname().nodename.split(".")[0],
                "--adminpass=" + os.environ["ZELQA_ADMIN_PASSWORD"], "--targetdir=" + d] + sys.argv[2:],
               check=True)
PY
  local conf="$dir/etc/smb.conf"
  /usr/bin/python3 - "$conf" "$dir/alice.password" <<'PY' >>"$dir/provision.out" 2>&1
import sys
from samba.auth import system_session
from samba.param import LoadParm
from samba.samdb import SamDB
lp = LoadParm()
lp.load(sys.argv[1])
db = SamDB(url=lp.samdb_url(), session_info=system_session(), lp=lp)
db.newuser("alice", open(sys.argv[2]).read().strip())
PY
  samba-tool user add zsvc --random-password -s "$conf" >>"$dir/provision.out" 2>&1
  samba-tool user add zother --random-password -s "$conf" >>"$dir/provision.out" 2>&1
  samba-tool spn add "zelqa/$addr" zsvc -s "$conf" >>"$dir/provision.out" 2>&1
  samba-tool spn add zelqa/other zother -s "$conf" >>"$dir/provision.out" 2>&1
  # The DC's own services (its endpoint mapper) are asked for as host/ADDRESS.
  samba-tool spn add "host/$addr" "$(hostname -s | tr '[:lower:]' '[:upper:]')\$" -s "$conf" \
    >>"$dir/provision.out" 2>&1
  samba-tool domain exportkeytab "$dir/zelqa.keytab" --principal="zelqa/$addr" -s "$conf" >>"$dir/provision.out" 2>&1
  samba-tool domain exportkeytab "$dir/other.keytab" --principal=zelqa/other -s "$conf" >>"$dir/provision.out" 2>&1

  cat >"$dir/krb5.conf" <<CONF
[libdefaults]
  default_realm = ZAD.TEST
  dns_lookup_kdc = false
  dns_lookup_realm = false
  dns_canonicalize_hostname = false
  rdns = false
  default_ccache_name = FILE:$dir/ccache
[realms]
  ZAD.TEST = {
    kdc = $addr
  }
CONF
  cat >"$dir/env" <<CONF
export KRB5_CONFIG=$dir/krb5.conf
export KRB5CCNAME=FILE:$dir/ccache
export KRB5RCACHEDIR=$dir
export ZELQA_DC_ADDRESS=$addr
CONF
  samba -s "$conf" -i -M single --debug-stdout -d1 >"$dir/samba.out" 2>&1 &
  echo $! >"$dir/samba.pid"
  if wait_port 88 && wait_port 135; then return 0; fi
  echo "samba did not come up; see $dir/samba.out" >&2
  stop
  exit 1
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
