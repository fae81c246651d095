#!/usr/bin/env python3
"""zelqa-rpc-server against clients that share no code with it: impacket and Samba's rpcclient.

One server on 127.0.0.17 serves DoRpc on a free port and its endpoint mapper on port 135 (a
free port too when the test may not bind 135). Every exchange is NTLM at packet privacy, so
each reply the server seals is checked by the client's own code, and each request it accepts
was signed the way these clients sign: over the whole PDU.
"""
import os
import re
import secrets
import shutil
import struct
import subprocess
import tempfile
import unittest

from impacket.dcerpc.v5 import epm, rpcrt, transport
from impacket.uuid import uuidtup_to_bin
from server_process import ServerProcess, free_port

ADDRESS = "127.0.0.17"
DOMAIN, USER = "ZELQA", "alice"
DORPC = ("d1c2c07a-d989-48cc-a423-b73ecd518d40", "1.0")


class CarryingNtlm(int):
    """impacket speaks bare NTLM only as auth type 10. An auth type made with this goes on the
    wire as another number while impacket's branches take it for 10: as 9 (Negotiate), the
    three legs and whole-PDU signatures of a Windows-family Negotiate client that went to NTLM
    at once."""

    def __eq__(self, other):
        return other == rpcrt.RPC_C_AUTHN_WINNT

    __hash__ = int.__hash__


def do_rpc_stub(request1, request2):
    """Operation 0's request: two conformant varying UTF-16 strings with their NUL."""
    out = b""
    for text in (request1, request2):
        data = (text + "\0").encode("utf-16-le")
        out += b"\0" * (-len(out) % 4)
        out += struct.pack("<3L", len(data) // 2, 0, len(data) // 2) + data
    return out


class IndependentClients(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="zelqa-independent-")
        cls.password = "Pw-" + secrets.token_hex(8)
        with open(os.path.join(cls.dir, "accounts"), "w") as f:
            f.write(f"{DOMAIN}:{USER}:{cls.password}\n")
        # rpcclient reads a configuration file; an empty one keeps the machine's out of it.
        cls.smb_conf = os.path.join(cls.dir, "smb.conf")
        open(cls.smb_conf, "w").close()
        cls.epm_port = 135 if os.geteuid() == 0 else free_port(ADDRESS)
        cls.server = ServerProcess(os.path.join(cls.dir, "server.err"), "--listen", f"{ADDRESS}:0",
                                   "--accounts", os.path.join(cls.dir, "accounts"),
                                   "--epm-port", str(cls.epm_port))
        cls.port = cls.server.port

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.dir, ignore_errors=True)

    def connect(self, port, interface=None, auth_type=rpcrt.RPC_C_AUTHN_WINNT, password=None):
        """A sealed connection, bound to `interface` when given."""
        t = transport.DCERPCTransportFactory(f"ncacn_ip_tcp:{ADDRESS}[{port}]")
        t.set_credentials(USER, password or self.password, DOMAIN)
        t.set_connect_timeout(10)
        dce = t.get_dce_rpc()
        dce.set_auth_type(auth_type)
        dce.set_auth_level(rpcrt.RPC_C_AUTHN_LEVEL_PKT_PRIVACY)
        dce.connect()
        self.addCleanup(dce.disconnect)
        if interface:
            dce.bind(uuidtup_to_bin(interface))
        return dce

    def call(self, dce, request1, request2):
        """DoRpc's answer string, from a reply that succeeded."""
        dce.call(0, do_rpc_stub(request1, request2))
        stub = dce.recv()
        referent, _, _, count = struct.unpack_from("<4L", stub)
        assert referent != 0, stub.hex()
        return stub[16:16 + 2 * count].decode("utf-16-le").rstrip("\0")

    def test_do_rpc_sealed_by_impacket(self):
        for auth_type in (rpcrt.RPC_C_AUTHN_WINNT, CarryingNtlm(rpcrt.RPC_C_AUTHN_GSS_NEGOTIATE)):
            with self.subTest(auth_type=int(auth_type)):
                dce = self.connect(self.port, DORPC, auth_type)
                self.assertEqual(self.call(dce, "hello, ", "world"), "hello, world")
                # Later calls run on with the sequence numbers; a long one goes in fragments.
                long = "\u00e9x" * 6000
                self.assertEqual(self.call(dce, long, "!"), long + "!")
        calls = re.findall(r" call from 127\.0\.0\.\d+:\d+ account (\S+) op 0 \d+ ms "
                           r"succeeded$", self.server.log(), re.M)
        self.assertGreaterEqual(calls.count(f"{DOMAIN}\\{USER}"), 4, self.server.log())

    def test_endpoint_mapper_sealed_by_impacket(self):
        entries = epm.hept_lookup(None, dce=self.connect(self.epm_port))
        bindings = {epm.PrintStringBinding(e["tower"]["Floors"]) for e in entries}
        self.assertIn(f"ncacn_ip_tcp:{ADDRESS}[{self.port}]", bindings)
        self.assertEqual(epm.hept_map(ADDRESS, uuidtup_to_bin(DORPC), protocol="ncacn_ip_tcp",
                                      dce=self.connect(self.epm_port)),
                         f"ncacn_ip_tcp:{ADDRESS}[{self.port}]")

    def test_refusals_are_logged_with_peer_and_reason(self):
        with self.assertRaises(rpcrt.DCERPCException) as refused:
            self.call(self.connect(self.port, DORPC, password="wrong"), "a", "b")
        self.assertIn("access_denied", str(refused.exception).lower())
        # Kerberos, which this server has no keytab for.
        with self.assertRaises(rpcrt.DCERPCException):
            self.connect(self.port, DORPC, CarryingNtlm(rpcrt.RPC_C_AUTHN_GSS_KERBEROS))
        with self.assertRaisesRegex(rpcrt.DCERPCException, "abstract_syntax_not_supported"):
            self.connect(self.epm_port, DORPC)
        bound = self.connect(self.port, DORPC)
        with self.assertRaises(Exception):
            bound.bind(uuidtup_to_bin(DORPC))
        for line in (r"authentication failed from {}: .*wrong password",
                     r"presentation contexts refused from {}: d1c2c07a-.* v1\.0 is not served",
                     r"bind refused from {}: authentication type 16: .*keytab",
                     r"bind refused from {}: a second bind on one connection"):
            self.assertRegex(self.server.log(), line.format(r"127\.0\.0\.\d+:\d+"))

    def test_rpcclient_epmlookup_sealed(self):
        for auth in ("spnego", "ntlm"):
            with self.subTest(auth=auth):
                done = subprocess.run(
                    ["rpcclient", "-s", self.smb_conf, "--use-kerberos=off",
                     "-U", f"{DOMAIN}\\{USER}%{self.password}",
                     f"ncacn_ip_tcp:{ADDRESS}[{self.epm_port},seal,{auth}]", "-c", "epmlookup"],
                    capture_output=True, text=True, timeout=60)
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
                self.assertIn(DORPC[0], done.stdout)
                self.assertIn("Zelqa DoRpc", done.stdout)


if __name__ == "__main__":
    unittest.main()
