#!/usr/bin/env python3
"""An update server that answers "no newer version" after a delay, as a server across
the internet would, for the start-up benchmarks:

    bench/editor/update_server.py PORT DELAY_SECONDS &
    bench/editor/startup_time.sh build/bin/quillmark 5 http://127.0.0.1:PORT/
"""
import http.server
import sys
import time


class Answer(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        time.sleep(float(sys.argv[2]))
        body = b"1.0.0"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Answer).serve_forever()
