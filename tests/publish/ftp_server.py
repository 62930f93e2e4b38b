#!/usr/bin/python3
"""Local FTP server (user/secret) for the publish tests and benchmarks.

Prints "READY <port>" once it listens on 127.0.0.1 and "LOGIN <user>" per login.
--http serves --root as static web pages instead. --max-cons-per-ip N answers "421"
to connections past N, as shared hosts do. --slow-uploads holds every upload bigger than
a few kilobytes for a second after its first block, so that a test can act while one
is under way.
"""
import argparse
import logging
import os
import subprocess


def make_cert(folder):
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    if not os.path.exists(cert):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                        "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1",
                        "-addext", "subjectAltName=IP:127.0.0.1"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root")
    ap.add_argument("--tls", metavar="CERT_FOLDER")
    ap.add_argument("--http", action="store_true")
    ap.add_argument("--active-only", action="store_true")
    ap.add_argument("--max-cons-per-ip", type=int, default=0)
    ap.add_argument("--slow-uploads", action="store_true")
    args = ap.parse_args()
    if args.http:
        import functools
        import http.server

        class Quiet(http.server.SimpleHTTPRequestHandler):
            def log_message(self, *_):
                pass

        web = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=args.root))
        print("READY %d" % web.server_address[1], flush=True)
        web.serve_forever()

    logging.basicConfig(level=logging.CRITICAL)
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib import handlers
    from pyftpdlib.servers import FTPServer

    live = set()  # control connections open now

    class Handler(handlers.TLS_FTPHandler if args.tls else handlers.FTPHandler):
        banner = "ready"

        # The limit counts the connections whose sockets are open now: pyftpdlib's own
        # count now and then keeps one of a client killed as it connected, and then
        # stays full for good.
        def handle(self):
            for gone in [h for h in live if h.socket is None or h.socket.fileno() < 0]:
                live.discard(gone)
            if args.max_cons_per_ip and len(live) >= args.max_cons_per_ip:
                self.respond_w_warning("421 Too many connections from the same IP address.")
                self.close_when_done()
                return
            live.add(self)
            super().handle()

        def close(self):
            live.discard(self)
            super().close()

        def handle_auth_success(self, home, password, msg_login):
            # Printed before the 230 goes out: a client that was let in has
            # always been counted by the time it knows it.
            print("LOGIN %s" % self.username, flush=True)
            super().handle_auth_success(home, password, msg_login)

    if args.active_only:  # passive data connections refused
        Handler.ftp_PASV = Handler.ftp_EPSV = lambda self, line: self.respond("502 Passive mode refused.")

    if args.slow_uploads:
        class Slow(handlers.DTPHandler):
            held = None

            def recv(self, size):
                block = super().recv(size)
                if self.held is None and len(block) > 4096:
                    def go_on():
                        if self.socket is not None:
                            self.add_channel(events=self.ioloop.READ)
                    self.del_channel()
                    self.held = self.ioloop.call_later(1.0, go_on, _errback=self.handle_error)
                return block

            def close(self):
                if self.held is not None and not self.held.cancelled:
                    self.held.cancel()
                super().close()

        Handler.dtp_handler = Slow

    if args.tls:
        class DataHandler(handlers.TLS_DTPHandler):
            # libcurl starts the data channel's TLS handshake before it sends
            # STOR/RETR; the stock handler closes such a channel as idle.
            def readable(self):
                if self._ssl_requested and not self._initialized and not self.receive:
                    return self._ssl_accepting
                return super().readable()

        Handler.certfile, Handler.keyfile = make_cert(args.tls)
        Handler.dtp_handler = DataHandler
        Handler.tls_control_required = Handler.tls_data_required = True

    Handler.authorizer = DummyAuthorizer()
    Handler.authorizer.add_user("user", "secret", args.root, perm="elradfmwMT")
    server = FTPServer(("127.0.0.1", 0), Handler)
    server.max_cons = 64
    print("READY %d" % server.address[1], flush=True)
    server.serve_forever(timeout=0.5)


if __name__ == "__main__":
    main()
