#!/usr/bin/env python3
"""Unit tests of the loopback test server, against a real instance."""

import http.client
import json
import os
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
BODY = bytes(range(256)) * 64  # 16 KiB


class ServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        port_file = os.path.join(cls.tmp.name, "port")
        cls.ca = os.path.join(cls.tmp.name, "ca")
        cls.proc = subprocess.Popen([sys.executable, os.path.join(HERE, "test_server.py"),
                                     "--root", os.path.join(cls.tmp.name, "files"), "--tls-ca", cls.ca,
                                     "--port-file", port_file], stdout=subprocess.DEVNULL)
        for _ in range(500):
            if os.path.exists(port_file):
                break
            time.sleep(0.02)
        with open(port_file) as f:
            cls.port = int(f.read())
        cls.tls_port = cls.port + 363

    @classmethod
    def tearDownClass(cls):
        cls.proc.terminate()
        cls.proc.wait()
        cls.tmp.cleanup()

    def request(self, method, path, body=None, headers=None, tls=False):
        if tls:
            conn = http.client.HTTPSConnection("localhost", self.tls_port, timeout=10, context=self.trusting())
        else:
            conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        conn.request(method, path, body=body, headers=headers or {})
        resp = conn.getresponse()
        data = resp.read()
        conn.close()
        return resp, data

    def trusting(self):
        """A client context that trusts the test CA alone."""
        return ssl.create_default_context(cafile=os.path.join(self.ca, "ca.pem"))

    def setUp(self):
        self.request("POST", "/_ctl/reset")
        self.request("PUT", "/_ctl/file?path=/f/a.bin", body=BODY)

    def fault(self, path, **settings):
        resp, data = self.request("POST", "/_ctl/fault?path=" + path, body=json.dumps(settings))
        self.assertEqual(resp.status, 200, data)

    def log(self):
        _, data = self.request("GET", "/_ctl/log")
        return [json.loads(line) for line in data.decode().splitlines()]

    def raw_get(self, path, extra=""):
        """Reads until the server closes; returns (head, body bytes)."""
        s = socket.create_connection(("127.0.0.1", self.port), timeout=10)
        s.sendall(("GET %s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n%s\r\n" % (path, extra)).encode())
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
        s.close()
        head, _, body = data.partition(b"\r\n\r\n")
        return head.decode(), body

    def test_whole_file_with_validators(self):
        resp, data = self.request("GET", "/f/a.bin")
        self.assertEqual((resp.status, data), (200, BODY))
        etag = resp.getheader("ETag")
        self.assertRegex(etag, r'^"[0-9a-f]+"$')
        self.assertIsNotNone(resp.getheader("Last-Modified"))
        self.assertEqual(resp.getheader("Content-Length"), str(len(BODY)))

    def test_ranges(self):
        size = len(BODY)
        cases = [
            ("bytes=0-0", 206, BODY[0:1], "bytes 0-0/%d" % size),
            ("bytes=100-", 206, BODY[100:], "bytes 100-%d/%d" % (size - 1, size)),
            ("bytes=10-19", 206, BODY[10:20], "bytes 10-19/%d" % size),
            ("bytes=10-999999", 206, BODY[10:], "bytes 10-%d/%d" % (size - 1, size)),
            ("bytes=-5", 206, BODY[-5:], "bytes %d-%d/%d" % (size - 5, size - 1, size)),
            ("bytes=%d-" % size, 416, None, "bytes */%d" % size),
            ("items=1-2", 200, BODY, None),
        ]
        for value, status, body, content_range in cases:
            with self.subTest(value):
                resp, data = self.request("GET", "/f/a.bin", headers={"RANGE": value})
                self.assertEqual(resp.status, status)
                if body is not None:
                    self.assertEqual(data, body)
                self.assertEqual(resp.getheader("Content-Range"), content_range)

    def test_if_none_match(self):
        resp, _ = self.request("GET", "/f/a.bin")
        etag = resp.getheader("ETag")
        for sent, status in [(etag, 304), ("W/" + etag, 304), ('"other"', 200), ("*", 304)]:
            with self.subTest(sent):
                resp, data = self.request("GET", "/f/a.bin", headers={"If-None-Match": sent})
                self.assertEqual(resp.status, status)
                self.assertEqual(data, b"" if status == 304 else BODY)

    def test_missing_file_and_traversal(self):
        self.assertEqual(self.request("GET", "/f/none.bin")[0].status, 404)
        self.assertEqual(self.request("GET", "/f/../../etc/passwd")[0].status, 404)

    def test_log_has_method_path_headers(self):
        self.request("GET", "/f/a.bin?x=1", headers={"X-Probe": "yes"})
        # The serving thread fills in the figures just after the last byte.
        for _ in range(100):
            entries = self.log()
            if entries and entries[0]["status"]:
                break
            time.sleep(0.02)
        self.assertEqual(len(entries), 1)
        e = entries[0]
        self.assertEqual((e["method"], e["path"], e["query"], e["status"]), ("GET", "/f/a.bin", "x=1", 200))
        self.assertEqual(e["headers"]["X-Probe"], "yes")
        self.assertEqual(e["sent"], len(BODY))

    def test_header_faults(self):
        cases = [
            ({"no_etag": True}, "ETag", None),
            ({"etag": 'W/"weak"'}, "ETag", 'W/"weak"'),
            ({"no_last_modified": True}, "Last-Modified", None),
            ({"last_modified": "Tue, 01 Dec 2026 10:00:00 GMT"}, "Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT"),
        ]
        for settings, header, expected in cases:
            with self.subTest(settings):
                self.request("POST", "/_ctl/reset")
                self.fault("/f/a.bin", **settings)
                resp, data = self.request("GET", "/f/a.bin")
                self.assertEqual(data, BODY)
                self.assertEqual(resp.getheader(header), expected)

    def test_status_override_and_window(self):
        self.request("GET", "/f/a.bin")  # requests before the fault do not count
        self.fault("/f/a.bin", status=500, skip=1, times=1)
        self.fault("/f/a.bin", status=404, times=2)
        statuses = [self.request("GET", "/f/a.bin")[0].status for _ in range(4)]
        self.assertEqual(statuses, [404, 500, 200, 200])

    def test_ignore_range(self):
        self.fault("/f/a.bin", ignore_range=True)
        resp, data = self.request("GET", "/f/a.bin", headers={"Range": "bytes=5-"})
        self.assertEqual((resp.status, data), (200, BODY))
        self.assertIsNone(resp.getheader("Content-Range"))

    def test_range_shift(self):
        size = len(BODY)
        cases = [
            ("bytes=100-", 50, 206, BODY[150:], "bytes 150-%d/%d" % (size - 1, size)),
            ("bytes=100-", -60, 206, BODY[40:], "bytes 40-%d/%d" % (size - 1, size)),
            ("bytes=10-19", 5, 206, BODY[15:20], "bytes 15-19/%d" % size),
            ("bytes=10-", -50, 206, BODY, "bytes 0-%d/%d" % (size - 1, size)),
            ("bytes=100-", size, 416, None, "bytes */%d" % size),
            (None, 50, 200, BODY, None),
        ]
        for value, shift, status, body, content_range in cases:
            with self.subTest(value=value, shift=shift):
                self.request("POST", "/_ctl/reset")
                self.fault("/f/a.bin", range_shift=shift)
                resp, data = self.request("GET", "/f/a.bin", headers={"Range": value} if value else {})
                self.assertEqual(resp.status, status)
                self.assertEqual(resp.getheader("Content-Range"), content_range)
                if body is not None:
                    self.assertEqual(data, body)
                    self.assertEqual(resp.getheader("Content-Length"), str(len(body)))

    def test_flip_byte(self):
        altered = BODY[:100] + bytes([BODY[100] ^ 0xFF]) + BODY[101:]
        cases = [(None, 200, altered), ("bytes=50-", 206, altered[50:]), ("bytes=101-", 206, BODY[101:])]
        for value, status, body in cases:
            with self.subTest(value=value):
                self.request("POST", "/_ctl/reset")
                plain = self.request("GET", "/f/a.bin")[0].getheader("ETag")
                self.fault("/f/a.bin", flip_byte=100)
                resp, data = self.request("GET", "/f/a.bin", headers={"Range": value} if value else {})
                self.assertEqual((resp.status, data), (status, body))
                self.assertEqual(resp.getheader("ETag"), plain)
                self.assertEqual(resp.getheader("Content-Length"), str(len(body)))

    def test_close_after(self):
        for offset in [0, 1, 4096, len(BODY) - 1]:
            with self.subTest(offset):
                self.request("POST", "/_ctl/reset")
                self.fault("/f/a.bin", close_after=offset)
                head, body = self.raw_get("/f/a.bin")
                self.assertIn("Content-Length: %d" % len(BODY), head)
                self.assertEqual(body, BODY[:offset])
                self.assertEqual(self.log()[0]["sent"], offset)

    def test_no_content_length(self):
        self.fault("/f/a.bin", no_content_length=True)
        head, body = self.raw_get("/f/a.bin")
        self.assertNotIn("Content-Length", head)
        self.assertEqual(body, BODY)

    def test_extra_bytes_past_the_announced_range(self):
        self.fault("/f/a.bin", extra=1000)
        head, body = self.raw_get("/f/a.bin", "Range: bytes=10-\r\n")
        self.assertNotIn("Content-Length", head)
        self.assertEqual(body, BODY[10:] + bytes(i % 251 for i in range(1000)))

    def test_stalls(self):
        self.fault("/f/a.bin", stall_headers=0.5, times=1)
        self.fault("/f/a.bin", stall_body=0.5, stall_at=100, skip=1, times=1)
        for _ in range(2):
            start = time.monotonic()
            _, data = self.request("GET", "/f/a.bin")
            self.assertGreaterEqual(time.monotonic() - start, 0.45)
            self.assertEqual(data, BODY)

    def test_rate(self):
        self.fault("/f/a.bin", rate=len(BODY) * 2)
        start = time.monotonic()
        _, data = self.request("GET", "/f/a.bin")
        self.assertGreaterEqual(time.monotonic() - start, 0.45)
        self.assertEqual(data, BODY)

    def test_redirect(self):
        self.fault("/f/old.bin", redirect="/f/a.bin")
        resp, _ = self.request("GET", "/f/old.bin")
        self.assertEqual(resp.status, 302)
        self.assertEqual(resp.getheader("Location"), "http://127.0.0.1:%d/f/a.bin" % self.port)

    def test_tls_serves_the_same_files_and_logs_the_listener(self):
        self.fault("/f/a.bin", status=503, times=1)
        self.assertEqual(self.request("GET", "/f/a.bin", tls=True)[0].status, 503)
        resp, data = self.request("GET", "/f/a.bin", headers={"Range": "bytes=10-19"})
        self.assertEqual((resp.status, data), (206, BODY[10:20]))
        entries = self.log()
        self.assertEqual([(e["listener"], e["path"]) for e in entries],
                         [("tls", "/_tls"), ("tls", "/f/a.bin"), ("plain", "/f/a.bin")])
        self.assertEqual((entries[0]["certificate"], entries[0]["handshake"]), ("good", "done"))

    def test_certificate_choice(self):
        # What a client that trusts the test CA and checks the name sees.
        cases = [
            ("good", None),
            ("other_host", "Hostname mismatch"),
            ("untrusted", "unable to get local issuer certificate"),
            ("expired", "certificate has expired"),
        ]
        for name, error in cases:
            with self.subTest(name):
                self.request("POST", "/_ctl/reset")
                self.fault("/_tls", certificate=name, times=1)
                with socket.create_connection(("127.0.0.1", self.tls_port), timeout=10) as raw:
                    try:
                        with self.trusting().wrap_socket(raw, server_hostname="localhost"):
                            failure = None
                    except ssl.SSLCertVerificationError as e:
                        failure = e.verify_message
                if error is None:
                    self.assertIsNone(failure)
                else:
                    self.assertIn(error, failure or "")
                # The choice held for one connection: the next one is good again.
                self.assertEqual(self.request("GET", "/f/a.bin", tls=True)[1], BODY)
                self.assertEqual(self.log()[0]["certificate"], name)

    def test_certificate_choice_closes_kept_connections(self):
        conn = http.client.HTTPSConnection("localhost", self.tls_port, timeout=10, context=self.trusting())
        conn.request("GET", "/f/a.bin")
        self.assertEqual(conn.getresponse().read(), BODY)
        self.fault("/_tls", certificate="untrusted")
        with self.assertRaises((http.client.HTTPException, OSError)):
            conn.request("GET", "/f/a.bin")
            conn.getresponse().read()
        conn.close()

    def test_unknown_certificate_is_refused(self):
        resp, _ = self.request("POST", "/_ctl/fault?path=/_tls", body=json.dumps({"certificate": "bad"}))
        self.assertEqual(resp.status, 400)

    def test_redirect_on_tls_stays_on_tls(self):
        self.fault("/f/old.bin", redirect="/f/a.bin", times=1)
        self.fault("/f/old.bin", redirect="http://127.0.0.1:1/x")
        resp, _ = self.request("GET", "/f/old.bin", tls=True)
        self.assertEqual(resp.getheader("Location"), "https://localhost:%d/f/a.bin" % self.tls_port)
        resp, _ = self.request("GET", "/f/old.bin", tls=True)
        self.assertEqual(resp.getheader("Location"), "http://127.0.0.1:1/x")

    def test_unknown_fault_key_is_refused(self):
        resp, _ = self.request("POST", "/_ctl/fault?path=/f/a.bin", body=json.dumps({"clsoe_after": 3}))
        self.assertEqual(resp.status, 400)


if __name__ == "__main__":
    unittest.main()
