#!/usr/bin/env python3
"""zelqa-rpc-server and zelqa-rpc as real processes on loopback.

The programs come from the environment (ZELQA_RPC_SERVER, ZELQA_RPC, ZELQA_RPC_LIBRARY).
Each test starts its own server on free ports with an NTLM account and a registry store that
moves the endpoint mapper and shortens the client's retries, so nothing waits long.
"""
import contextlib
import os
import pathlib
import re
import secrets
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import uuid

from server_process import ServerProcess, free_port, write_registry

SERVER = os.environ["ZELQA_RPC_SERVER"]
CLIENT = os.environ["ZELQA_RPC"]
LIBRARY = os.environ["ZELQA_RPC_LIBRARY"]
USER = "ZELQA\\alice"
DOIRPC_UUID = "d1c2c07a-d989-48cc-a423-b73ecd518d40"
LOG_LINE = re.compile(
    r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ call from 127\.0\.0\.1:\d+ account (\S+) op 0 \d+ ms "
    r"(succeeded|failed: .+)$")

# The handler used by the --exec tests: behaves as its first request says.
EXEC_SCRIPT = r"""
set -- "$ZELQA_REQUEST1" "$ZELQA_REQUEST2"
case "$1" in
  echo) printf '%s|%s|%s' "$1" "$2" "$ZELQA_CALLER_ACCOUNT" ;;
  fail) echo "no such record: $2" >&2; exit 3 ;;
  slow) sleep 30 & echo "$$ $!" > "$2"; wait ;;
  big) head -c 100000 /dev/zero ;;
  latin1) printf 'caf\351' ;;
  *) exit 9 ;;
esac
"""


EPM_UUID = "e1af8308-5d1f-11c9-91a4-08002b14a0fa"
NDR_UUID = "8a885d04-1ceb-11c9-9fe8-08002b104860"


def pdu(ptype, flags, body, call_id=1):
    return (bytes([5, 0, ptype, flags, 0x10, 0, 0, 0]) +
            struct.pack("<HHI", 16 + len(body), 0, call_id) + body)


def bind_pdu(iface_uuid, major, minor):
    context = struct.pack("<HBx16sHH16sI", 0, 1, uuid.UUID(iface_uuid).bytes_le, major, minor,
                          uuid.UUID(NDR_UUID).bytes_le, 2)
    return pdu(11, 0x03, struct.pack("<HHIB3x", 5840, 5840, 0, 1) + context)


def request_pdu(flags, stub_size):
    return pdu(0, flags, struct.pack("<IHH", 64 << 20, 0, 0) + bytes(stub_size), call_id=2)


class ProgramsTest(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="zelqa-programs-"))
        self.password = "Pw-" + secrets.token_urlsafe(12)
        self.accounts = self.dir / "accounts"
        self.accounts.write_text(f"ZELQA:alice:{self.password}\n")
        self.password_file = self.dir / "password"
        self.password_file.write_text(self.password + "\n")
        self.epm_port = free_port()
        registry = write_registry(os.path.join(self.dir, "registry.reg"),
                                  RpcEndpointMapperPort=self.epm_port)
        self.env = dict(os.environ, ZELQA_REGISTRY_FILE=registry)
        self.servers = []

    def tearDown(self):
        for server in self.servers:
            server.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def start_server(self, *extra):
        server = ServerProcess(
            os.path.join(self.dir, f"server-{len(self.servers)}.err"), "--listen", "127.0.0.1:0",
            "--accounts", self.accounts, "--epm-port", str(self.epm_port), *extra)
        self.servers.append(server)
        return server

    def zelqa_rpc(self, *args, stdin=None, auth=True, env=None):
        argv = [CLIENT, *args]
        if auth and args and args[0] == "call":
            argv[2:2] = ["--library", LIBRARY, "--user", USER, "--password-file",
                         self.password_file]
        return subprocess.run(argv, input=stdin, capture_output=True, text=True,
                              env=env or self.env, timeout=60)

    def call(self, server, request1, request2, port=None):
        return self.zelqa_rpc("call", "--host", "127.0.0.1", "--port",
                              str(server.port if port is None else port), request1, request2)

    def assert_prints(self, result, stdout):
        """zelqa-rpc succeeded and wrote `stdout`."""
        self.assertEqual((result.returncode, result.stdout), (0, stdout), result.stderr)

    def assert_fails(self, result, message):
        """zelqa-rpc failed with nothing on standard output and `message` in its error text."""
        self.assertEqual((result.returncode, result.stdout), (1, ""), result.stderr)
        self.assertIn(message, result.stderr)

    def assert_gone(self, pid_file):
        """The command and what it started in the background were killed and reaped."""
        pids = pathlib.Path(pid_file).read_text().split()
        self.assertEqual(len(pids), 2)
        for pid in pids:
            for _ in range(100):  # the orphaned grandchild is reaped by init, a moment later
                if not os.path.exists(f"/proc/{pid}"):
                    break
                time.sleep(0.02)
            self.assertFalse(os.path.exists(f"/proc/{pid}"), f"process {pid} left running")

    # --- calls -------------------------------------------------------------------------------

    def test_call_on_the_port_and_through_the_endpoint_mapper(self):
        server = self.start_server()
        on_port = self.call(server, "Hello, ", "wörld")
        self.assertEqual((on_port.returncode, on_port.stdout, on_port.stderr),
                         (0, "Hello, wörld\n", ""))
        # Port 0: the endpoint mapper is asked, on the port the registry store names.
        self.assert_prints(self.call(server, "again ", "x", port=0), "again x\n")
        code, _ = server.stop()
        self.assertEqual(code, 0)
        self.assertEqual([LOG_LINE.match(line).groups() for line in server.call_lines()],
                         [(USER, "succeeded")] * 2, server.log())
        # The log names callers, never what they asked.
        self.assertNotIn("Hello", server.log())
        self.assertNotIn(self.password, server.log())

    def test_wrong_password_and_unknown_host_fail_with_the_error_text(self):
        server = self.start_server()
        self.password_file.write_text("not-" + self.password + "\n")
        self.assert_fails(self.call(server, "a", "b"), "Access is denied")
        unknown = self.zelqa_rpc("call", "--host", "no-such-host.invalid", "--port", "4000", "a",
                                 "b")
        self.assert_fails(unknown, "The RPC server is unavailable")
        self.assertEqual(server.call_lines(), [])

    def test_password_from_standard_input_and_verbose_log_records(self):
        server = self.start_server()
        r = self.zelqa_rpc("call", "--library", LIBRARY, "--host", "127.0.0.1", "--port",
                           str(server.port), "--user", USER, "--verbose", "p", "q",
                           stdin=self.password + "\n", auth=False)
        self.assert_prints(r, "pq\n")
        self.assertIn("Using SPN: zelqa/127.0.0.1", r.stderr)
        self.assertNotIn(self.password, r.stderr)

    # --- lookup ------------------------------------------------------------------------------

    def test_lookup_anonymous_as_the_current_user_and_as_an_account(self):
        server = self.start_server()
        expected = (f'{DOIRPC_UUID} v1.0 ncacn_ip_tcp:127.0.0.1[{server.port}] "Zelqa DoRpc"\n')
        no_credentials = dict(self.env, KRB5CCNAME=os.path.join(self.dir, "no-ccache"))
        no_credentials.pop("NTLM_USER_FILE", None)
        runs = [
            (("--anonymous",), no_credentials, None, 0),
            ((), dict(no_credentials, NTLM_USER_FILE=str(self.accounts)), None, 0),
            (("--user", USER), no_credentials, self.password + "\n", 0),
            (("--user", USER), no_credentials, "nope\n", 1),
            # The current user without credentials is refused, not silently anonymous.
            ((), no_credentials, None, 1),
            (("--anonymous", "--user", USER), no_credentials, None, 2),
        ]
        for options, env, stdin, code in runs:
            r = self.zelqa_rpc("lookup", "--host", "127.0.0.1", *options, stdin=stdin, env=env)
            self.assertEqual((r.returncode, r.stdout), (code, expected if code == 0 else ""),
                             (options, r.stderr))
            self.assertNotIn(self.password, r.stderr)

    def test_lookup_without_a_mapper_fails(self):
        r = self.zelqa_rpc("lookup", "--host", "127.0.0.1", "--epm-port", str(free_port()))
        self.assert_fails(r, "1722")

    # --- command line ------------------------------------------------------------------------

    def test_help_and_usage_errors(self):
        for command, first in (("call", "usage: zelqa-rpc call"),
                               ("lookup", "usage: zelqa-rpc lookup")):
            r = self.zelqa_rpc(command, "--help", auth=False)
            self.assertEqual(r.returncode, 0)
            self.assertTrue(r.stdout.startswith(first), r.stdout)
            bad = self.zelqa_rpc(command, "--host", "h", "--no-such-option", auth=False)
            self.assertEqual(bad.returncode, 2)
            self.assertIn(first, bad.stderr)
        self.assertEqual(self.zelqa_rpc("call", "--host", "h", "only-one", auth=False).returncode,
                         2)
        self.assertEqual(self.zelqa_rpc("frobnicate", auth=False).returncode, 2)
        server_help = subprocess.run([SERVER, "--help"], capture_output=True, text=True)
        self.assertEqual(server_help.returncode, 0)
        self.assertIn("--exec", server_help.stdout)
        bad_server = subprocess.run([SERVER, "--listen", "127.0.0.1:0", "--accounts", "x",
                                     "--exec-timeout", "soon"], capture_output=True, text=True)
        self.assertEqual(bad_server.returncode, 2)
        self.assertIn("--exec-timeout", bad_server.stderr)

    # --- the command handler -----------------------------------------------------------------

    def exec_server(self, *limits):
        return self.start_server(*limits, "--exec", "sh", "-c", EXEC_SCRIPT, "handler")

    def start_slow_call(self, server, pid_name):
        """A call whose command runs until stopped, once the command has written its pid and its
        child's to `pid_name` in the test's folder; returns the client and that file."""
        pid_file = os.path.join(self.dir, pid_name)
        client = subprocess.Popen(
            [CLIENT, "call", "--library", LIBRARY, "--host", "127.0.0.1", "--port",
             str(server.port), "--user", USER, "--password-file", self.password_file, "slow",
             pid_file], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=self.env)
        for _ in range(200):
            if os.path.exists(pid_file) and os.path.getsize(pid_file) > 0:
                break
            time.sleep(0.05)
        return client, pid_file

    def test_exec_answers_with_standard_output_or_fails_with_standard_error(self):
        server = self.exec_server()
        self.assert_prints(self.call(server, "echo", "wörld; $(rm -rf /)"),  # never shell text
                           f"echo|wörld; $(rm -rf /)|{USER}\n")
        self.assert_prints(self.call(server, "latin1", ""), "caf\ufffd\n")
        self.assert_fails(self.call(server, "fail", "42"), "no such record: 42")
        self.assert_fails(self.call(server, "other", ""), "The command exited with status 9.")
        server.stop()
        outcomes = [LOG_LINE.match(l).group(2) for l in server.call_lines()]
        self.assertEqual(outcomes, ["succeeded", "succeeded", "failed: command exited with status 3",
                                    "failed: command exited with status 9"])
        self.assertNotIn("no such record", server.log())

    def test_exec_limits_stop_the_command(self):
        server = self.exec_server("--exec-timeout", "0.5", "--exec-max-output", "1000")
        pid_file = os.path.join(self.dir, "slow.pid")
        start = time.monotonic()
        slow = self.call(server, "slow", pid_file)
        self.assertLess(time.monotonic() - start, 20)
        self.assert_fails(slow, "did not finish within 0.5 s")
        self.assert_gone(pid_file)
        self.assert_fails(self.call(server, "big", ""), "more than 1000 bytes")
        # The server goes on serving.
        self.assert_prints(self.call(server, "echo", "x"), f"echo|x|{USER}\n")
        server.stop()
        outcomes = [LOG_LINE.match(l).group(2) for l in server.call_lines()]
        self.assertEqual(outcomes[:2], ["failed: command timed out",
                                        "failed: command output too large"])

    # --- running the server ------------------------------------------------------------------

    def test_sigterm_stops_promptly_with_idle_clients_and_running_commands(self):
        server = self.exec_server()
        idle = [socket.create_connection(("127.0.0.1", server.port)) for _ in range(3)]
        slow, pid_file = self.start_slow_call(server, "slow.pid")
        code, took = server.stop()
        self.assertEqual(code, 0)
        self.assertLess(took, 5)
        self.assertIn("stopped", server.log())
        _, err = slow.communicate(timeout=60)
        self.assertNotEqual(slow.returncode, 0)
        self.assert_gone(pid_file)
        for s in idle:
            s.close()

    # --- peers that do not play along ----------------------------------------------------------

    def test_silent_and_trickling_peers_give_way_busy_callers_keep_their_slot(self):
        server = self.exec_server("--max-connections", "4")
        # Every slot of both listeners taken by peers that send nothing, or a byte a second.
        hogs = [socket.create_connection(("127.0.0.1", port))
                for port in (server.port, self.epm_port) for _ in range(4)]
        stop = threading.Event()

        def trickle():
            while not stop.wait(1):
                for s in hogs[::2]:
                    with contextlib.suppress(OSError):
                        s.send(b"\x05")
        trickler = threading.Thread(target=trickle)
        trickler.start()
        try:
            time.sleep(0.2)  # accepted and counted before the call comes
            start = time.monotonic()
            served = self.call(server, "echo", "x", port=0)
            took = time.monotonic() - start
            self.assert_prints(served, f"echo|x|{USER}\n")
            self.assertLess(took, 1.0)
        finally:
            stop.set()
            trickler.join()
            for s in hogs:
                s.close()
        # Authenticated callers in a call are not closed for a newcomer: it is refused.
        slow = [self.start_slow_call(server, f"slow{i}.pid")[0] for i in range(4)]
        self.assert_fails(self.call(server, "echo", "x"), "The RPC server is unavailable")
        server.stop()
        for p in slow:
            p.communicate(timeout=60)

    def test_anonymous_streams_hold_little_memory(self):
        # 64 anonymous connections, half on each listener, each streaming 4 MiB of one request
        # that never ends: the server's resident set grows by less than 32 MiB.
        server = self.start_server()

        def kib(field):
            status = pathlib.Path(f"/proc/{server.proc.pid}/status").read_text()
            return int(re.search(rf"^{field}:\s+(\d+) kB", status, re.M).group(1))
        before = kib("VmRSS")
        streams = []
        for i in range(64):
            port, iface = ((server.port, (DOIRPC_UUID, 1, 0)) if i % 2 else
                           (self.epm_port, (EPM_UUID, 3, 0)))
            s = socket.create_connection(("127.0.0.1", port))
            s.sendall(bind_pdu(*iface))
            header = s.recv(16, socket.MSG_WAITALL)
            s.recv(int.from_bytes(header[8:10], "little") - 16, socket.MSG_WAITALL)
            self.assertEqual(header[2], 12, "bind_ack")
            s.sendall(request_pdu(0x01, 5816))
            streams.append(s)
        chunk = request_pdu(0, 5816) * 16
        for _ in range(4 * 2**20 // len(chunk)):
            for s in streams:
                s.sendall(chunk)
        growth_mib = (kib("VmHWM") - before) / 1024
        print(f"server resident set grew by {growth_mib:.1f} MiB", file=sys.stderr)
        # AddressSanitizer keeps freed blocks in quarantine, so there the resident set says
        # nothing of what the server holds; the streams still run through its checks.
        if not os.environ.get("ZELQA_SANITIZE"):
            self.assertLess(growth_mib, 32)
        for s in streams:
            s.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
