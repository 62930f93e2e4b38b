#!/usr/bin/env python3
"""Update server for the tests: the first path segment picks the version answer.

/<mode>/getversion.php answers as named in ANSWERS; /hang/... accepts and never
answers; /<mode>/getupdate.php serves a small page; /log lists the request paths.
Prints "READY <port>" once it listens on 127.0.0.1.
"""
import http.server
import sys
import threading
import time

ANSWERS = {
    "newer": b"x||1.0.1||y",
    "equal": b"x||1.0.0||y",
    "older": b"x||1.1||y",
    "emptyfield": b"x||||y",
    "short": b"1.0.1",
    "empty": b"",
    "garbage": b"<html><body>Internal error</body></html>",
    "notanumber": b"x||1.o.1||y",
    "overflow": b"x||9.9.9.9.9||y",
    "huge": b"x" * (2 * 1024 * 1024),
}

requests = []
lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def send_body(self, status, body):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        if self.path == "/log":
            with lock:
                body = "\n".join(requests).encode()
            self.send_body(200, body)
            return
        with lock:
            requests.append(self.path)
        parts = self.path.split("/")
        mode = parts[1] if len(parts) > 2 else ""
        if mode == "hang":
            time.sleep(120)
            return
        if self.path.split("?")[0].endswith("/getupdate.php"):
            self.send_body(200, b"<html><body><h1>Version 1.0.1</h1></body></html>")
            return
        if mode in ANSWERS:
            self.send_body(200, ANSWERS[mode])
        else:
            self.send_body(404, b"x||9.9.9||y")


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
print("READY %d" % server.server_address[1], flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    pass
