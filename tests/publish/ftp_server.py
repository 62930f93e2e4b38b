#!/usr/bin/python3
"""A local FTP server for the publish tests and benchmarks.

Prints "READY <port>" once it listens on 127.0.0.1 and "LOGIN <user>" for each
successful login. --silent accepts connections and never answers.
"""
import argparse
import os
import socket
import subprocess
import sys
import threading
import time


def silent_server():
    srv = socket.socket()
    srv.bind(("127.0.0.1", 0))
    srv.listen(8)
    print("READY %d" % srv.getsockname()[1], flush=True)
    held = []
    while True:
        conn, _ = srv.accept()
        held.append(conn)


def make_cert(folder):
    cert = os.path.join(folder, "cert.pem")
    key = os.path.join(folder, "key.pem")
    if not os.path.exists(cert):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                        "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1",
                        "-addext", "subjectAltName=IP:127.0.0.1"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root")
    ap.add_argument("--user", default="user")
    ap.add_argument("--password", default="secret")
    ap.add_argument("--perm", default="elradfmwMT")
    ap.add_argument("--tls", metavar="CERT_FOLDER")
    ap.add_argument("--silent", action="store_true")
    args = ap.parse_args()
    if args.silent:
        silent_server()
        return

    import logging
    logging.basicConfig(level=logging.CRITICAL)
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer

    base = FTPHandler
    if args.tls:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
        base = TLS_FTPHandler

        class DataHandler(TLS_DTPHandler):
            # libcurl starts the data channel's TLS handshake before it sends
            # STOR/RETR; the stock handler closes such a channel as idle.
            def readable(self):
                if self._ssl_requested and not self._initialized and not self.receive:
                    return self._ssl_accepting
                return super().readable()

    class Handler(base):
        def on_login(self, username):
            print("LOGIN %s" % username, flush=True)

    if args.tls:
        Handler.certfile, Handler.keyfile = make_cert(args.tls)
        Handler.dtp_handler = DataHandler
        Handler.tls_control_required = True
        Handler.tls_data_required = True

    auth = DummyAuthorizer()
    auth.add_user(args.user, args.password, args.root, perm=args.perm)
    Handler.authorizer = auth
    Handler.banner = "ready"
    server = FTPServer(("127.0.0.1", 0), Handler)
    server.max_cons = 64
    print("READY %d" % server.address[1], flush=True)
    server.serve_forever(timeout=0.5)


if __name__ == "__main__":
    main()
