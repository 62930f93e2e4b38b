"""A local update server for the start-up tests: answers getversion.php with the
text given on the command line and getupdate.php with a small page."""
import http.server
import sys

ANSWER = sys.argv[1].encode() if len(sys.argv) > 1 else b"x||1.0.0||y"


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = ANSWER if self.path.startswith("/getversion.php") else b"<html><body>Update</body></html>"
        self.send_response(200)
        self.send_header("Content-Type", "text/plain" if body is ANSWER else "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
sys.stdout.write("READY %d\n" % server.server_address[1])
sys.stdout.flush()
server.serve_forever()
