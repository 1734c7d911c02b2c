#!/usr/bin/env python3
"""Loopback HTTP server for the tests.

Serves the files of a folder with a strong ETag and Last-Modified, honours
byte ranges and If-None-Match, logs every request as one JSON line, and plays
scripted faults per path. Control requests live under /_ctl/:

  PUT  /_ctl/file?path=/p      body = the file's bytes
  POST /_ctl/fault?path=/p     body = JSON fault object (see Fault)
  POST /_ctl/reset             forget faults, request counts and the log
  GET  /_ctl/log               the request log, one JSON object per line

With --tls-ca, a TLS listener TLS_OFFSET ports above the plain one serves the
same files, faults and log. Its certificates are made at start, signed by
that CA (made there first when missing). Each TLS connection is logged with
the path /_tls; faults posted for /_tls choose the certificate it presents:
{"certificate": name}, name one of CERTIFICATES. Such a fault and a reset
close the open TLS connections, so that a client that keeps its connections
meets the chosen certificate on its next request.
"""

import argparse
import email.utils
import hashlib
import json
import os
import re
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CHUNK = 64 * 1024
TLS_OFFSET = 363
TLS_PATH = "/_tls"
TLS_HOST = "localhost"
# good: for TLS_HOST, by the given CA; other_host: for another name, same CA;
# untrusted: for TLS_HOST, by a CA made here that nobody trusts; expired:
# like good, but its validity ended a day before it began.
CERTIFICATES = ("good", "other_host", "untrusted", "expired")


class Fault:
    """One scripted misbehaviour and the window of requests it applies to."""

    KEYS = {"close_after", "ignore_range", "etag", "no_etag", "no_last_modified",
            "last_modified", "status", "stall_headers", "stall_body", "stall_at",
            "no_content_length", "redirect", "rate", "range_shift", "flip_byte", "certificate", "extra",
            "retry_after", "skip", "times"}

    def __init__(self, settings):
        unknown = set(settings) - self.KEYS
        if unknown:
            raise ValueError("unknown fault keys: " + ", ".join(sorted(unknown)))
        if settings.get("certificate", "good") not in CERTIFICATES:
            raise ValueError("unknown certificate: %s" % settings["certificate"])
        self.settings = settings
        self.skip = int(settings.get("skip", 0))
        self.times = settings.get("times")
        self.seen = 0  # requests of its path since the fault was posted

    def applies(self, index):
        if index < self.skip:
            return False
        return self.times is None or index < self.skip + int(self.times)

    def get(self, key, default=None):
        return self.settings.get(key, default)


class State:
    def __init__(self, root):
        self.root = root
        self.lock = threading.Lock()
        self.faults = {}
        self.log = []
        self.tls_connections = set()

    def reset(self):
        with self.lock:
            self.faults.clear()
            self.log.clear()
        self.close_tls_connections()

    def add_fault(self, path, settings):
        fault = Fault(settings)
        with self.lock:
            self.faults.setdefault(path, []).append(fault)
        if path == TLS_PATH:
            self.close_tls_connections()

    def close_tls_connections(self):
        with self.lock:
            connections = list(self.tls_connections)
        for conn in connections:
            try:
                # The socket's own shutdown: the TLS one would unhook the
                # handler thread's TLS object under it.
                socket.socket.shutdown(conn, socket.SHUT_RDWR)
            except OSError:
                pass

    def next_fault(self, path):
        """Counts the request and returns the fault that applies to it, if any."""
        with self.lock:
            chosen = None
            for fault in self.faults.get(path, []):
                if chosen is None and fault.applies(fault.seen):
                    chosen = fault
                fault.seen += 1
        return chosen

    def record(self, entry):
        with self.lock:
            self.log.append(entry)

    def log_text(self):
        with self.lock:
            return "".join(json.dumps(e, ensure_ascii=False) + "\n" for e in self.log)

    def file_path(self, url_path):
        parts = [p for p in url_path.split("/") if p not in ("", ".")]
        if any(p == ".." for p in parts):
            return None
        return os.path.join(self.root, *parts)


# P-256 keys: made in milliseconds, where RSA keys take a good part of a second.
NEW_KEY = ("-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1")


def openssl(*args):
    subprocess.run(["openssl"] + list(args), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_ca(folder, name="ZeRun Test CA"):
    """ca.key and ca.pem in folder; an existing pair is kept. The pair is made
    beside it and moved in whole, so servers that start together agree."""
    key, cert = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.pem")
    if not os.path.exists(cert):
        parent = os.path.dirname(os.path.abspath(folder))
        os.makedirs(parent, exist_ok=True)
        made = tempfile.mkdtemp(dir=parent)
        openssl("req", "-x509", *NEW_KEY, "-nodes", "-keyout", os.path.join(made, "ca.key"),
                "-out", os.path.join(made, "ca.pem"), "-subj", "/CN=" + name, "-days", "3650",
                "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        try:
            os.rename(made, folder)
        except OSError:  # another made it first
            shutil.rmtree(made)
    return key, cert


def make_certificates(ca_folder, folder):
    """The server certificates of CERTIFICATES in folder: name -> (cert, key)."""
    ca = make_ca(ca_folder)
    stranger = make_ca(os.path.join(folder, "untrusted-ca"), "ZeRun Untrusted CA")
    key = os.path.join(folder, "server.key")
    csr = os.path.join(folder, "server.csr")
    openssl("req", *NEW_KEY, "-nodes", "-keyout", key, "-out", csr, "-subj", "/CN=" + TLS_HOST)
    plans = {"good": (ca, TLS_HOST, "30"), "other_host": (ca, "other.invalid", "30"),
             "untrusted": (stranger, TLS_HOST, "30"), "expired": (ca, TLS_HOST, "-1")}
    made = {}
    for name, ((ca_key, ca_cert), host, days) in plans.items():
        ext = os.path.join(folder, name + ".ext")
        with open(ext, "w") as f:
            f.write("subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth\n" % host)
        cert = os.path.join(folder, name + ".pem")
        openssl("x509", "-req", "-in", csr, "-CA", ca_cert, "-CAkey", ca_key, "-set_serial",
                str(int(time.time() * 1000) + len(made)), "-days", days, "-extfile", ext, "-out", cert)
        made[name] = (cert, key)
    return made


def parse_range(value, size):
    """Returns (first, last) for 'bytes=a-', 'bytes=a-b' or 'bytes=-n', None
    when absent or not understood, 'unsatisfiable' when outside the file."""
    if not value:
        return None
    m = re.fullmatch(r"\s*bytes\s*=\s*(\d*)\s*-\s*(\d*)\s*", value, re.IGNORECASE)
    if not m or (m.group(1) == "" and m.group(2) == ""):
        return None
    if m.group(1) == "":
        length = int(m.group(2))
        if length == 0:
            return "unsatisfiable"
        return max(0, size - length), size - 1
    first = int(m.group(1))
    last = int(m.group(2)) if m.group(2) else size - 1
    if first >= size or last < first:
        return "unsatisfiable"
    return first, min(last, size - 1)


def strong_etag(data):
    return '"' + hashlib.sha1(data).hexdigest()[:20] + '"'


def etag_matches(header, etag):
    if header is None or etag is None:
        return False
    bare = etag[2:] if etag.startswith("W/") else etag
    for tag in header.split(","):
        tag = tag.strip()
        if tag == "*":
            return True
        if (tag[2:] if tag.startswith("W/") else tag) == bare:
            return True
    return False


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "ZrTestServer/1.0"

    def log_message(self, fmt, *args):  # quiet: the JSON log is the record
        pass

    def setup(self):
        if self.server.contexts:
            self.request = self.handshake(self.request)
        super().setup()

    def handshake(self, sock):
        fault = self.state.next_fault(TLS_PATH) or Fault({})
        name = fault.get("certificate", "good")
        entry = {"listener": "tls", "method": "", "path": TLS_PATH, "query": "", "headers": {},
                 "status": 0, "sent": 0, "time": time.time(), "certificate": name, "handshake": ""}
        self.state.record(entry)
        sock.settimeout(15)
        try:
            conn = self.server.contexts[name].wrap_socket(sock, server_side=True)
        except (OSError, ssl.SSLError) as e:
            entry["handshake"] = str(e)
            raise
        conn.settimeout(None)
        entry["handshake"] = "done"
        with self.state.lock:
            self.state.tls_connections.add(conn)
        return conn

    def finish(self):
        super().finish()
        with self.state.lock:
            self.state.tls_connections.discard(self.request)

    @property
    def state(self):
        return self.server.state

    def split_path(self):
        url = urllib.parse.urlsplit(self.path)
        return urllib.parse.unquote(url.path), urllib.parse.parse_qs(url.query), url.query

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length else b""

    def send_small(self, status, text, extra=None):
        body = text.encode("utf-8")
        self.send_response(status)
        for name, value in (extra or {}).items():
            self.send_header(name, value)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)
        return len(body)

    # --- control -------------------------------------------------------
    def control(self, path, query):
        target = query.get("path", [None])[0]
        if path == "/_ctl/reset" and self.command == "POST":
            self.read_body()
            self.state.reset()
            return self.send_small(200, "ok")
        if path == "/_ctl/log" and self.command == "GET":
            return self.send_small(200, self.state.log_text())
        if path == "/_ctl/file" and self.command == "PUT" and target:
            local = self.state.file_path(target)
            if local is None:
                return self.send_small(400, "bad path")
            os.makedirs(os.path.dirname(local), exist_ok=True)
            with open(local, "wb") as f:
                f.write(self.read_body())
            return self.send_small(200, "ok")
        if path == "/_ctl/fault" and self.command == "POST" and target:
            try:
                self.state.add_fault(target, json.loads(self.read_body() or b"{}"))
            except (ValueError, TypeError) as e:
                return self.send_small(400, str(e))
            return self.send_small(200, "ok")
        return self.send_small(404, "unknown control request")

    # --- files -----------------------------------------------------------
    def serve(self, path, query_text):
        entry = {"listener": self.server.listener, "method": self.command, "path": path, "query": query_text,
                 "headers": dict(self.headers.items()), "status": 0, "sent": 0,
                 "time": time.time()}
        # Logged as it arrives, so a request still running when the log is
        # reset stays out of the new log; status and bytes are filled in later.
        self.state.record(entry)
        self.drop_pending = False
        try:
            entry["status"], entry["sent"] = self.serve_file(path)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True
        # Dropped only once its figures are in, so a client that sees the cut finds them.
        if self.drop_pending:
            self.drop_connection()

    def serve_file(self, path):
        fault = self.state.next_fault(path) or Fault({})
        if fault.get("stall_headers"):
            time.sleep(float(fault.get("stall_headers")))
        if fault.get("redirect"):
            target = fault.get("redirect")
            if "://" not in target:
                host = "https://" + TLS_HOST if self.server.contexts else "http://127.0.0.1"
                target = host + ":%d" % self.server.server_address[1] + target
            return 302, self.send_small(302, "moved", {"Location": target})
        if fault.get("status"):
            status = int(fault.get("status"))
            retry = fault.get("retry_after")
            return status, self.send_small(status, "error %d" % status, {"Retry-After": retry} if retry else None)
        local = self.state.file_path(path)
        if local is None or not os.path.isfile(local):
            return 404, self.send_small(404, "not found")
        with open(local, "rb") as f:
            data = f.read()
        size = len(data)

        headers = {}
        etag = strong_etag(data)
        if fault.get("etag") is not None:
            etag = fault.get("etag")
        if fault.get("no_etag"):
            etag = None
        if etag is not None:
            headers["ETag"] = etag
        if fault.get("last_modified") is not None:
            headers["Last-Modified"] = fault.get("last_modified")
        elif not fault.get("no_last_modified"):
            headers["Last-Modified"] = email.utils.formatdate(os.path.getmtime(local), usegmt=True)
        headers["Accept-Ranges"] = "bytes"

        if etag_matches(self.headers.get("If-None-Match"), etag):
            self.send_response(304)
            for name, value in headers.items():
                self.send_header(name, value)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return 304, 0

        status, first, last = 200, 0, size - 1
        wanted = None if fault.get("ignore_range") else parse_range(self.headers.get("Range"), size)
        if isinstance(wanted, tuple) and fault.get("range_shift"):
            # A faulty server that answers a range from another offset, and says so.
            start = max(0, wanted[0] + int(fault.get("range_shift")))
            wanted = (start, wanted[1]) if start <= wanted[1] else "unsatisfiable"
        if wanted == "unsatisfiable":
            return 416, self.send_small(416, "range not satisfiable", {"Content-Range": "bytes */%d" % size})
        if wanted is not None:
            status, (first, last) = 206, wanted
            headers["Content-Range"] = "bytes %d-%d/%d" % (first, last, size)
        body = data[first:last + 1]
        flip = fault.get("flip_byte")
        if flip is not None and first <= int(flip) <= last:
            # Altered on the way: same size and validators, one byte inverted.
            at = int(flip) - first
            body = body[:at] + bytes([body[at] ^ 0xFF]) + body[at + 1:]

        extra = int(fault.get("extra", 0))
        if extra:
            # More than the headers announce, sent until the connection closes.
            body += bytes(i % 251 for i in range(extra))

        self.send_response(status)
        for name, value in headers.items():
            self.send_header(name, value)
        self.send_header("Content-Type", "application/octet-stream")
        if fault.get("no_content_length") or extra:
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command == "HEAD":
            return status, 0
        return status, self.write_body(body, fault)

    def write_body(self, body, fault):
        limit = fault.get("close_after")
        rate = float(fault.get("rate", 0))  # bytes per second, 0 = as fast as possible
        stall_at = int(fault.get("stall_at", 0)) if fault.get("stall_body") else None
        sent = 0
        while sent < len(body):
            end = min(len(body), sent + (max(1, int(rate / 10)) if rate else CHUNK))
            if stall_at is not None and sent <= stall_at < end:
                end = stall_at
            if limit is not None and end > int(limit):
                end = int(limit)
            if end > sent:
                if rate:
                    time.sleep((end - sent) / rate)
                self.wfile.write(body[sent:end])
                sent = end
            if stall_at is not None and sent == stall_at:
                self.wfile.flush()
                time.sleep(float(fault.get("stall_body")))
                stall_at = None
            if limit is not None and sent >= int(limit):
                self.wfile.flush()
                self.drop_pending = True
                return sent
        return sent

    def drop_connection(self):
        self.close_connection = True
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    # --- verbs -----------------------------------------------------------
    def dispatch(self):
        path, query, query_text = self.split_path()
        if path.startswith("/_ctl/"):
            self.control(path, query)
        else:
            self.serve(path, query_text)

    do_GET = do_HEAD = do_PUT = do_POST = dispatch


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    listener = "plain"
    contexts = None  # certificate name -> ssl.SSLContext, on the TLS listener

    def handle_error(self, request, client_address):
        pass  # a failed handshake or a client gone is logged or expected


def tls_contexts(certificates):
    contexts = {}
    for name, (cert, key) in certificates.items():
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        contexts[name] = context
    return contexts


def listen(port, with_tls):
    """The plain server and, with_tls, the TLS one TLS_OFFSET ports above it.
    A free port (0) is chosen again until both are free."""
    for _ in range(20):
        plain = Server(("127.0.0.1", port), Handler)
        if not with_tls:
            return plain, None
        try:
            return plain, Server(("127.0.0.1", plain.server_address[1] + TLS_OFFSET), Handler)
        except OSError:
            plain.server_close()
            if port:
                raise
    raise OSError("no free pair of ports")


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", help="folder whose files are served")
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--port-file", help="the chosen port is written here")
    parser.add_argument("--tls-ca", help="folder of the CA (ca.key, ca.pem; made when missing): adds the TLS listener")
    parser.add_argument("--make-ca", action="store_true", help="only make the CA of --tls-ca")
    args = parser.parse_args(argv)
    if args.make_ca and args.tls_ca:
        make_ca(args.tls_ca)
        return 0
    if not args.root:
        parser.error("--root is required")
    os.makedirs(args.root, exist_ok=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))  # so the certificates' folder goes
    with tempfile.TemporaryDirectory(prefix="zr-tls-") as folder:
        return serve(args, make_certificates(args.tls_ca, folder) if args.tls_ca else None)


def serve(args, certificates):
    server, tls = listen(args.port, certificates is not None)
    server.state = State(args.root)
    if tls:
        tls.state = server.state
        tls.listener = "tls"
        tls.contexts = tls_contexts(certificates)
        threading.Thread(target=tls.serve_forever, daemon=True).start()
    port = server.server_address[1]
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write(str(port))
        os.replace(tmp, args.port_file)
    print("PORT %d" % port, flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
