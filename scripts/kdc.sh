#!/usr/bin/env bash
# A throw-away MIT KDC on loopback for the Kerberos tests and benchmarks.
#
#   kdc.sh start DIR   creates realm ZELQA.TEST in DIR and starts krb5kdc on a free port;
#                      writes DIR/env (KRB5_CONFIG, KRB5_KDC_PROFILE, KRB5CCNAME, ...) to source
#   kdc.sh stop DIR    stops that KDC
#
# Principals: alice@ZELQA.TEST (password in DIR/alice.password), bob@ZELQA.TEST (password in
# DIR/bob.password), zelqa/localhost@ZELQA.TEST (key in DIR/zelqa.keytab). Passwords travel by
# stdin and files only, never on a command line.
set -euo pipefail

realm=ZELQA.TEST
cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }
export PATH=$PATH:/usr/sbin:/sbin

stop() {
  if [ -f "$dir/kdc.pid" ]; then
    kill "$(cat "$dir/kdc.pid")" 2>/dev/null || true
    rm -f "$dir/kdc.pid"
  fi
}

start() {
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  local port
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  cat >"$dir/krb5.conf" <<CONF
[libdefaults]
  default_realm = $realm
  dns_lookup_kdc = false
  dns_lookup_realm = false
  dns_canonicalize_hostname = false
  rdns = false
  udp_preference_limit = 1
  default_ccache_name = FILE:$dir/ccache
[realms]
  $realm = {
    kdc = 127.0.0.1:$port
  }
[domain_realm]
  localhost = $realm
CONF
  cat >"$dir/kdc.conf" <<CONF
[kdcdefaults]
  kdc_listen = 127.0.0.1:$port
  kdc_tcp_listen = 127.0.0.1:$port
[realms]
  $realm = {
    database_name = $dir/principal
    key_stash_file = $dir/stash
    acl_file = $dir/kadm5.acl
    supported_enctypes = aes256-cts-hmac-sha1-96:normal aes128-cts-hmac-sha1-96:normal
  }
[logging]
  kdc = FILE:$dir/kdc.log
  admin_server = FILE:$dir/kadmin.log
CONF
  : >"$dir/kadm5.acl"
  cat >"$dir/env" <<CONF
export KRB5_CONFIG=$dir/krb5.conf
export KRB5_KDC_PROFILE=$dir/kdc.conf
export KRB5CCNAME=FILE:$dir/ccache
export KRB5_KTNAME=FILE:$dir/zelqa.keytab
export KRB5RCACHEDIR=$dir
export KRB5_TRACE_DIR=$dir
CONF
  # shellcheck disable=SC1091
  . "$dir/env"
  head -c 24 /dev/urandom | base64 >"$dir/master.password"
  printf 'Alice-%s\n' "$(head -c 9 /dev/urandom | base64)" >"$dir/alice.password"
  printf 'Bob-%s\n' "$(head -c 9 /dev/urandom | base64)" >"$dir/bob.password"
  chmod 600 "$dir"/*.password
  local master alice bob
  master=$(cat "$dir/master.password")
  alice=$(cat "$dir/alice.password")
  bob=$(cat "$dir/bob.password")
  printf '%s\n%s\n' "$master" "$master" | kdb5_util -r "$realm" create -s >/dev/null
  printf 'addprinc alice\n%s\n%s\naddprinc bob\n%s\n%s\naddprinc -randkey zelqa/localhost\nktadd -k %s zelqa/localhost\n' \
    "$alice" "$alice" "$bob" "$bob" "$dir/zelqa.keytab" | kadmin.local -r "$realm" >"$dir/kadmin.out" 2>&1
  krb5kdc -n -r "$realm" -P "$dir/kdc.pid" >"$dir/krb5kdc.out" 2>&1 &
  echo $! >"$dir/kdc.pid"
  for _ in $(seq 1 200); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port" >"$dir/port"
      return 0
    fi
    sleep 0.02
  done
  echo "krb5kdc did not come up; see $dir/krb5kdc.out" >&2
  stop
  exit 1
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
