#!/usr/bin/python3
"""Local SFTP server (user/secret, password only) for the publish tests.

Serves --root as "/" on 127.0.0.1; no path leaves it. The host key is made at
start and written to --known-hosts as the line "[127.0.0.1]:<port> <type> <base64>".
Prints "READY <port>" once it listens and "LOGIN <user>" per login. Ends with its parent.
Nothing is renamed or removed inside a folder named "fixed", as some hosts refuse it.
"""
import argparse
import os
import socket
import threading

import paramiko
from paramiko.sftp import SFTP_OK, SFTP_PERMISSION_DENIED

print_lock = threading.Lock()


def say(text):
    with print_lock:
        print(text, flush=True)


class Auth(paramiko.ServerInterface):
    def get_allowed_auths(self, username):
        return "password"

    def check_auth_password(self, username, password):
        if (username, password) != ("user", "secret"):
            return paramiko.AUTH_FAILED
        say("LOGIN %s" % username)
        return paramiko.AUTH_SUCCESSFUL

    def check_channel_request(self, kind, chanid):
        return paramiko.OPEN_SUCCEEDED if kind == "session" else paramiko.OPEN_FAILED_ADMINISTRATIVELY_PROHIBITED


class Handle(paramiko.SFTPHandle):
    def stat(self):
        try:
            return paramiko.SFTPAttributes.from_stat(os.fstat(self.readfile.fileno()))
        except OSError as e:
            return paramiko.SFTPServer.convert_errno(e.errno)


def errors(method):
    """Turns an OSError into the SFTP status the client expects."""
    def wrapped(*args):
        try:
            return method(*args)
        except OSError as e:
            return paramiko.SFTPServer.convert_errno(e.errno)
    return wrapped


class Folder(paramiko.SFTPServerInterface):
    root = None

    def real(self, path):
        # canonicalize() folds ".." away, so the result stays under the root.
        return os.path.join(self.root, self.canonicalize(path).lstrip("/"))

    @errors
    def list_folder(self, path):
        folder = self.real(path)
        # Like OpenSSH's sftp-server, the listing includes "." and "..".
        names = [".", ".."] + sorted(os.listdir(folder))
        out = []
        for name in names:
            attr = paramiko.SFTPAttributes.from_stat(os.lstat(os.path.join(folder, name)))
            attr.filename = name
            out.append(attr)
        return out

    @errors
    def stat(self, path):
        return paramiko.SFTPAttributes.from_stat(os.stat(self.real(path)))

    @errors
    def open(self, path, flags, attr):
        mode = getattr(attr, "st_mode", None) or 0o644
        fd = os.open(self.real(path), flags | getattr(os, "O_BINARY", 0), mode & 0o777)
        if flags & os.O_WRONLY:
            how = "ab" if flags & os.O_APPEND else "wb"
        elif flags & os.O_RDWR:
            how = "a+b" if flags & os.O_APPEND else "r+b"
        else:
            how = "rb"
        handle = Handle(flags)
        handle.readfile = handle.writefile = os.fdopen(fd, how)
        return handle

    @errors
    def remove(self, path):
        if "fixed" in os.path.dirname(self.real(path)).split(os.sep):
            return SFTP_PERMISSION_DENIED
        os.remove(self.real(path))
        return SFTP_OK

    @errors
    def rename(self, oldpath, newpath):
        if "fixed" in os.path.dirname(self.real(newpath)).split(os.sep):
            return SFTP_PERMISSION_DENIED
        os.rename(self.real(oldpath), self.real(newpath))
        return SFTP_OK

    @errors
    def mkdir(self, path, attr):
        os.mkdir(self.real(path))
        return SFTP_OK


def serve(conn, key):
    transport = paramiko.Transport(conn)
    transport.add_server_key(key)
    transport.set_subsystem_handler("sftp", paramiko.SFTPServer, Folder)
    try:
        transport.start_server(server=Auth())
    except (paramiko.SSHException, EOFError, OSError):
        transport.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--known-hosts", required=True)
    args = ap.parse_args()
    Folder.root = os.path.realpath(args.root)
    key = paramiko.RSAKey.generate(2048)

    srv = socket.create_server(("127.0.0.1", 0))
    srv.settimeout(0.5)
    port = srv.getsockname()[1]
    with open(args.known_hosts, "w") as f:
        f.write("[127.0.0.1]:%d %s %s\n" % (port, key.get_name(), key.get_base64()))
    say("READY %d" % port)

    parent = os.getppid()
    while os.getppid() == parent:
        try:
            conn, _ = srv.accept()
        except socket.timeout:
            continue
        threading.Thread(target=serve, args=(conn, key), daemon=True).start()
    # Sessions run on paramiko's own threads; none may outlive the parent.
    os._exit(0)


if __name__ == "__main__":
    main()
