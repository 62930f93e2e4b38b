#!/usr/bin/python3
"""vsftpd in the foreground on a free loopback port, for the publish tests and benchmarks.

Anonymous login (any password) with full write rights over --root, running as the
user who starts it. Prints "READY <port>" once it accepts connections, or
"SKIP <reason>" and exits 3 when vsftpd cannot start. vsftpd ends with this script.
"""
import argparse
import ctypes
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time

VSFTPD = "/usr/sbin/vsftpd"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def die_with_parent():
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    args = ap.parse_args()
    if not os.access(VSFTPD, os.X_OK):
        print("SKIP %s is not installed" % VSFTPD, flush=True)
        sys.exit(3)
    port = free_port()
    conf = tempfile.NamedTemporaryFile("w", suffix=".conf", delete=False)
    conf.write("\n".join([
        "listen=YES", "listen_address=127.0.0.1", "listen_port=%d" % port, "background=NO",
        "run_as_launching_user=YES", "anonymous_enable=YES", "no_anon_password=YES",
        "anon_root=%s" % os.path.realpath(args.root), "write_enable=YES", "anon_upload_enable=YES",
        "anon_mkdir_write_enable=YES", "anon_other_write_enable=YES", "anon_world_readable_only=NO",
        "anon_umask=022", "local_enable=NO", "seccomp_sandbox=NO", "isolate=NO", "isolate_network=NO",
        "max_per_ip=0", "max_clients=0", "xferlog_enable=NO", ""]))
    conf.close()
    proc = subprocess.Popen([VSFTPD, conf.name], preexec_fn=die_with_parent,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            print("SKIP vsftpd ended at start: %s" % proc.stdout.read().decode(errors="replace").strip(),
                  flush=True)
            sys.exit(3)
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            time.sleep(0.05)
    else:
        print("SKIP vsftpd did not listen", flush=True)
        sys.exit(3)
    print("READY %d" % port, flush=True)
    parent = os.getppid()
    try:
        while os.getppid() == parent and proc.poll() is None:
            time.sleep(0.2)
    finally:
        proc.kill()
        os.unlink(conf.name)


if __name__ == "__main__":
    main()
