#!/usr/bin/python3
"""A small FTP server that lies, for the publish tests (any user and password).

Without --root its listing (NLST, LIST, MLSD) names "../../escaped.txt",
"/tmp/absolute.txt", 'quote".txt', "ctl\\x01.txt" and "good.txt"; RETR of any name
sends "payload".
--endless-listing: listings never end; --endless-file: downloads never end.
Servers that hold a client without failing, each for 30 s at most: --mute answers
the login and then nothing; --stall sends the first bytes of a listing or file and
then nothing; --trickle sends a listing one byte every 0.3 s.

With --root it keeps files in that folder as a working server would, with
MS-DOS-style LIST lines and no MLSD, and can lie on purpose:
--lie-stor: STOR answers 226 and keeps nothing; --lie-rnto: RNTO answers 250 and
renames nothing; --truncate-stor: STOR answers 226 and keeps the first half of the
file, as a full disk does; --full: STOR is refused with 452, as a full disk's
server says it; --empty-stor: STOR answers 226 and keeps an empty file, as a full
quota does; --no-rename: RNFR is refused; --hostile-names: every listing
also names files outside its folder; --slow: uploads arrive slowly, so that a
client killed at random is often killed halfway through one; --escapes: the login is
refused with a terminal's escape sequences in the answer. --log FILE gets one line per command that
touches a path: the command and the path it resolves to from the root.
Prints "READY <port>" once it listens on 127.0.0.1.
"""
import argparse
import os
import posixpath
import socket
import threading
import time

NAMES = ["../../escaped.txt", "/tmp/absolute.txt", 'quote".txt', "ctl\x01.txt", "good.txt"]
HOSTILE = ["~quillmark-part-/../../../victim.htm", "../victim.htm", "..\\victim.htm", "sub/victim.htm",
           "/victim.htm", "~quillmark-part-..", ".."]
log_lock = threading.Lock()


def dos_line(name, full):
    st = os.stat(full)
    stamp = time.strftime("%m-%d-%y  %I:%M%p", time.localtime(st.st_mtime))
    if os.path.isdir(full):
        return "%s       <DIR>          %s" % (stamp, name)
    return "%s %20d %s" % (stamp, st.st_size, name)


def serve(conn, args):
    f = conn.makefile("rb")
    data_srv = None
    cwd = "/"
    rename_from = None

    def say(text):
        conn.sendall((text + "\r\n").encode("utf-8", "surrogateescape"))

    def resolve(arg):
        return posixpath.normpath(posixpath.join(cwd, arg or "."))

    def real(path):
        return os.path.join(args.root, path.lstrip("/"))

    def record(cmd, path):
        if args.log:
            with log_lock, open(args.log, "a", encoding="utf-8", errors="surrogateescape") as log:
                log.write("%s %s\n" % (cmd, path))

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

    def receive_data(keep):
        d, _ = data_srv.accept()
        say("150 Send it.")
        while True:
            block = d.recv(16384)
            if not block:
                break
            if keep:
                keep.write(block)
                keep.flush()
            if args.slow:
                time.sleep(0.002)
        d.close()

    def endless():
        block = b"x" * 65536
        while True:
            yield block

    def held():
        """What --stall and --trickle send, for 30 s at most."""
        until = time.time() + 30
        yield b"x" * 3  # fewer than SIZE says
        while time.time() < until:
            time.sleep(0.3)
            if args.trickle:
                yield b"x"

    def listing(cmd, arg):
        if not args.root:
            if cmd == "NLST":
                return "".join(n + "\r\n" for n in NAMES)
            return "".join("-rw-r--r-- 1 u g 7 Jan 01 12:00 %s\r\n" % n for n in NAMES)
        folder = resolve(arg if arg and not arg.startswith("-") else "")
        names = sorted(os.listdir(real(folder)))
        lines = names if cmd == "NLST" else [dos_line(n, os.path.join(real(folder), n)) for n in names]
        if args.hostile_names:
            lines += HOSTILE if cmd == "NLST" else ["12-06-26  10:15PM                 7 " + n for n in HOSTILE]
        return "".join(l + "\r\n" for l in lines)

    say("220 hostile")
    for raw in f:
        line = raw.decode("utf-8", "surrogateescape").rstrip("\r\n")
        cmd, _, arg = line.partition(" ")
        cmd = cmd.upper()
        if args.mute and cmd not in ("USER", "PASS", "PWD", "TYPE"):
            time.sleep(30)
            break
        if cmd == "USER":
            say("331 Password.")
        elif cmd == "PASS":
            # A terminal's sequences in the answer: retitle it, clear the screen.
            say("530 \x1b]0;owned\x07Not you.\x1b[2J" if args.escapes else "230 In.")
        elif cmd == "PWD":
            say('257 "%s"' % cwd)
        elif cmd in ("TYPE", "NOOP"):
            say("200 OK.")
        elif cmd == "CWD":
            target = resolve(arg)
            record(cmd, target)
            if args.root and not os.path.isdir(real(target)):
                say("550 No such folder.")
            else:
                cwd = target if args.root else cwd
                say("250 OK.")
        elif cmd == "EPSV":
            data_srv = socket.create_server(("127.0.0.1", 0))
            say("229 Entering (|||%d|)" % data_srv.getsockname()[1])
        elif cmd == "MLSD" and args.root:
            say("500 Unknown command.")
        elif cmd in ("NLST", "LIST", "MLSD"):
            if args.endless_listing:
                send_data(endless())
            elif args.stall or args.trickle:
                send_data(held())
            else:
                send_data([listing(cmd, arg).encode("utf-8", "surrogateescape")])
        elif cmd == "SIZE":
            if not args.root:
                say("502 Not here." if args.endless_file else "213 7")
            elif os.path.isfile(real(resolve(arg))):
                say("213 %d" % os.path.getsize(real(resolve(arg))))
            else:
                say("550 No such file.")
        elif cmd == "RETR" and not args.root:
            send_data(endless() if args.endless_file else held() if args.stall else [b"payload"])
        elif cmd == "STOR" and args.root:
            target = resolve(arg)
            record(cmd, target)
            if args.full:
                say("452 Insufficient storage space.")
                continue
            if args.lie_stor:
                receive_data(None)
            else:
                with open(real(target), "wb") as out:
                    receive_data(out)
                if args.truncate_stor or args.empty_stor:
                    os.truncate(real(target), 0 if args.empty_stor else os.path.getsize(real(target)) // 2)
            say("226 Kept.")
        elif cmd in ("DELE", "RNFR", "RNTO", "MKD") and args.root:
            target = resolve(arg)
            record(cmd, target)
            if cmd == "MKD":
                os.makedirs(real(target), exist_ok=True)
                say('257 "%s" created.' % target)
            elif cmd == "DELE":
                if os.path.isfile(real(target)):
                    os.remove(real(target))
                    say("250 Deleted.")
                else:
                    say("550 No such file.")
            elif cmd == "RNFR":
                if args.no_rename or not os.path.exists(real(target)):
                    say("550 Cannot rename.")
                else:
                    rename_from = target
                    say("350 Go on.")
            elif rename_from is None:
                say("503 RNFR first.")
            else:
                if not args.lie_rnto:
                    os.replace(real(rename_from), real(target))
                rename_from = None
                say("250 Renamed.")
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
    ap.add_argument("--root")
    ap.add_argument("--lie-stor", action="store_true")
    ap.add_argument("--lie-rnto", action="store_true")
    ap.add_argument("--truncate-stor", action="store_true")
    ap.add_argument("--no-rename", action="store_true")
    ap.add_argument("--hostile-names", action="store_true")
    ap.add_argument("--log")
    ap.add_argument("--slow", action="store_true")
    ap.add_argument("--escapes", action="store_true")
    ap.add_argument("--mute", action="store_true")
    ap.add_argument("--stall", action="store_true")
    ap.add_argument("--trickle", action="store_true")
    ap.add_argument("--full", action="store_true")
    ap.add_argument("--empty-stor", action="store_true")
    args = ap.parse_args()
    srv = socket.create_server(("127.0.0.1", 0))
    print("READY %d" % srv.getsockname()[1], flush=True)
    while True:
        conn, _ = srv.accept()
        threading.Thread(target=serve, args=(conn, args), daemon=True).start()


if __name__ == "__main__":
    main()
