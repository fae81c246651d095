"""The Python package over the real library and the reference server process."""

import gc
import os
import re
from concurrent.futures import ThreadPoolExecutor

import pytest

import zelqa_rpc
from server_process import free_port
from zelqa_rpc import E_FAIL, Connection, ZelqaRpcError


def test_call_returns_the_servers_answer_and_the_password_is_not_kept(conn, server):
    assert re.fullmatch(r"\{[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}\}", conn.id)
    assert conn.call("Hello, ", "world") == "Hello, world"
    assert conn.call("again", "") == "again"
    assert server.password not in repr(vars(conn)) + repr(conn)


@pytest.mark.parametrize(
    "request1, request2",
    [
        ("", ""),
        ("\U0001d11e clef, ", "\U0001f600 face"),  # surrogate pairs both ways
        ("caf\u00e9 \u4e2d\u6587", "\uffff"),
        ("\ud800 ", "\udc00"),  # lone surrogates are code units like any other
        ("x" * 200_000, "y"),  # an answer far longer than any one fragment
    ],
    ids=["empty", "non-BMP", "BMP", "lone-surrogates", "long"],
)
def test_text_round_trips(conn, request1, request2):
    assert conn.call(request1, request2) == request1 + request2


def test_empty_user_is_the_current_user(server, monkeypatch):
    monkeypatch.setenv("NTLM_USER_FILE", str(server.accounts))
    with Connection(server.host, server.port) as conn:
        assert conn.call("as ", "alice") == "as alice"


def test_wrong_password_raises_with_the_library_text(server):
    with pytest.raises(ZelqaRpcError) as failure:
        with Connection(server.host, server.port, server.user, "not-" + server.password) as c:
            c.call("a", "b")
    assert "Access is denied." in str(failure.value)
    assert failure.value.text == str(failure.value)
    assert failure.value.hresult == E_FAIL


def test_nothing_listening_raises():
    with pytest.raises(ZelqaRpcError, match="The RPC server is unavailable") as failure:
        with Connection("127.0.0.1", free_port(), "ZELQA\\alice", "pw") as c:
            c.call("a", "b")
    assert failure.value.function in ("RpcConnect", "DoRpcCall")


def test_with_block_closes_on_the_way_out_even_on_error_and_close_is_idempotent(server):
    with pytest.raises(KeyError):
        with server.connect() as conn:
            assert not conn.closed
            raise KeyError
    assert conn.closed
    conn.close()
    assert conn.closed
    with pytest.raises(ZelqaRpcError, match=re.escape(f"No such connection: {conn.id}")):
        conn.call("a", "b")


def test_an_abandoned_connection_is_closed_when_collected(server):
    conn = server.connect()
    library, connection_id = zelqa_rpc.load_library(), conn.id
    assert library.call(connection_id, "still ", "open") == "still open"
    del conn
    gc.collect()
    with pytest.raises(ZelqaRpcError, match="No such connection"):
        library.call(connection_id, "a", "b")


def test_bad_arguments_are_refused_before_the_library(conn, server):
    with pytest.raises(ValueError, match="request2 contains a NUL"):
        conn.call("a", "b\0c")  # would be cut short at the NUL on the other side
    with pytest.raises(TypeError, match="request1 must be str"):
        conn.call(b"bytes", "b")
    with pytest.raises(ValueError, match="not a TCP port"):
        Connection(server.host, 65536, server.user, server.password)
    assert conn.call("still ", "usable") == "still usable"


def test_calls_from_several_threads_share_one_connection(conn):
    def worker(n):
        return [conn.call(f"{n}:", str(i)) == f"{n}:{i}" for i in range(5)]

    with ThreadPoolExecutor(4) as pool:  # a worker's exception is raised here
        assert sum(pool.map(worker, range(4)), []) == [True] * 20


def test_library_lookup(monkeypatch, tmp_path):
    expected = os.environ["ZELQA_RPC_LIBRARY"]
    assert zelqa_rpc.load_library().path == expected
    assert zelqa_rpc.load_library(expected) is zelqa_rpc.load_library()
    missing = str(tmp_path / "libmissing.so")
    with pytest.raises(OSError, match=re.escape(missing)):
        zelqa_rpc.load_library(missing)
    not_a_library = tmp_path / "libZelqaRpcClientDll.so"
    not_a_library.write_text("not an ELF file")
    monkeypatch.setenv("ZELQA_RPC_LIBRARY", str(not_a_library))
    with pytest.raises(OSError, match="cannot load the Zelqa RPC client library"):
        Connection("127.0.0.1", 1)
