#!/usr/bin/env python3
"""The client and the reference server against a throw-away Samba AD domain controller.

scripts/addc.sh provisions realm ZAD.TEST (NetBIOS domain ZAD) on one loopback address and
exports the keys of the server's principal zelqa/ADDRESS; the test drives zelqa-rpc and
zelqa-rpc-server (paths from ZELQA_RPC, ZELQA_RPC_SERVER, ZELQA_RPC_LIBRARY) as a domain user
would, and checks in the client's verbose log which mechanism was used, not only the answer.
"""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from server_process import ServerProcess, write_registry

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "addc.sh")
CLIENT = os.environ["ZELQA_RPC"]
LIBRARY = os.environ["ZELQA_RPC_LIBRARY"]
ADDRESS = os.environ.setdefault("ZELQA_DC_ADDRESS", "127.0.0.18")
KERBEROS_AS_ALICE = "Negotiate: settled on Kerberos as alice@ZAD.TEST for zelqa/%s@ZAD.TEST"
EXEC = "printf '%s|%s' \"$ZELQA_CALLER_ACCOUNT\" \"$ZELQA_REQUEST1$ZELQA_REQUEST2\""


def start_server(workdir, keytab, *extra):
    """A zelqa-rpc-server on the DC's address with the given keytab."""
    return ServerProcess(os.path.join(workdir, "server-%d.err" % time.monotonic_ns()), "--listen",
                         ADDRESS + ":0", "--keytab", keytab, "--no-epm", *extra)


class DomainControllerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="zelqa-addc-")
        start = time.monotonic()
        subprocess.run(["bash", SCRIPT, "start", cls.dir], check=True, timeout=600)
        print("domain controller set up in %.1f s" % (time.monotonic() - start), flush=True)
        env = dict(os.environ)
        with open(os.path.join(cls.dir, "env")) as f:
            for line in f:
                name, _, value = line.removeprefix("export ").strip().partition("=")
                env[name] = value
        env["ZELQA_REGISTRY_FILE"] = write_registry(os.path.join(cls.dir, "registry.reg"))
        env.pop("NTLM_USER_FILE", None)
        cls.env = env
        cls.password_file = os.path.join(cls.dir, "alice.password")
        cls.server = start_server(cls.dir, os.path.join(cls.dir, "zelqa.keytab"), "--exec", "sh",
                                  "-c", EXEC, "sh")

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        subprocess.run(["bash", SCRIPT, "stop", cls.dir], check=False, timeout=60)
        shutil.rmtree(cls.dir, ignore_errors=True)

    def call(self, port, *user, env=None):
        argv = [CLIENT, "call", "--library", LIBRARY, "--host", ADDRESS, "--port", str(port),
                "--verbose"]
        if user:
            argv += ["--user", user[0], "--password-file", self.password_file]
        start = time.monotonic()
        done = subprocess.run(argv + ["x", "y"], capture_output=True, text=True,
                              env=env or self.env, timeout=120)
        return done, time.monotonic() - start

    def kinit(self, cache):
        """Alice's tickets in a new cache; returns the KRB5CCNAME that names it."""
        ccache = "FILE:" + os.path.join(self.dir, cache)
        with open(self.password_file) as f:
            subprocess.run(["kinit", "alice@ZAD.TEST"], stdin=f, check=True, capture_output=True,
                           env=dict(self.env, KRB5CCNAME=ccache))
        return ccache

    def test_every_account_form_authenticates_with_kerberos(self):
        cache = self.kinit("alice.ccache")
        # The explicit forms must not borrow the ticket cache.
        nowhere = "FILE:" + os.path.join(self.dir, "no.ccache")
        for name, user, ccache in [("NetBIOS domain", ["ZAD\\alice"], nowhere),
                                   ("principal", ["alice@ZAD.TEST"], nowhere),
                                   ("ticket cache", [], cache)]:
            with self.subTest(name):
                done, _ = self.call(self.server.port, *user,
                                    env=dict(self.env, KRB5CCNAME=ccache))
                self.assertEqual(done.returncode, 0, done.stderr)
                # The server names the caller by the logon domain and account of the PAC.
                self.assertEqual(done.stdout.strip(), "ZAD\\alice|xy")
                self.assertIn(KERBEROS_AS_ALICE % ADDRESS, done.stderr)
                self.assertNotIn("falling back to NTLM", done.stderr)
        self.assertRegex(self.server.log(), r"account ZAD\\alice op 0 \d+ ms succeeded")

    def test_lookup_of_the_dc_mapper_as_the_current_user(self):
        env = dict(self.env, KRB5CCNAME=self.kinit("lookup.ccache"))
        done = subprocess.run([CLIENT, "lookup", "--host", ADDRESS, "--verbose"],
                              capture_output=True, text=True, env=env, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("Negotiate: settled on Kerberos as alice@ZAD.TEST for host/%s@ZAD.TEST"
                      % ADDRESS, done.stderr)
        # The DC's mapper lists its services on every transport, itself among them.
        for binding in ["ncacn_ip_tcp:0.0.0.0[135]", "ncacn_np:[\\pipe\\epmapper]",
                        "ncalrpc:[EPMAPPER]"]:
            self.assertIn(binding + ' "epmapper"', done.stdout)

    def test_a_ticket_the_server_cannot_accept_is_access_denied_at_once(self):
        server = start_server(self.dir, os.path.join(self.dir, "other.keytab"))
        self.addCleanup(server.stop)
        done, seconds = self.call(server.port, "ZAD\\alice")
        self.assertEqual(done.returncode, 1)
        self.assertIn("Access is denied.", done.stderr)
        self.assertNotIn("Reconnecting", done.stderr)
        self.assertLess(seconds, 1.0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
