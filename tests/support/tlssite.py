"""TLS for tests: a test authority made at run time with the openssl tool, certificates it
issues (valid, for another name, expired) and a self-signed one, an HTTP/1.1 server over TLS
or plain TCP on 127.0.0.1, a server that stalls in the handshake, and a CONNECT proxy."""
import http.server
import os
import socket
import socketserver
import ssl
import subprocess
import threading

CA_CONFIG = """[ca]
default_ca = test
[test]
database = {dir}/index.txt
new_certs_dir = {dir}
serial = {dir}/serial
default_md = sha256
default_days = 30
policy = anything
copy_extensions = copy
unique_subject = no
[anything]
commonName = supplied
"""
KEY_OPTIONS = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]


def _openssl(*args):
    subprocess.run(["openssl", *args], check=True, capture_output=True, timeout=60)


class TestAuthority:
    """A certificate authority in folder; ca_pem is what a client must trust."""

    def __init__(self, folder):
        self.folder = folder
        self.ca_pem = os.path.join(folder, "ca.pem")
        self.ca_key = os.path.join(folder, "ca.key")
        _openssl("req", "-x509", *KEY_OPTIONS, "-keyout", self.ca_key, "-out", self.ca_pem,
                 "-days", "30", "-subj", "/CN=lorvex test authority",
                 "-addext", "basicConstraints=critical,CA:TRUE",
                 "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        open(os.path.join(folder, "index.txt"), "w").close()
        with open(os.path.join(folder, "serial"), "w") as f:
            f.write("1000\n")
        self.config = os.path.join(folder, "ca.cnf")
        with open(self.config, "w") as f:
            f.write(CA_CONFIG.format(dir=folder))
        self.count = 0

    def issue(self, names, expired=False):
        """(certificate, key) for the DNS names and IP addresses in names."""
        self.count += 1
        base = os.path.join(self.folder, "server%d" % self.count)
        sans = ",".join(("IP:" if n[0].isdigit() else "DNS:") + n for n in names)
        _openssl("req", "-new", *KEY_OPTIONS, "-keyout", base + ".key", "-out", base + ".csr",
                 "-subj", "/CN=" + names[0], "-addext", "subjectAltName=" + sans,
                 "-addext", "extendedKeyUsage=serverAuth")
        dates = (["-startdate", "20200101000000Z", "-enddate", "20200201000000Z"]
                 if expired else [])
        _openssl("ca", "-batch", "-config", self.config, "-cert", self.ca_pem,
                 "-keyfile", self.ca_key, "-in", base + ".csr", "-out", base + ".pem",
                 "-notext", *dates)
        return base + ".pem", base + ".key"

    def self_signed(self, names):
        base = os.path.join(self.folder, "selfsigned")
        sans = ",".join(("IP:" if n[0].isdigit() else "DNS:") + n for n in names)
        _openssl("req", "-x509", *KEY_OPTIONS, "-keyout", base + ".key", "-out", base + ".pem",
                 "-days", "30", "-subj", "/CN=" + names[0], "-addext", "subjectAltName=" + sans)
        return base + ".pem", base + ".key"


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        server = self.server
        server.requests.append((self.requestline, dict(self.headers)))
        path = self.path
        if path.startswith("/redirect?") or path.startswith("/set-cookies?"):
            self.send_response(302)
            self.send_header("Location", path.split("?", 1)[1])
            if path.startswith("/set-cookies?"):
                self.send_header("Set-Cookie", "plain=1; Path=/")
                self.send_header("Set-Cookie", "secret=2; Path=/; Secure")
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif path == "/chunked":
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            for piece in (b"over ", b"tls ", b"in chunks"):
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
        elif path.startswith("/bytes/"):
            size = int(path[len("/bytes/"):])
            self.send_response(200)
            self.send_header("Content-Length", str(size))
            self.end_headers()
            block = bytes(range(256)) * 256
            while size > 0:
                self.wfile.write(block[:size])
                size -= len(block)
        else:
            if path == "/page.htm":
                body = b"<html><body>" + b"".join(
                    b'<img src="i%d.gif">' % i for i in range(3)) + b"</body></html>"
            else:
                body = ("%s cookie=%s" % (path, self.headers.get("Cookie", "-"))).encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)


class HttpServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    """HTTP/1.1 on 127.0.0.1, over TLS with (certificate, key) when given; counts connections
    and keeps every request line with its headers."""
    daemon_threads = True

    def __init__(self, certificate=None):
        super().__init__(("127.0.0.1", 0), _Handler)
        self.context = None
        if certificate:
            self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self.context.load_cert_chain(*certificate)
        self.connections = 0
        self.requests = []
        self.thread = threading.Thread(target=self.serve_forever, daemon=True)

    @property
    def port(self):
        return self.server_address[1]

    def url(self, path, host="localhost"):
        scheme = "https" if self.context else "http"
        return "%s://%s:%d%s" % (scheme, host, self.port, path)

    def finish_request(self, request, client_address):
        # In the connection's own thread, so a failed handshake stops nothing else.
        self.connections += 1
        request.settimeout(10)
        if self.context:
            try:
                request = self.context.wrap_socket(request, server_side=True)
            except (ssl.SSLError, OSError):
                return
        super().finish_request(request, client_address)

    def handle_error(self, request, client_address):
        pass

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.shutdown()
        self.server_close()


class StallServer:
    """Accepts connections and never says a word: a handshake against it waits forever."""

    def __init__(self):
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        self.held = []
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self._run, daemon=True)

    def _run(self):
        self.listener.settimeout(0.2)
        while not self.stop.is_set():
            try:
                self.held.append(self.listener.accept()[0])
            except socket.timeout:
                pass

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join(5)
        for s in self.held:
            s.close()
        self.listener.close()


class ConnectProxy(socketserver.ThreadingMixIn, socketserver.TCPServer):
    """A proxy that only tunnels: CONNECT host:port, then bytes both ways. Keeps the request
    lines it saw."""
    daemon_threads = True

    class Handler(socketserver.BaseRequestHandler):
        def handle(self):
            conn = self.request
            conn.settimeout(10)
            head = b""
            while b"\r\n\r\n" not in head:
                data = conn.recv(4096)
                if not data:
                    return
                head += data
            line = head.split(b"\r\n", 1)[0].decode("latin-1")
            self.server.lines.append(line)
            method, target = line.split(" ")[:2]
            if method != "CONNECT":
                conn.sendall(b"HTTP/1.1 405 Only tunnels\r\nContent-Length: 0\r\n\r\n")
                return
            host, port = target.rsplit(":", 1)
            upstream = socket.create_connection((host, int(port)), timeout=10)
            conn.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
            threading.Thread(target=self.pipe, args=(upstream, conn), daemon=True).start()
            self.pipe(conn, upstream)

        @staticmethod
        def pipe(source, target):
            try:
                while True:
                    data = source.recv(65536)
                    if not data:
                        break
                    target.sendall(data)
            except OSError:
                pass
            finally:
                for s in (source, target):
                    try:
                        s.shutdown(socket.SHUT_RDWR)
                    except OSError:
                        pass

    def __init__(self):
        super().__init__(("127.0.0.1", 0), ConnectProxy.Handler)
        self.lines = []
        self.thread = threading.Thread(target=self.serve_forever, daemon=True)

    @property
    def port(self):
        return self.server_address[1]

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.shutdown()
        self.server_close()
