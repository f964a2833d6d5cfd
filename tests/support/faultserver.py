"""A scripted HTTP server that misbehaves on purpose, for the clients' fault tests.

It listens on 127.0.0.1 on an ephemeral port and answers each path with one behaviour from
BEHAVIOURS (path -> function); a path it does not know gets a 404. Every connection carries
one request and is closed after it. Every socket operation has a time-out and every wait
returns early when the server stops, so `with FaultServer() as server:` always ends:

    with FaultServer() as server:
        url = server.url("/trickle-10")

The bodies that a well-behaved client should end up with are in EXPECTED_BODY.
"""
import gzip
import os
import select
import socket
import struct
import subprocess
import tempfile
import threading
import time
import zlib

SOCKET_TIMEOUT = 5.0  # bounds every single send and receive
LONGEST_SILENCE = 120.0  # a silent behaviour gives up after this long
ENDLESS_LIMIT = 8 * 1024 * 1024  # bytes of an "endless" line sent before giving up
MAX_REQUEST_HEAD = 64 * 1024

PAYLOAD = b"".join(b"line %06d of the decoded body\r\n" % i for i in range(10000))
# Inflates to 64 MB of zeros from about 64 KB: the client must stream it, not hold it.
BOMB_SIZE = 64 * 1024 * 1024
TRICKLE_10 = b"0123456789"
TRICKLE_CLOSE = b"slow!"


def deflate_raw(data):
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    return packer.compress(data) + packer.flush()


def gzip_bomb():
    packer = zlib.compressobj(9, zlib.DEFLATED, 31)
    block = bytes(1024 * 1024)
    parts = [packer.compress(block) for _ in range(BOMB_SIZE // len(block))]
    return b"".join(parts) + packer.flush()



def run_bounded(command, limit, output="stderr", cwd=None):
    """Runs command, killed after limit seconds; returns (exit status, what it wrote to
    output ("stdout" or "stderr"), seconds, peak RSS in bytes)."""
    with tempfile.TemporaryFile() as captured:
        start = time.monotonic()
        streams = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        streams[output] = captured
        proc = subprocess.Popen(command, cwd=cwd, stdin=subprocess.DEVNULL, **streams)
        killer = threading.Timer(limit, proc.kill)
        killer.start()
        _, status, usage = os.wait4(proc.pid, 0)
        killer.cancel()
        proc.returncode = os.waitstatus_to_exitcode(status)
        seconds = time.monotonic() - start
        captured.seek(0)
        return proc.returncode, captured.read(), seconds, usage.ru_maxrss * 1024

class Connection:
    """One accepted connection, as a behaviour sees it."""

    def __init__(self, sock, server):
        self.sock = sock
        self.server = server

    def send(self, data):
        """Sends all of data; False when the peer is gone or the server stops."""
        if self.server.stopping.is_set():
            return False
        try:
            self.sock.sendall(data)
            return True
        except OSError:
            return False

    def answer(self, status, body=b"", headers=(), length=True):
        head = "HTTP/1.1 %s\r\n" % status
        for name, value in headers:
            head += "%s: %s\r\n" % (name, value)
        if length:
            head += "Content-Length: %d\r\n" % len(body)
        return self.send(head.encode() + b"\r\n" + body)

    def pause(self, seconds):
        """Waits; returns early (False) when the server stops or the peer closes."""
        end = time.monotonic() + seconds
        while not self.server.stopping.is_set():
            left = end - time.monotonic()
            if left <= 0:
                return True
            try:
                readable, _, _ = select.select([self.sock], [], [], min(left, 0.2))
                if readable and not self.sock.recv(4096, socket.MSG_PEEK):
                    return False
            except OSError:
                return False
        return False

    def trickle(self, data, interval=1.0):
        for i in range(len(data)):
            if i and not self.pause(interval):
                return False
            if not self.send(data[i:i + 1]):
                return False
        return True

    def reset(self):
        """Closes with SO_LINGER 0, so that the peer sees a reset rather than an end."""
        try:
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            pass
        self.sock.close()


def endless_header(c):
    if not c.send(b"HTTP/1.1 200 OK\r\nX-Endless: "):
        return
    piece = b"a" * 65536
    for _ in range(ENDLESS_LIMIT // len(piece)):
        if not c.send(piece):
            return


def many_headers(c):
    head = b"HTTP/1.1 200 OK\r\n" + b"".join(b"X-Header-%d: %d\r\n" % (i, i) for i in range(100000))
    c.send(head + b"Content-Length: 2\r\n\r\nok")


def chunked(c, body, headers=b""):
    c.send(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n" + headers + b"\r\n" + body)


def trickle_chunked(c):
    if c.send(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"):
        for i, byte in enumerate(TRICKLE_CLOSE):
            if (i and not c.pause(1.0)) or not c.send(b"1\r\n%c\r\n" % byte):
                return
        c.send(b"0\r\n\r\n")


def redirect_refused(c):
    c.answer("302 Found", headers=[("Location", "http://127.0.0.1:%d/ok" % c.server.refused_port)])


BEHAVIOURS = {
    "/ok": lambda c: c.answer("200 OK", PAYLOAD),
    "/reset-before-headers": lambda c: c.reset(),
    "/reset-after-headers": lambda c: (
        c.send(b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\npartial") and c.pause(0.3),
        c.reset()),
    "/silent": lambda c: c.pause(LONGEST_SILENCE),
    "/silent-after-headers": lambda c: (
        c.send(b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n") and c.pause(LONGEST_SILENCE)),
    # The whole answer ends by itself: closed after a body that has no length.
    "/trickle-close": lambda c: (c.send(b"HTTP/1.0 200 OK\r\n\r\n") and c.trickle(TRICKLE_CLOSE)),
    "/trickle-10": lambda c: (
        c.send(b"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n") and c.trickle(TRICKLE_10)),
    "/trickle-chunked": trickle_chunked,
    "/404": lambda c: c.answer("404 Not Found", b"not here"),
    "/416": lambda c: c.answer("416 Range Not Satisfiable", b"",
                               [("Content-Range", "bytes */%d" % len(PAYLOAD))]),
    "/206": lambda c: c.answer("206 Partial Content", PAYLOAD[:100],
                               [("Content-Range", "bytes 0-99/%d" % len(PAYLOAD))]),
    "/500": lambda c: c.answer("500 Internal Server Error", b"broken"),
    "/redirect-loop": lambda c: c.answer("302 Found", b"", [("Location", "/redirect-loop")]),
    "/redirect-refused": redirect_refused,
    "/bad-chunk-size": lambda c: chunked(c, b"5\r\nhello\r\nzz\r\nhello\r\n0\r\n\r\n"),
    "/negative-chunk-size": lambda c: chunked(c, b"-5\r\nhello\r\n0\r\n\r\n"),
    "/huge-chunk-size": lambda c: chunked(c, b"8000000000000000\r\n" + b"x" * 4096),
    "/chunk-cut-short": lambda c: chunked(c, b"100\r\nonly this much"),
    "/endless-header": endless_header,
    "/many-headers": many_headers,
    "/bad-status-line": lambda c: c.send(b"HTTP/1.1 OK\r\nContent-Length: 2\r\n\r\nok"),
    "/length-then-close": lambda c: c.send(
        b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + PAYLOAD[:100]),
    "/empty-answer": lambda c: None,
    "/gzip": lambda c: c.answer("200 OK", gzip.compress(PAYLOAD), [("Content-Encoding", "gzip")]),
    "/gzip-chunked": lambda c: chunked(
        c, b"".join(b"%x\r\n%s\r\n" % (len(p), p) for p in split(gzip.compress(PAYLOAD), 1000))
        + b"0\r\n\r\n", b"Content-Encoding: gzip\r\n"),
    "/deflate-zlib": lambda c: c.answer("200 OK", zlib.compress(PAYLOAD),
                                        [("Content-Encoding", "deflate")]),
    "/deflate-raw": lambda c: c.answer("200 OK", deflate_raw(PAYLOAD),
                                       [("Content-Encoding", "deflate")]),
    "/gzip-bomb": lambda c: c.answer("200 OK", c.server.bomb(), [("Content-Encoding", "gzip")]),
    "/gzip-corrupt": lambda c: c.answer("200 OK", b"\x1f\x8b\x08\x00garbage, not deflate data",
                                        [("Content-Encoding", "gzip")]),
    "/gzip-truncated": lambda c: c.answer("200 OK", gzip.compress(PAYLOAD)[:-20],
                                          [("Content-Encoding", "gzip")]),
    "/br": lambda c: c.answer("200 OK", b"\x0b\x02\x80hello\x03", [("Content-Encoding", "br")]),
    "/x-foo": lambda c: c.answer("200 OK", b"hello", [("Content-Encoding", "x-foo")]),
}

# What a client that gets the body right receives (the decoded bytes for the codings).
EXPECTED_BODY = {
    "/ok": PAYLOAD,
    "/trickle-close": TRICKLE_CLOSE,
    "/trickle-10": TRICKLE_10,
    "/trickle-chunked": TRICKLE_CLOSE,
    "/gzip": PAYLOAD,
    "/gzip-chunked": PAYLOAD,
    "/deflate-zlib": PAYLOAD,
    "/deflate-raw": PAYLOAD,
}


def split(data, size):
    return [data[i:i + size] for i in range(0, len(data), size)]


class FaultServer:
    def __init__(self):
        self.stopping = threading.Event()
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(64)
        self.listener.settimeout(0.2)
        self.port = self.listener.getsockname()[1]
        self.refused_port = unused_port()
        self.requests = []  # (path, raw request head) in arrival order
        self._lock = threading.Lock()
        self._threads = []
        self._sockets = set()
        self._bomb = None
        self._acceptor = threading.Thread(target=self._accept_loop, daemon=True)

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def bomb(self):
        with self._lock:
            if self._bomb is None:
                self._bomb = gzip_bomb()
            return self._bomb

    def __enter__(self):
        self.bomb()  # made before any client waits for it: it takes a second or two
        self._acceptor.start()
        return self

    def __exit__(self, *exc):
        self.stopping.set()
        self._acceptor.join(10)
        with self._lock:
            for sock in list(self._sockets):
                try:
                    sock.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
            threads = list(self._threads)
        for thread in threads:
            thread.join(10)
        self.listener.close()
        return False

    def _accept_loop(self):
        while not self.stopping.is_set():
            try:
                sock, _ = self.listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            sock.settimeout(SOCKET_TIMEOUT)
            thread = threading.Thread(target=self._serve, args=(sock,), daemon=True)
            with self._lock:
                self._sockets.add(sock)
                self._threads.append(thread)
            thread.start()

    def _serve(self, sock):
        try:
            head = read_request_head(sock)
            if head is None:
                return
            target = head.split(b" ", 2)[1].decode("latin-1") if head.count(b" ") >= 2 else "/"
            path = "/" + target.split("://", 1)[-1].split("/", 1)[-1] if "://" in target else target
            path = path.split("?", 1)[0]
            with self._lock:
                self.requests.append((path, head))
            behaviour = BEHAVIOURS.get(path, lambda c: c.answer("404 Not Found", b"no such case"))
            behaviour(Connection(sock, self))
        except OSError:
            pass
        finally:
            with self._lock:
                self._sockets.discard(sock)
            try:
                sock.close()
            except OSError:
                pass


def read_request_head(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        if len(data) > MAX_REQUEST_HEAD:
            return None
        piece = sock.recv(4096)
        if not piece:
            return None
        data += piece
    return data[:data.index(b"\r\n\r\n")]


def unused_port():
    """A port on 127.0.0.1 on which nothing listens (connections to it are refused)."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


if __name__ == "__main__":
    # Serves until interrupted, for trying a client by hand.
    with FaultServer() as server:
        print("fault server on", server.url("/"), flush=True)
        for path in BEHAVIOURS:
            print(" ", server.url(path))
        try:
            while True:
                time.sleep(1)
        except KeyboardInterrupt:
            pass
