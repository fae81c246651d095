"""Finding, loading and calling the shared library through its four exports."""

import ctypes
import ctypes.util
import os
import threading

from .errors import ZelqaRpcError
from .text import CharPtr, from_utf16, to_utf16, wipe

LIBRARY_ENV = "ZELQA_RPC_LIBRARY"
_NAME = "ZelqaRpcClientDll"

# A library once loaded stays loaded for the life of the process, as hosts keep it: its
# process-wide objects (the connection registry, the logger) outlive any one Connection.
_loaded = {}
_loaded_lock = threading.Lock()


class Library:
    """The four exports of one loaded library, with results and errors as Python values."""

    def __init__(self, cdll, path):
        self.path = path
        self._connect = _prototype(cdll.RpcConnect, [CharPtr, ctypes.c_uint32] + [CharPtr] * 3, 2)
        self._call = _prototype(cdll.DoRpcCall, [CharPtr] * 3, 2)
        self._disconnect = _prototype(cdll.RpcDisconnect, [CharPtr], 1)
        self._free = cdll.LibStrFree
        self._free.argtypes = [CharPtr]
        self._free.restype = None

    def connect(self, host, port, user, password, service):
        """Opens a connection; returns its identifier."""
        if isinstance(port, bool) or not isinstance(port, int):
            raise TypeError(f"port must be int, not {type(port).__name__}")
        if not 0 <= port <= 0xFFFF:
            raise ValueError(f"port {port} is not a TCP port (0 asks the endpoint mapper)")
        secret = to_utf16(password, "password")
        try:
            args = (to_utf16(host, "host"), port, to_utf16(user, "user"), secret,
                    to_utf16(service, "service"))
            return self._invoke(self._connect, "RpcConnect", args)
        finally:
            wipe(secret)

    def call(self, connection_id, request1, request2):
        """Calls DoRpc over the connection; returns the answer."""
        args = (to_utf16(connection_id, "connection_id"), to_utf16(request1, "request1"),
                to_utf16(request2, "request2"))
        return self._invoke(self._call, "DoRpcCall", args)

    def disconnect(self, connection_id):
        """Closes the connection; an unknown identifier is not an error."""
        args = (to_utf16(connection_id, "connection_id"),)
        self._invoke(self._disconnect, "RpcDisconnect", args, returns_text=False)

    def _invoke(self, function, name, args, returns_text=True):
        # Every block the library hands back is released here, whichever way the call went
        # and even if decoding it fails; an out-parameter the export left alone stays null.
        result = CharPtr()
        error = CharPtr()
        outs = (ctypes.byref(result),) if returns_text else ()
        hresult = function(*args, *outs, ctypes.byref(error))
        try:
            if hresult == 0:
                return from_utf16(result) if result else ""
            text = from_utf16(error) if error else f"{name} failed and gave no error text"
            raise ZelqaRpcError(text, hresult & 0xFFFFFFFF, name)
        finally:
            if result:
                self._free(result)
            if error:
                self._free(error)


def _prototype(function, inputs, outs):
    function.argtypes = inputs + [ctypes.POINTER(CharPtr)] * outs
    function.restype = ctypes.c_int32
    return function


def _installed_location():
    try:
        from ._installed import LIBRARY
    except ImportError:  # the package as it stands in the source tree
        return None
    return os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), LIBRARY))


def _candidates(path):
    if path:
        return [os.fspath(path)]
    if os.environ.get(LIBRARY_ENV):
        return [os.environ[LIBRARY_ENV]]
    result = [p for p in (_installed_location(), ctypes.util.find_library(_NAME)) if p]
    return result or [f"lib{_NAME}.so"]


def load_library(path=None):
    """Loads the client library and returns it, once per path for the life of the process.

    Looks at `path` when given, else at the file named by ZELQA_RPC_LIBRARY, else at the
    installed library beside this package and then where the loader would find it.
    Raises OSError naming every place tried.
    """
    if isinstance(path, Library):
        return path
    failures = []
    for candidate in _candidates(path):
        with _loaded_lock:
            library = _loaded.get(candidate)
            if library is not None:
                return library
            if os.sep in candidate and not os.path.exists(candidate):
                failures.append(f"{candidate}: no such file")
                continue
            try:
                library = Library(ctypes.CDLL(candidate), candidate)
            except (OSError, AttributeError) as e:
                failures.append(f"{candidate}: {e}")
                continue
            _loaded[candidate] = library
            return library
    raise OSError("cannot load the Zelqa RPC client library:\n  " + "\n  ".join(failures))
