#!/usr/bin/python3
"""The project's clients against independent ones, on the same servers, in one run.

1. DoRpc calls per second on one connection, NTLM at packet privacy, to zelqa-rpc-server:
   the Python package zelqa_rpc (the library through ctypes) against impacket (auth type 10).
2. Process start to answer of an endpoint-mapper lookup, sealed (SPNEGO/NTLM), on Samba's
   samba-dcerpcd: `zelqa-rpc lookup` against `rpcclient ... epmlookup`.

    bench/peers/peers_bench.py BUILD_DIR [--seconds S] [--runs N]

Needs root (the mapper listens on port 135), Debian's python3-impacket and samba. Everything
listens on 127.0.0.27 only; Samba's files live in a temporary folder removed at the end.
"""
import argparse
import os
import pwd
import re
import secrets
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "python"))
sys.path.insert(0, os.path.join(ROOT, "tests", "samba"))
sys.path.insert(0, os.path.join(ROOT, "tests", "programs"))

ADDRESS = "127.0.0.27"
DOMAIN, USER = "ZELQA", "alice"
DORPC = ("d1c2c07a-d989-48cc-a423-b73ecd518d40", "1.0")


def rate(seconds, call):
    """Calls per second of `call` over `seconds`, after a few to warm up."""
    for _ in range(20):
        call()
    n, start = 0, time.perf_counter()
    while time.perf_counter() - start < seconds:
        for _ in range(50):
            call()
        n += 50
    return n / (time.perf_counter() - start)


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:2])


def start_server(build, top, password):
    accounts = os.path.join(top, "accounts")
    with open(accounts, "w") as f:
        f.write(f"{DOMAIN}:{USER}:{password}\n")
    err = open(os.path.join(top, "server.err"), "w")
    proc = subprocess.Popen(
        [os.path.join(build, "server", "zelqa-rpc-server"), "--listen", f"{ADDRESS}:0",
         "--accounts", accounts, "--no-epm"], stdout=subprocess.PIPE, stderr=err, text=True)
    for line in proc.stdout:
        if m := re.match(rf"listening on {re.escape(ADDRESS)} port (\d+)$", line.strip()):
            return proc, int(m.group(1))
    raise SystemExit("zelqa-rpc-server did not start")


def calls_per_second(build, top, seconds):
    import zelqa_rpc
    os.environ.setdefault("ZELQA_RPC_SERVER", os.path.join(build, "server", "zelqa-rpc-server"))
    from independent_clients_test import do_rpc_stub
    from impacket.dcerpc.v5 import rpcrt, transport
    from impacket.uuid import uuidtup_to_bin
    password = "Pw-" + secrets.token_hex(8)
    proc, port = start_server(build, top, password)
    try:
        library = os.path.join(build, "src", "libZelqaRpcClientDll.so")
        with zelqa_rpc.Connection(ADDRESS, port=port, user=f"{DOMAIN}\\{USER}", password=password,
                                  library=library) as conn:
            ours = rate(seconds, lambda: conn.call("a" * 8, "b" * 8))
        t = transport.DCERPCTransportFactory(f"ncacn_ip_tcp:{ADDRESS}[{port}]")
        t.set_credentials(USER, password, DOMAIN)
        dce = t.get_dce_rpc()
        dce.set_auth_type(rpcrt.RPC_C_AUTHN_WINNT)
        dce.set_auth_level(rpcrt.RPC_C_AUTHN_LEVEL_PKT_PRIVACY)
        dce.connect()
        dce.bind(uuidtup_to_bin(DORPC))
        stub = do_rpc_stub("a" * 8, "b" * 8)

        def impacket_call():
            dce.call(0, stub)
            dce.recv()
        theirs = rate(seconds, impacket_call)
        dce.disconnect()
    finally:
        proc.send_signal(signal.SIGTERM)
        proc.wait(10)
    print(f"DoRpc 2 x 8 chars, one connection, NTLM sealed: zelqa_rpc {ours:.0f} calls/s, "
          f"impacket {theirs:.0f} calls/s, ratio {ours / theirs:.1f} (load {load()})")


def lookup_times(build, top, runs):
    import epm_lookup_test as samba
    samba.ADDRESS, samba.NETBIOS_NAME = ADDRESS, "ZELQA27"
    user = pwd.getpwuid(os.geteuid()).pw_name
    password = "Pw-" + secrets.token_urlsafe(12)
    config = samba.write_config(os.path.join(top, "samba"))
    subprocess.run(["pdbedit", "-s", config, "-a", "-u", user, "-t"],
                   input=f"{password}\n{password}\n", text=True, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    password_file = os.path.join(top, "password")
    with open(password_file, "w") as f:
        f.write(password + "\n")
    smb_conf = os.path.join(top, "client.conf")
    open(smb_conf, "w").close()
    account = f"{samba.NETBIOS_NAME}\\{user}"
    env = dict(os.environ, KRB5CCNAME=f"FILE:{top}/no-ccache")
    ours_cmd = [os.path.join(build, "tools", "zelqa-rpc"), "lookup", "--host", ADDRESS,
                "--epm-port", "135", "--user", account, "--password-file", password_file]
    theirs_cmd = ["rpcclient", "-s", smb_conf, "--use-kerberos=off", "-U",
                  f"{account}%{password}", f"ncacn_ip_tcp:{ADDRESS}[135,seal,spnego]",
                  "-c", "epmlookup"]
    proc = samba.start_samba(config)
    try:
        samba.wait_for_registrations()

        def best(cmd):
            times = []
            for _ in range(runs):
                start = time.perf_counter()
                done = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                      env=env, timeout=60)
                times.append(time.perf_counter() - start)
                if done.returncode != 0:
                    raise SystemExit(f"{cmd[0]} failed: {done.stderr.decode()}")
            return min(times), sorted(times)[len(times) // 2]
        ours, theirs = best(ours_cmd), best(theirs_cmd)
    finally:
        samba.stop_samba(proc)
    print(f"endpoint-mapper lookup on Samba, sealed, process start to answer (best / median of "
          f"{runs}): zelqa-rpc lookup {ours[0] * 1e3:.1f} / {ours[1] * 1e3:.1f} ms, "
          f"rpcclient epmlookup {theirs[0] * 1e3:.1f} / {theirs[1] * 1e3:.1f} ms "
          f"(load {load()})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--seconds", type=float, default=3)
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    top = tempfile.mkdtemp(prefix="zelqa-peers-")
    try:
        calls_per_second(build, top, args.seconds)
        if os.geteuid() != 0:
            print("lookup skipped: Samba's mapper needs port 135, which needs root")
        else:
            lookup_times(build, top, args.runs)
    finally:
        shutil.rmtree(top, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
