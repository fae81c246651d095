"""A connection to a DoRpc server, closed by close(), by leaving a with block, or when the
object is collected."""

import weakref

from .library import load_library


class Connection:
    """An open connection to a DoRpc server.

    Connects at once: to `host` on `port` (0 asks the host's endpoint mapper), as `user`
    ("DOMAIN\\user", "user@domain" or "user") with `password`, or as the current user when
    `user` is empty (a Kerberos ticket cache, or the first account of NTLM_USER_FILE). The
    service principal is service + "/" + host. The password is not kept. `library` is a path
    to the shared library (see load_library). Raises ZelqaRpcError with the library's text.
    """

    def __init__(self, host, port=0, user="", password="", service="zelqa", *, library=None):
        self._library = load_library(library)
        self.host = host
        self.port = port
        self.user = user
        self.service = service
        self.id = self._library.connect(host, port, user, password, service)
        # The registry entry is the library's, so it is released even if close() is never
        # called; errors are not raised from a collector.
        self._finalizer = weakref.finalize(self, _disconnect_quietly, self._library, self.id)

    def call(self, request1, request2):
        """Calls DoRpc with the two requests; returns the server's answer.

        Safe to use from several threads at once. After close() it raises ZelqaRpcError
        ("... No such connection: {id}").
        """
        return self._library.call(self.id, request1, request2)

    def close(self):
        """Closes the connection; closing again does nothing."""
        if self._finalizer.detach() is not None:
            self._library.disconnect(self.id)

    @property
    def closed(self):
        return not self._finalizer.alive

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        self.close()

    def __repr__(self):
        state = "closed" if self.closed else "open"
        return f"<zelqa_rpc.Connection {self.id} to {self.host}:{self.port} as {self.user!r}, {state}>"


def _disconnect_quietly(library, connection_id):
    try:
        library.disconnect(connection_id)
    except Exception:  # noqa: BLE001 - nothing can report it at collection or exit
        pass
