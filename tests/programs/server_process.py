"""zelqa-rpc-server (path from ZELQA_RPC_SERVER) as a child process of a test, and the registry
store that keeps the client's retries short."""
import os
import re
import signal
import socket
import subprocess
import time


def write_registry(path, **dwords):
    """A registry store at `path` with short client retries and `dwords` under the product key."""
    dwords = dict(RpcRetryCount=2, RpcRetryIntervalMs=10, **dwords)
    with open(path, "w", newline="\r\n") as f:
        f.write("Windows Registry Editor Version 5.00\n\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zelqa\\Zelqa Harbrix]\n")
        f.writelines(f'"{name}"=dword:{value:08x}\n' for name, value in dwords.items())
    return str(path)


def free_port(address="127.0.0.1"):
    with socket.socket() as s:
        s.bind((address, 0))
        return s.getsockname()[1]


class ServerProcess:
    """Started with `args`, its standard error going to `err_path`; ready once it has named its
    port and, unless told --no-epm, its endpoint mapper's. Stopped with SIGTERM."""

    def __init__(self, err_path, *args):
        self.err_path = err_path
        self.err = open(err_path, "w")
        self.proc = subprocess.Popen([os.environ["ZELQA_RPC_SERVER"], *args],
                                     stdout=subprocess.PIPE, stderr=self.err, text=True)
        self.port = None
        for line in self.proc.stdout:
            if m := re.match(r"listening on \S+ port (\d+)$", line.strip()):
                self.port = int(m.group(1))
            if line.startswith("endpoint mapper on port") or (self.port and "--no-epm" in args):
                break
        if self.port is None:
            self.stop()
            raise RuntimeError("server did not start: " + self.log())

    def log(self):
        with open(self.err_path, errors="replace") as f:
            return f.read()

    def call_lines(self):
        return [line for line in self.log().splitlines() if " call from " in line]

    def stop(self, timeout=10):
        """SIGTERM; returns the exit status and the seconds it took."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        start = time.monotonic()
        try:
            code = self.proc.wait(timeout)
        finally:
            if self.proc.poll() is None:
                self.proc.kill()
                self.proc.wait()
            self.proc.stdout.close()
            self.err.close()
        return code, time.monotonic() - start
