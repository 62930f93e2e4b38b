#!/usr/bin/env python3
"""Update server for the tests; prints "READY <port>" once it listens on 127.0.0.1.

/<mode>/getversion.php answers ANSWERS[mode] (unknown modes: a 404 whose body
reads like a newer version); /hang/ never answers; /<mode>/getupdate.php serves
a page; /log lists the request paths so far.
"""
import http.server
import threading
import time

ANSWERS = {
    "newer": b"x||1.0.1||y", "equal": b"x||1.0.0||y", "older": b"x||1.1||y",
    "emptyfield": b"x||||y", "short": b"1.0.1", "empty": b"",
    "garbage": b"<html><body>Internal error</body></html>", "notanumber": b"x||1.o.1||y",
    "overflow": b"x||9.9.9.9.9||y", "huge": b"x" * (2 * 1024 * 1024),
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
        with lock:
            if self.path == "/log":
                return self.send_body(200, "\n".join(requests).encode())
            requests.append(self.path)
        mode = self.path.split("/")[1]
        if mode == "hang":
            time.sleep(120)
        elif self.path.split("?")[0].endswith("/getupdate.php"):
            self.send_body(200, b"<html><body><h1>Version 1.0.1</h1></body></html>")
        else:
            self.send_body(200 if mode in ANSWERS else 404, ANSWERS.get(mode, b"x||9.9.9||y"))


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
print("READY %d" % server.server_address[1], flush=True)
server.serve_forever()
