#!/usr/bin/env python3
"""Scripted HTTP(S) server for the HTTP client's tests, on loopback.

Each request chooses its own reply through its URL, so a test needs no control
channel (see /reply below). Every connection is closed after one reply: replies
that the server frames itself carry "Connection: close". Standard library only.

  /reply?status=&h=&body=|bodyhex=|bodygen=&mode=&...   the reply the query describes
  /echo                   200, the body is the request's bytes exactly as received
  /redirect?to=URL&code=302
  /chain?n=K[&code=C]     redirects to /chain?n=K-1 until 0, which answers "end"
  /loop                   redirects to itself
  /auth?user=U&pass=P     401 unless the request carries these Basic credentials
  /__requests[?clear=1&last=N&format=json|raw]   what the server received

Query values are percent-decoded byte for byte (ISO-8859-1), with "+" as a blank.
"""

import argparse
import base64
import binascii
import collections
import http
import json
import os
import select
import signal
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse

HEAD_LIMIT = 64 * 1024
BODY_LIMIT = 128 * 1024 * 1024
RECORD_COUNT = 100
RECORD_BODY_LIMIT = 1024 * 1024
IO_TIMEOUT = 60.0
MAX_CONNECTIONS = 256
# Time a closing connection waits for the client's remaining bytes; closing with unread input
# would make the kernel answer with a reset that can destroy the reply in flight.
DRAIN_SECONDS = 2.0
# Time between the partial body and the reset, so that the client has read that part.
RESET_HOLD_SECONDS = 0.2
PIECE = 64 * 1024

# bodygen=N sends the first N bytes of this 64-byte line repeated: no zero byte, no markup.
GEN_PATTERN = b"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-\n"
GEN_BLOCK = GEN_PATTERN * (PIECE // len(GEN_PATTERN))

MODES = ("normal", "chunked", "cut", "reset", "stall", "trickle", "close")
REPLY_PARAMS = {"status", "h", "body", "bodyhex", "bodygen", "mode", "stall", "interval",
                "delay", "chunk", "auto"}


class BadRequest(Exception):
    """A request the server cannot parse; answered with 400 and the reason."""

    def __init__(self, reason, code=400):
        super().__init__(reason)
        self.code = code


class ClientGone(Exception):
    """The client closed the connection before the request was complete."""


def latin1(data):
    return data.decode("latin-1")


def to_bytes(text):
    return text.encode("latin-1")


class Connection:
    """One client connection with a read buffer."""

    def __init__(self, sock, peer, tls):
        self.sock = sock
        self.peer = peer
        self.tls = tls
        self.buf = bytearray()

    def _fill(self):
        data = self.sock.recv(PIECE)
        if not data:
            raise ClientGone()
        self.buf += data

    def read_head(self):
        """The request line and header lines up to and including the empty line."""
        scanned = 0
        while True:
            ends = [(i, n) for i, n in ((self.buf.find(b"\r\n\r\n", scanned), 4),
                                        (self.buf.find(b"\n\n", scanned), 2)) if i >= 0]
            if ends:
                i, n = min(ends)
                head = bytes(self.buf[:i + n])
                del self.buf[:i + n]
                return head
            if len(self.buf) > HEAD_LIMIT:
                raise BadRequest("request head longer than %d bytes" % HEAD_LIMIT, 431)
            scanned = max(0, len(self.buf) - 3)
            try:
                self._fill()
            except ClientGone:
                if self.buf:
                    raise BadRequest("connection closed inside the request head") from None
                raise

    def read_exact(self, n):
        while len(self.buf) < n:
            self._fill()
        data = bytes(self.buf[:n])
        del self.buf[:n]
        return data

    def read_line(self):
        while True:
            i = self.buf.find(b"\n")
            if i >= 0:
                return self.read_exact(i + 1)
            if len(self.buf) > HEAD_LIMIT:
                raise BadRequest("chunk line too long")
            self._fill()

    def send(self, data):
        self.sock.sendall(data)


class Request:
    def __init__(self, raw_head, peer, tls):
        self.raw_head = raw_head
        self.raw_body = b""
        self.body = b""
        self.peer = peer
        self.tls = tls
        lines = raw_head.split(b"\n")
        lines = [line[:-1] if line.endswith(b"\r") else line for line in lines]
        while lines and lines[-1] == b"":
            lines.pop()
        if not lines:
            raise BadRequest("empty request line")
        # Split at the first and the last blank, so a target with raw blanks still parses.
        first = latin1(lines[0])
        left, _, rest = first.partition(" ")
        middle, _, version = rest.rpartition(" ")
        if not left or not middle or not version.startswith("HTTP/"):
            raise BadRequest("malformed request line")
        self.method, self.target, self.version = left, middle, version
        self.headers = []
        for line in lines[1:]:
            text = latin1(line)
            if text[:1] in (" ", "\t") and self.headers:
                name, value = self.headers[-1]
                self.headers[-1] = (name, value + " " + text.strip())
                continue
            name, _, value = text.partition(":")
            self.headers.append((name.strip(), value.strip()))
        target = self.target
        if "://" in target.split("?", 1)[0]:  # absolute form, as sent to a proxy
            parts = urllib.parse.urlsplit(target)
            target = (parts.path or "/") + ("?" + parts.query if parts.query else "")
        self.path, _, self.query = target.partition("?")
        self.query = self.query.split("#", 1)[0]

    def header(self, name):
        """The values of the header NAME (any letter case), in order."""
        name = name.lower()
        return [v for n, v in self.headers if n.lower() == name]

    def params(self):
        try:
            return urllib.parse.parse_qsl(self.query, keep_blank_values=True,
                                          encoding="latin-1", errors="strict")
        except ValueError as e:
            raise BadRequest("bad query: %s" % e) from None

    def raw(self):
        return self.raw_head + self.raw_body


def read_body(conn, req, send_continue):
    """Reads the request body; keeps its bytes as received and decoded."""
    encodings = ",".join(req.header("Transfer-Encoding")).lower()
    lengths = {v.strip() for v in req.header("Content-Length")}
    chunked = "chunked" in encodings
    if not chunked and not lengths:
        return
    if not chunked:
        if len(lengths) != 1 or not next(iter(lengths)).isdigit():
            raise BadRequest("conflicting or invalid Content-Length")
        length = int(next(iter(lengths)))
        if length > BODY_LIMIT:
            raise BadRequest("request body larger than %d bytes" % BODY_LIMIT, 413)
    expect = ",".join(req.header("Expect")).lower()
    if send_continue and "100-continue" in expect and req.version == "HTTP/1.1":
        conn.send(b"HTTP/1.1 100 Continue\r\n\r\n")
    if not chunked:
        req.body = req.raw_body = conn.read_exact(length)
        return
    raw = bytearray()
    body = bytearray()
    while True:
        line = conn.read_line()
        raw += line
        size_text = latin1(line).split(";", 1)[0].strip()
        try:
            size = int(size_text, 16)
        except ValueError:
            raise BadRequest("bad chunk size line") from None
        if size == 0:
            break
        if len(body) + size > BODY_LIMIT:
            raise BadRequest("request body larger than %d bytes" % BODY_LIMIT, 413)
        data = conn.read_exact(size + 2)
        raw += data
        body += data[:size]
    while True:  # trailer lines up to the empty line
        line = conn.read_line()
        raw += line
        if line in (b"\r\n", b"\n"):
            break
    req.raw_body = bytes(raw)
    req.body = bytes(body)


class Recorder:
    """The last RECORD_COUNT requests, oldest first."""

    def __init__(self):
        self.lock = threading.Lock()
        self.items = collections.deque(maxlen=RECORD_COUNT)
        self.seq = 0

    def add(self, req):
        hosts = req.header("Host")
        with self.lock:
            self.seq += 1
            self.items.append({
                "seq": self.seq,
                "time": time.time(),
                "client": "%s:%d" % req.peer[:2],
                "tls": req.tls,
                "method": req.method,
                "target": req.target,
                "version": req.version,
                "headers": [[n, v] for n, v in req.headers],
                "host": hosts[0] if hosts else None,
                "body": base64.b64encode(req.body[:RECORD_BODY_LIMIT]).decode("ascii"),
                "body_length": len(req.body),
                "body_truncated": len(req.body) > RECORD_BODY_LIMIT,
                "_raw": req.raw_head + req.raw_body[:RECORD_BODY_LIMIT],
            })

    def take(self, last, clear):
        with self.lock:
            items = list(self.items)
            if clear:
                self.items.clear()
        return items[-last:] if last else items


def reason_of(code):
    try:
        return http.HTTPStatus(code).phrase
    except ValueError:
        return "Status"


def simple_reply(code, body=b"", headers=(), content_type="text/plain"):
    """A complete reply that the server frames itself."""
    lines = ["HTTP/1.1 %d %s" % (code, reason_of(code))]
    lines += list(headers)
    lines += ["Content-Type: " + content_type, "Content-Length: %d" % len(body),
              "Connection: close"]
    return to_bytes("\r\n".join(lines) + "\r\n\r\n"), body


class Body:
    """A reply body: given bytes or generated pattern, handed out in pieces."""

    def __init__(self, data=b"", generated=None):
        self.data = data
        self.length = generated if generated is not None else len(data)
        self.generated = generated is not None

    def pieces(self, start, end, size=PIECE):
        """The bytes from START to END in pieces of SIZE bytes (the last one shorter)."""
        pos = start
        while pos < end:
            n = min(size, end - pos)
            if self.generated:
                yield generated_bytes(pos, n)
            else:
                yield memoryview(self.data)[pos:pos + n]
            pos += n


def generated_bytes(pos, n):
    off = pos % len(GEN_BLOCK)
    if off + n <= len(GEN_BLOCK):
        return memoryview(GEN_BLOCK)[off:off + n]
    parts = [GEN_BLOCK[off:]]
    n -= len(GEN_BLOCK) - off
    parts += [GEN_BLOCK] * (n // len(GEN_BLOCK))
    parts.append(GEN_BLOCK[:n % len(GEN_BLOCK)])
    return b"".join(parts)


def decode_base64(text):
    # "+" of standard base64 arrives as a blank when the test did not percent-encode it.
    text = text.strip().replace(" ", "+").replace("-", "+").replace("_", "/").rstrip("=")
    if len(text) % 4 == 1:
        raise BadRequest("body= is not base64")
    try:
        return base64.b64decode(text + "=" * (-len(text) % 4), validate=True)
    except binascii.Error:
        raise BadRequest("body= is not base64") from None


def number(params, name, default, kind=float, minimum=0):
    values = [v for k, v in params if k == name]
    if not values:
        return default
    try:
        value = kind(values[-1])
    except ValueError:
        raise BadRequest("%s= is not a number" % name) from None
    if value < minimum:
        raise BadRequest("%s= below %s" % (name, minimum))
    return value


def header_name(line):
    return line.split(":", 1)[0].strip().lower()


class Handler:
    """Serves one connection: one request, one reply, then close."""

    def __init__(self, server, conn):
        self.server = server
        self.conn = conn
        self.req = None
        self.outcome = "-"
        self.abort = False  # close with a reset instead of an orderly close
        self.hold = None  # stall: hold the connection this long without answering

    # -- replies --------------------------------------------------------------------------

    def send_simple(self, code, body=b"", headers=(), content_type="text/plain"):
        head, body = simple_reply(code, body, headers, content_type)
        if self.req is not None and self.req.method == "HEAD":
            body = b""
        self.conn.send(head + body)
        self.outcome = str(code)

    def route(self, req):
        path = req.path
        if path == "/reply":
            return self.reply(req)
        if path == "/echo":
            return self.send_simple(200, req.raw())
        if path == "/redirect":
            params = dict(req.params())
            if "to" not in params:
                raise BadRequest("/redirect needs to=")
            code = number(req.params(), "code", 302, int, 100)
            return self.send_simple(code, b"redirect\n", ["Location: " + params["to"]])
        if path == "/chain":
            n = number(req.params(), "n", 0, int)
            code = number(req.params(), "code", None, int, 100)
            if n == 0:
                return self.send_simple(200, b"end")
            location = "/chain?n=%d" % (n - 1) + ("&code=%d" % code if code else "")
            return self.send_simple(code or 302, b"redirect\n", ["Location: " + location])
        if path == "/loop":
            return self.send_simple(302, b"redirect\n", ["Location: /loop"])
        if path == "/auth":
            return self.auth(req)
        if path == "/__requests":
            return self.requests(req)
        return self.send_simple(404, b"no such path: " + to_bytes(path) + b"\n")

    def auth(self, req):
        params = dict(req.params())
        expected = to_bytes(params.get("user", "user") + ":" + params.get("pass", "pass"))
        for value in req.header("Authorization"):
            scheme, _, token = value.partition(" ")
            if scheme.lower() != "basic":
                continue
            try:
                if base64.b64decode(token.strip(), validate=True) == expected:
                    return self.send_simple(200, req.raw())
            except binascii.Error:
                pass
        self.send_simple(401, b"401 unauthorized\n", ['WWW-Authenticate: Basic realm="t"'])

    def requests(self, req):
        params = req.params()
        clear = dict(params).get("clear", "0") not in ("", "0")
        last = number(params, "last", 0, int)
        fmt = dict(params).get("format", "json")
        items = self.server.recorder.take(last, clear)
        if fmt == "raw":
            return self.send_simple(200, b"".join(item["_raw"] for item in items))
        if fmt != "json":
            raise BadRequest("format= is json or raw")
        public = [{k: v for k, v in item.items() if k != "_raw"} for item in items]
        body = json.dumps(public, ensure_ascii=True).encode("ascii")
        self.send_simple(200, body, content_type="application/json")

    def reply(self, req):
        params = req.params()
        unknown = sorted({k for k, _ in params} - REPLY_PARAMS)
        if unknown:
            raise BadRequest("unknown parameter(s): " + ", ".join(unknown))
        values = collections.defaultdict(list)
        for k, v in params:
            values[k].append(v)
        status = values["status"][-1] if values["status"] else "HTTP/1.1 200 OK"
        lines = list(values["h"])
        mode = values["mode"][-1] if values["mode"] else "normal"
        if mode not in MODES:
            raise BadRequest("mode= is one of " + ", ".join(MODES))
        sources = [k for k in ("body", "bodyhex", "bodygen") if values[k]]
        if len(sources) > 1:
            raise BadRequest("give only one of body=, bodyhex=, bodygen=")
        if values["body"]:
            body = Body(decode_base64(values["body"][-1]))
        elif values["bodyhex"]:
            try:
                body = Body(bytes.fromhex(values["bodyhex"][-1]))
            except ValueError:
                raise BadRequest("bodyhex= is not hex") from None
        else:
            body = Body(generated=number(params, "bodygen", 0, int))
        auto = (values["auto"][-1] if values["auto"] else "1") != "0"
        delay = number(params, "delay", 0.0)
        interval = number(params, "interval", 1.0)
        stall = number(params, "stall", 60.0)
        chunk = number(params, "chunk", 0, int, 1) if values["chunk"] else 0

        if mode == "stall":
            self.hold = stall
            self.outcome = "stall"
            return

        names = {header_name(line) for line in lines}
        framed = "content-length" in names or "transfer-encoding" in names
        if auto:
            if mode in ("normal", "trickle") and not framed:
                lines.append("Content-Length: %d" % body.length)
            elif mode in ("cut", "reset") and "content-length" not in names:
                lines.append("Content-Length: %d" % body.length)
            elif mode == "chunked" and "transfer-encoding" not in names:
                lines.append("Transfer-Encoding: chunked")
            if "connection" not in names:
                lines.append("Connection: close")
        head = to_bytes("\r\n".join([status] + lines) + "\r\n\r\n")
        end = 0 if req.method == "HEAD" else body.length
        if mode in ("cut", "reset"):
            end //= 2

        if delay:
            time.sleep(delay)
        self.outcome = mode
        if mode == "trickle":
            return self.trickle(head, body, end, interval)
        if mode == "chunked":
            size = chunk or max(1, min(PIECE, -(-body.length // 3)))
            self.conn.send(head)
            for piece in body.pieces(0, end, size):
                self.conn.send(b"%X\r\n" % len(piece) + piece + b"\r\n")
            if req.method != "HEAD":
                self.conn.send(b"0\r\n\r\n")
            return
        first = True
        for piece in body.pieces(0, end):
            self.conn.send(head + piece if first else piece)
            first = False
        if first:
            self.conn.send(head)
        if mode == "reset":
            time.sleep(RESET_HOLD_SECONDS)
            self.abort = True

    def trickle(self, head, body, end, interval):
        def stream():
            yield memoryview(head)
            yield from body.pieces(0, end)

        first = True
        for piece in stream():
            for i in range(len(piece)):
                if not first:
                    time.sleep(interval)
                self.conn.send(piece[i:i + 1])
                first = False

    # -- connection -----------------------------------------------------------------------

    def run(self):
        conn = self.conn
        try:
            try:
                if conn.tls:
                    conn.sock = self.server.tls_context.wrap_socket(conn.sock, server_side=True)
                raw_head = conn.read_head()
                self.req = req = Request(raw_head, conn.peer, conn.tls)
                read_body(conn, req, send_continue=not self.stalls(req))
                if req.path != "/__requests":
                    self.server.recorder.add(req)
                self.serve(req)
            except BadRequest as e:
                self.req = None
                self.send_simple(e.code, b"scripted server: " + to_bytes(str(e)) + b"\n")
            if self.hold is not None:
                self.stall(self.hold)
        except ClientGone:
            self.outcome = "client closed"
        except (OSError, ssl.SSLError, ValueError) as e:
            self.outcome = "%s: %s" % (type(e).__name__, e)
        finally:
            self.close()
            self.server.log(self)

    @staticmethod
    def stalls(req):
        try:
            return req.path == "/reply" and ("mode", "stall") in req.params()
        except BadRequest:
            return False

    def serve(self, req):
        try:
            self.route(req)
        except BadRequest as e:
            self.send_simple(e.code, b"scripted server: " + to_bytes(str(e)) + b"\n")

    def stall(self, seconds):
        """Holds the connection without answering until SECONDS pass or the client leaves."""
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return
            readable, _, _ = select.select([self.conn.sock], [], [], min(left, 1.0))
            if readable and not self.conn.sock.recv(PIECE):
                self.outcome = "stall, client closed"
                return

    def close(self):
        sock = self.conn.sock
        try:
            if self.abort:
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                sock.close()
                return
            sock.settimeout(DRAIN_SECONDS)
            if isinstance(sock, ssl.SSLSocket):
                try:
                    sock = sock.unwrap()
                except (OSError, ValueError):
                    pass
            sock.shutdown(socket.SHUT_WR)
            deadline = time.monotonic() + DRAIN_SECONDS
            while time.monotonic() < deadline:
                sock.settimeout(max(0.01, deadline - time.monotonic()))
                if not sock.recv(PIECE):
                    break
        except (OSError, ValueError):
            pass
        finally:
            try:
                sock.close()
            except OSError:
                pass


class Server:
    def __init__(self, args, handler_class=Handler):
        self.args = args
        self.handler_class = handler_class
        self.recorder = Recorder()
        self.tls_context = None
        if args.tls_cert:
            self.tls_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self.tls_context.load_cert_chain(args.tls_cert, args.tls_key)
        self.slots = threading.BoundedSemaphore(MAX_CONNECTIONS)
        self.log_lock = threading.Lock()
        self.stopping = False

    def log(self, handler):
        if self.args.quiet:
            return
        req = handler.req
        what = "%s %s" % (req.method, req.target[:200]) if req else "-"
        with self.log_lock:
            sys.stderr.write("%s %s:%d %s -> %s\n" % (time.strftime("%H:%M:%S"),
                                                      handler.conn.peer[0],
                                                      handler.conn.peer[1], what,
                                                      handler.outcome))
            sys.stderr.flush()

    def connection(self, sock, peer):
        try:
            sock.settimeout(IO_TIMEOUT)
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            self.handler_class(self, Connection(sock, peer, self.tls_context is not None)).run()
        finally:
            self.slots.release()

    def serve(self):
        args = self.args
        deadline = time.monotonic() + args.max_seconds
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind((args.bind, args.port))
        listener.listen(128)
        listener.settimeout(0.5)
        port = listener.getsockname()[1]
        if args.pidfile:
            write_file(args.pidfile, "%d\n" % os.getpid())
        if args.ready_file:
            write_file(args.ready_file, "%d\n" % port)
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(sig, lambda *_: setattr(self, "stopping", True))
        while not self.stopping and time.monotonic() < deadline:
            try:
                sock, peer = listener.accept()
            except socket.timeout:
                continue
            except OSError:  # out of descriptors, say: let connections finish
                time.sleep(0.1)
                continue
            if not self.slots.acquire(blocking=False):
                sock.close()
                continue
            threading.Thread(target=self.connection, args=(sock, peer), daemon=True).start()
        listener.close()
        if args.ready_file:
            remove_own_file(args.ready_file, str(port))
        if args.pidfile:
            remove_own_file(args.pidfile, str(os.getpid()))


def write_file(name, text):
    tmp = "%s.%d.tmp" % (name, os.getpid())
    with open(tmp, "w") as f:
        f.write(text)
    os.replace(tmp, name)


def remove_own_file(name, content):
    """Removes NAME unless a later instance has written its own content there."""
    try:
        with open(name) as f:
            if f.read().strip() == content:
                os.remove(name)
    except OSError:
        pass


def parse_args(argv, description, default_port):
    p = argparse.ArgumentParser(description=description)
    p.add_argument("--port", type=int, default=default_port, help="0 picks a free port")
    p.add_argument("--bind", default="127.0.0.1")
    p.add_argument("--tls-cert", help="PEM certificate; with --tls-key serves HTTPS")
    p.add_argument("--tls-key", help="PEM private key")
    p.add_argument("--pidfile")
    p.add_argument("--ready-file", help="written with the port once the server listens")
    p.add_argument("--max-seconds", type=float, default=3600, help="stop after this long")
    p.add_argument("--quiet", action="store_true", help="no log line per connection")
    args = p.parse_args(argv)
    if bool(args.tls_cert) != bool(args.tls_key):
        p.error("--tls-cert and --tls-key go together")
    return args


def main(argv=None, handler_class=Handler, description=__doc__.splitlines()[0],
         default_port=18080):
    args = parse_args(argv, description, default_port)
    Server(args, handler_class).serve()
    sys.stderr.flush()
    # Connection threads may still block in the network; they end with the process.
    os._exit(0)


if __name__ == "__main__":
    main()
