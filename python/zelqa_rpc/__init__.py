"""Calls the remote procedure DoRpc through the Zelqa RPC client library.

    import zelqa_rpc

    with zelqa_rpc.Connection("server.example", user="EXAMPLE\\alice", password=pw) as conn:
        answer = conn.call("request one", "request two")

A failure raises ZelqaRpcError, whose message is the library's error text. The shared
library is found as load_library() describes.
"""

from .connection import Connection
from .errors import E_FAIL, ZelqaRpcError
from .library import load_library

__all__ = ["Connection", "ZelqaRpcError", "E_FAIL", "load_library"]
