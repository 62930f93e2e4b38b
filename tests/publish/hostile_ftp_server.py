#!/usr/bin/python3
"""A small FTP server that lies, for the publish tests (any user and password).

Its listing (NLST, LIST, MLSD) names "../../escaped.txt", "/tmp/absolute.txt",
'quote".txt', "ctl\\x01.txt" and "good.txt"; RETR of any name sends "payload".
--endless-listing: listings never end; --endless-file: downloads never end.
Prints "READY <port>" once it listens on 127.0.0.1.
"""
import argparse
import socket
import threading

NAMES = ["../../escaped.txt", "/tmp/absolute.txt", 'quote".txt', "ctl\x01.txt", "good.txt"]


def serve(conn, args):
    f = conn.makefile("rb")
    data_srv = None

    def say(text):
        conn.sendall((text + "\r\n").encode("utf-8", "surrogateescape"))

    def send_data(chunks):
        d, _ = data_srv.accept()
        say("150 Here it comes.")
        try:
            for c in chunks:
                d.sendall(c)
        except OSError:
            pass
        d.close()
        say("226 Done.")

    def endless():
        block = b"x" * 65536
        while True:
            yield block

    say("220 hostile")
    for raw in f:
        line = raw.decode("utf-8", "surrogateescape").rstrip("\r\n")
        cmd, _, arg = line.partition(" ")
        cmd = cmd.upper()
        if cmd == "USER":
            say("331 Password.")
        elif cmd == "PASS":
            say("230 In.")
        elif cmd == "PWD":
            say('257 "/"')
        elif cmd in ("CWD", "TYPE"):
            say("250 OK." if cmd == "CWD" else "200 OK.")
        elif cmd == "EPSV":
            data_srv = socket.create_server(("127.0.0.1", 0))
            say("229 Entering (|||%d|)" % data_srv.getsockname()[1])
        elif cmd == "PASV":
            data_srv = socket.create_server(("127.0.0.1", 0))
            p = data_srv.getsockname()[1]
            say("227 Entering (127,0,0,1,%d,%d)" % (p >> 8, p & 255))
        elif cmd in ("NLST", "LIST", "MLSD"):
            if args.endless_listing:
                send_data(endless())
            elif cmd == "NLST":
                send_data(["".join(n + "\r\n" for n in NAMES).encode("utf-8", "surrogateescape")])
            else:
                send_data([("".join("-rw-r--r-- 1 u g 7 Jan 01 12:00 %s\r\n" % n for n in NAMES))
                           .encode("utf-8", "surrogateescape")])
        elif cmd == "SIZE":
            say("502 Not here." if args.endless_file else "213 7")
        elif cmd == "RETR":
            send_data(endless() if args.endless_file else [b"payload"])
        elif cmd == "QUIT":
            say("221 Bye.")
            break
        else:
            say("502 Not here.")
    conn.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--endless-listing", action="store_true")
    ap.add_argument("--endless-file", action="store_true")
    args = ap.parse_args()
    srv = socket.create_server(("127.0.0.1", 0))
    print("READY %d" % srv.getsockname()[1], flush=True)
    while True:
        conn, _ = srv.accept()
        threading.Thread(target=serve, args=(conn, args), daemon=True).start()


if __name__ == "__main__":
    main()
