"""A reference server process on loopback with one NTLM account, for the whole session.

ctest names the server program and the library in ZELQA_RPC_SERVER and ZELQA_RPC_LIBRARY.
"""

import os
import secrets

import pytest

import zelqa_rpc
from server_process import ServerProcess, write_registry

USER = "ZELQA\\alice"


class Server:
    def __init__(self, port, password, accounts):
        self.host = "127.0.0.1"
        self.port = port
        self.user = USER
        self.password = password
        self.accounts = accounts  # the server's account file, also a client's NTLM_USER_FILE

    def connect(self, **kwargs):
        return zelqa_rpc.Connection(self.host, self.port, self.user, self.password, **kwargs)


@pytest.fixture(scope="session", autouse=True)
def registry(tmp_path_factory):
    """Short retry waits, read once when the library first needs its options."""
    path = write_registry(tmp_path_factory.mktemp("registry") / "registry.reg")
    os.environ["ZELQA_REGISTRY_FILE"] = path


@pytest.fixture(scope="session")
def server(tmp_path_factory):
    folder = tmp_path_factory.mktemp("server")
    password = "Pw-" + secrets.token_urlsafe(12)
    accounts = folder / "accounts"
    accounts.write_text(f"ZELQA:alice:{password}\n")
    accounts.chmod(0o600)
    process = ServerProcess(str(folder / "err"), "--listen", "127.0.0.1:0", "--accounts",
                            str(accounts), "--no-epm")
    try:
        yield Server(process.port, password, accounts)
    finally:
        process.stop()


@pytest.fixture
def conn(server):
    with server.connect() as connection:
        yield connection
