#!/usr/bin/env python3
"""zelqa-rpc lookup against Samba's endpoint mapper.

Starts samba-dcerpcd (with its rpcd helpers, not on demand) on 127.0.0.14 port 135 with a
private configuration: every file Samba writes is under a temporary folder, removed at the
end. Then checks that `zelqa-rpc lookup` lists every endpoint Samba registered, in the string
binding form that impacket's epm module (an independent stack) gives them: anonymously, as the
current user through NTLM_USER_FILE, and as an explicit account, the last two with
SPNEGO/NTLM at packet privacy; a wrong password is refused.

    epm_lookup_test.py PATH_TO_ZELQA_RPC

Exit status 77 (skipped) when not run as root: port 135 is privileged.
"""
import os
import pwd
import secrets
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ADDRESS = "127.0.0.14"
NETBIOS_NAME = "ZELQA14"
DCERPCD = "/usr/libexec/samba/samba-dcerpcd"
# Every place Samba writes to, each a folder of the test's own.
DIRS = {"private dir": "private", "lock directory": "lock", "state directory": "state",
        "cache directory": "cache", "pid directory": "pid", "ncalrpc dir": "ncalrpc",
        "binddns dir": "bind-dns", "ntp signd socket directory": "ntp_signd",
        "winbindd socket directory": "winbindd", "usershare path": "usershare"}


def write_config(top):
    for d in (*DIRS.values(), "log"):
        os.makedirs(os.path.join(top, d))
    path = os.path.join(top, "smb.conf")
    with open(path, "w") as f:
        f.write(f"""[global]
  netbios name = {NETBIOS_NAME}
  workgroup = ZELQA
  server role = standalone server
  interfaces = {ADDRESS}/8
  bind interfaces only = yes
  rpc start on demand helpers = no
  log file = {top}/log/log.%m
  passdb backend = tdbsam:{top}/private/passdb.tdb
  load printers = no
  printcap name = /dev/null
  disable spoolss = yes
  include system krb5 conf = no
""" + "".join(f"  {option} = {top}/{d}\n" for option, d in DIRS.items()))
    return path


def start_samba(config):
    """samba-dcerpcd in a process group of its own; returns once it says it is ready."""
    ready_read, ready_write = os.pipe()
    proc = subprocess.Popen(
        [DCERPCD, "-s", config, "--foreground", "--libexec-rpcds", "--no-process-group",
         f"--log-basename={os.path.dirname(config)}/log",
         f"--ready-signal-fd={ready_write}", "--debuglevel=1"],
        pass_fds=(ready_write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    os.close(ready_write)
    os.read(ready_read, 1)  # end of file when samba-dcerpcd closes its end
    os.close(ready_read)
    return proc


def stop_samba(proc):
    try:
        os.killpg(proc.pid, signal.SIGTERM)
        proc.wait(timeout=20)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
    except ProcessLookupError:
        pass


def impacket_lookup():
    """The mapper's entries as impacket reads them, one line each as zelqa-rpc prints them."""
    from impacket import uuid
    from impacket.dcerpc.v5 import epm, transport
    dce = transport.DCERPCTransportFactory(f"ncacn_ip_tcp:{ADDRESS}[135]").get_dce_rpc()
    dce.connect()
    dce.bind(epm.MSRPC_UUID_PORTMAP)
    lines = []
    try:
        request = epm.ept_lookup()
        request["inquiry_type"] = epm.RPC_C_EP_ALL_ELTS
        request["object"] = epm.NULL
        request["Ifid"] = epm.NULL
        request["vers_option"] = epm.RPC_C_VERS_ALL
        request["max_ents"] = 64
        while True:
            # Samba sends its last entries with "not registered" (no more): read them all.
            response = dce.request(request, checkError=False)
            for i in range(response["num_ents"]):
                entry = response["entries"][i]
                floors = epm.EPMTower(b"".join(entry["tower"]["tower_octet_string"]))["Floors"]
                annotation = b"".join(entry["annotation"]).rstrip(b"\0").decode()
                lines.append(f"{uuid.bin_to_string(floors[0]['InterfaceUUID']).lower()} "
                             f"v{floors[0]['MajorVersion']}.{floors[0]['MinorVersion']} "
                             f"{epm.PrintStringBinding(floors)} \"{annotation}\"")
            if response["status"] != 0:
                break
            request["entry_handle"] = response["entry_handle"]
    finally:
        dce.disconnect()
    return sorted(lines)


def wait_for_registrations():
    """The helpers register their endpoints after start-up: wait for a stable list."""
    previous, deadline = None, time.monotonic() + 60
    while time.monotonic() < deadline:
        try:
            current = impacket_lookup()
        except Exception:
            current = None
        if current and current == previous and any("ncacn_ip_tcp" in l for l in current):
            return current
        previous = current
        time.sleep(1)
    raise SystemExit(f"Samba's endpoint mapper did not settle: {previous}")


def main():
    if os.geteuid() != 0:
        print("skipped: port 135 needs root")
        return 77
    client = sys.argv[1]
    user = pwd.getpwuid(os.geteuid()).pw_name
    password = "Pw-" + secrets.token_urlsafe(12)
    top = tempfile.mkdtemp(prefix="zelqa-samba-")
    proc = None
    failures = []
    try:
        config = write_config(top)
        subprocess.run(["pdbedit", "-s", config, "-a", "-u", user, "-t"],
                       input=f"{password}\n{password}\n", text=True, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        proc = start_samba(config)
        expected = wait_for_registrations()
        for protseq in ("ncacn_ip_tcp:", "ncacn_np:", "ncalrpc:", "ncacn_http:"):
            if not any(protseq in line for line in expected):
                failures.append(f"Samba registered no {protseq} endpoint: {expected}")

        password_file, user_file = f"{top}/password", f"{top}/ntlm_user"
        for path, line in ((password_file, password), (f"{top}/wrong", "wrong"),
                           (user_file, f"{NETBIOS_NAME}:{user}:{password}")):
            with open(path, "w") as f:
                f.write(line + "\n")
        # No Kerberos: the ticket cache does not exist, so Negotiate settles on NTLM.
        env = dict(os.environ, KRB5CCNAME=f"FILE:{top}/no-ccache")
        env.pop("NTLM_USER_FILE", None)
        account = f"{NETBIOS_NAME}\\{user}"
        runs = [
            ("anonymous", ["--anonymous"], env, 0),
            ("current user", [], dict(env, NTLM_USER_FILE=user_file), 0),
            ("account", ["--user", account, "--password-file", password_file], env, 0),
            ("wrong password", ["--user", account, "--password-file", f"{top}/wrong"], env, 1),
        ]
        for name, options, run_env, code in runs:
            r = subprocess.run([client, "lookup", "--host", ADDRESS, "--epm-port", "135",
                                *options], capture_output=True, text=True, env=run_env,
                               timeout=60)
            listed = sorted(r.stdout.splitlines())
            if r.returncode != code:
                failures.append(f"{name}: exit {r.returncode}, wanted {code}: {r.stderr}")
            elif code == 0 and listed != expected:
                failures.append(f"{name}: listed\n  " + "\n  ".join(listed) +
                                "\nwhere impacket reads\n  " + "\n  ".join(expected))
            if password in r.stderr:
                failures.append(f"{name}: the password is in the error text")
        print(f"{len(expected)} endpoints listed")
    finally:
        if proc is not None:
            stop_samba(proc)
        shutil.rmtree(top, ignore_errors=True)
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
