#!/usr/bin/python3
"""`quillmark publish` beside lftp and rclone, side by side in one run.

A site of 300 files of 20 KB in 5 folders goes to vsftpd, plain on loopback and
through delay_proxy.py (50 ms of round trip on the control and the data connections),
first into an empty folder, then again unchanged; and to OpenSSH's sshd over SFTP
through the same delay. Each case runs every tool once per round, --rounds times
(3), and reports the median wall time and CPU time (user + system of the tool and
its children) with the ratio to each peer. The loopback case takes a fraction of
a second, so it runs --loopback-rounds times (9), and its first publish also has
`curl --parallel --parallel-max 4` sending the same files as a peer. Each quillmark
run starts from a data folder set up beforehand (untimed) and holding nothing of
a publish, as a user's would be before the first publish to a server. --also runs a
second build of quillmark (another version, say) beside the first, as a peer.

Usage (as root: sshd needs it):
  peers_bench.py --quillmark build/bin/quillmark [--rounds 3] [--loopback-rounds 9]
                 [--connections 4] [--only ftp|sftp] [--also OTHER/quillmark]
                 [--busy-disk MB]

--busy-disk leaves MB of another program's data unwritten on the work folder's disk
before each timed run (untimed), as a user's browser or build would: a tool that
syncs more than its own files waits for all of it.
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"
VSFTPD = os.path.join(HERE, "..", "..", "tests", "publish", "vsftpd_server.py")


def started(args):
    proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = proc.stdout.readline()
    if not line.startswith("READY "):
        raise SystemExit("did not start: %s (%s)" % (" ".join(args), line.strip()))
    return proc, int(line.split()[1])


def make_site(folder):
    rnd = random.Random(7)
    for f in range(5):
        os.makedirs(os.path.join(folder, "f%d" % f))
        for i in range(60):
            name = "page%d.htm" % i if i % 10 == 0 else "pic%d.gif" % i
            with open(os.path.join(folder, "f%d" % f, name), "wb") as out:
                out.write(rnd.randbytes(20 * 1024))


def busy(work, mb):
    """MB of unwritten data in work/busy.bin; 0 removes it and puts the disk at rest."""
    path = os.path.join(work, "busy.bin")
    if mb:
        block = os.urandom(1 << 20)
        with open(path, "wb") as out:
            for _ in range(mb):
                out.write(block)
    elif os.path.exists(path):
        os.remove(path)
        os.sync()


def timed(command, env):
    """Wall seconds and CPU seconds (user + system, children included)."""
    # Standard error goes to a file: a pipe read only after the end would stall a
    # tool that writes more than the pipe holds (a progress line a file).
    with tempfile.TemporaryFile() as errors:
        start = time.monotonic()
        proc = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=errors)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.monotonic() - start
        errors.seek(0)
        err = errors.read().decode(errors="replace")
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise SystemExit("failed (%d): %s\n%s" % (proc.returncode, " ".join(command), err[-2000:]))
    return wall, usage.ru_utime + usage.ru_stime


def curl_parallel(site, url, connections):
    """One curl sending every file of the site, `connections` at a time."""
    command = ["curl", "-sS", "--parallel", "--parallel-max", str(connections), "--ftp-create-dirs",
               "-u", "anonymous:x"]
    for folder, _, names in sorted(os.walk(site)):
        for n in sorted(names):
            path = os.path.join(folder, n)
            command += ["-T", path, "%s/%s" % (url, os.path.relpath(path, site))]
    return command


def same_tree(a, b):
    def files(root):
        out = {}
        for folder, _, names in os.walk(root):
            for n in names:
                with open(os.path.join(folder, n), "rb") as f:
                    out[os.path.relpath(os.path.join(folder, n), root)] = f.read()
        return out
    return files(a) == files(b)


def median(values):
    return sorted(values)[len(values) // 2]


class Sshd:
    def __init__(self, work):
        self.dir = os.path.join(work, "ssh")
        os.makedirs(os.path.join(self.dir, "home", ".ssh"))
        for key in ("host", "user"):
            subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", os.path.join(self.dir, key)],
                           check=True)
        shutil.copy(os.path.join(self.dir, "user.pub"), os.path.join(self.dir, "authorized_keys"))
        # libcurl takes ~/.ssh/id_rsa whatever its type.
        shutil.copy(os.path.join(self.dir, "user"), os.path.join(self.dir, "home", ".ssh", "id_rsa"))
        with socket_free() as port:
            self.port = port
        with open(os.path.join(self.dir, "sshd_config"), "w") as conf:
            conf.write("\n".join([
                "Port %d" % self.port, "ListenAddress 127.0.0.1", "HostKey %s/host" % self.dir,
                "PidFile %s/sshd.pid" % self.dir, "AuthorizedKeysFile %s/authorized_keys" % self.dir,
                "PermitRootLogin prohibit-password", "PasswordAuthentication no", "UsePAM no",
                "StrictModes no", "Subsystem sftp /usr/lib/openssh/sftp-server", ""]))
        os.makedirs("/run/sshd", exist_ok=True)
        self.proc = subprocess.Popen(["/usr/sbin/sshd", "-D", "-f", os.path.join(self.dir, "sshd_config")],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(0.5)

    def trust(self, port):
        """known_hosts for HOME=self.home with the host key at `port` (the proxy's)."""
        with open(os.path.join(self.dir, "host.pub")) as f:
            kind, key = f.read().split()[:2]
        with open(os.path.join(self.dir, "home", ".ssh", "known_hosts"), "w") as f:
            f.write("[127.0.0.1]:%d %s %s\n" % (port, kind, key))

    @property
    def home(self):
        return os.path.join(self.dir, "home")

    def ssh_command(self):
        return ("ssh -a -x -o UserKnownHostsFile=%s/home/.ssh/known_hosts -o StrictHostKeyChecking=yes "
                "-i %s/user" % (self.dir, self.dir))

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait()


class socket_free:
    def __enter__(self):
        import socket
        self.s = socket.socket()
        self.s.bind(("127.0.0.1", 0))
        return self.s.getsockname()[1]

    def __exit__(self, *_):
        self.s.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--quillmark", required=True)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--connections", type=int, default=4)
    ap.add_argument("--delay-ms", type=float, default=50)
    ap.add_argument("--loopback-rounds", type=int, default=9)
    ap.add_argument("--only", choices=["ftp", "sftp"])
    ap.add_argument("--also", help="another quillmark, run beside the first as a peer")
    ap.add_argument("--busy-disk", type=int, default=0, metavar="MB")
    args = ap.parse_args()
    quillmark = os.path.realpath(args.quillmark)
    also = os.path.realpath(args.also) if args.also else None
    ours = ["quillmark"] + (["also"] if also else [])
    work = tempfile.mkdtemp(prefix="qm-peers-")
    site = os.path.join(work, "site")
    make_site(site)
    results = {}  # (case, tool) -> [(wall, cpu)]
    procs = []
    try:
        cases = []
        if args.only != "sftp":
            root = os.path.join(work, "ftp")
            os.makedirs(root)
            vsftpd, port = started([PYTHON, VSFTPD, "--root", root])
            delayed, dport = started([PYTHON, os.path.join(HERE, "delay_proxy.py"), "--port", str(port),
                                      "--delay-ms", str(args.delay_ms), "--ftp"])
            procs += [vsftpd, delayed]
            cases += [("vsftpd %g ms" % args.delay_ms, "ftp", dport, root),
                      ("vsftpd loopback", "ftp", port, root)]
        sshd = None
        if args.only != "ftp":
            sshd = Sshd(work)
            sproxy, sport = started([PYTHON, os.path.join(HERE, "delay_proxy.py"), "--port", str(sshd.port),
                                     "--delay-ms", str(args.delay_ms)])
            procs.append(sproxy)
            sshd.trust(sport)
            cases.append(("sshd %g ms" % args.delay_ms, "sftp", sport, os.path.join(work, "sftp")))
        obscured = subprocess.run(["rclone", "obscure", "x"], capture_output=True, text=True,
                                  check=True).stdout.strip()
        env = dict(os.environ, QM_BENCH_PASSWORD="x", QT_QPA_PLATFORM="offscreen")
        # A user publishes with a data folder set up long ago; its first use (the sample
        # products copied in, each with a sync) is no part of a publish, and lftp and
        # curl pay nothing like it. So each quillmark sets one up once, untimed, with a
        # command that sends nothing, and each run gets a copy of it: no manifest, no
        # versions and no hash cache, so the first publish still does all of that work.
        prepared = {}
        for tool, binary in (("quillmark", quillmark), ("also", also)):
            if binary:
                prepared[tool] = os.path.join(work, "prepared-" + tool)
                subprocess.run([binary, "versions", "--to", "ftp://127.0.0.1/x"], check=True,
                               env=dict(env, QUILLMARK_DATA=prepared[tool]), stdout=subprocess.DEVNULL)
                if sorted(os.listdir(prepared[tool])) != ["sites", "templates"]:
                    raise SystemExit("%s set up more than its data folder: %s"
                                     % (binary, os.listdir(prepared[tool])))
        n = 0
        for rnd in range(max(args.rounds, args.loopback_rounds)):
            for case, scheme, port, root in cases:
                loopback = case.endswith("loopback")
                if rnd >= (args.loopback_rounds if loopback else args.rounds):
                    continue
                tools = ours + ["lftp"] + (["rclone"] if scheme == "ftp" else []) + (["curl"] if loopback else [])
                # The tool that runs first in a round pays more (about a tenth on loopback):
                # each round starts with the next one.
                tools = tools[rnd % len(tools):] + tools[:rnd % len(tools)]
                for tool in tools:
                    binary = also if tool == "also" else quillmark
                    n += 1
                    folder = "run%d" % n
                    data = os.path.join(work, "data%d" % n)
                    if tool in prepared:
                        shutil.copytree(prepared[tool], data)
                    if scheme == "ftp":
                        os.makedirs(os.path.join(root, folder))
                        qm = [binary, "publish", site, "--to",
                              "ftp://anonymous@127.0.0.1:%d/%s" % (port, folder),
                              "--password-env", "QM_BENCH_PASSWORD", "--connections", str(args.connections)]
                        lftp = ["lftp", "-e", "set cmd:fail-exit yes; mirror -R -P 4 %s %s; quit" % (site, folder),
                                "ftp://anonymous:x@127.0.0.1:%d" % port]
                        lftp_again = ["lftp", "-e", "set cmd:fail-exit yes; mirror -R --only-newer -P 4 %s %s; quit"
                                      % (site, folder), "ftp://anonymous:x@127.0.0.1:%d" % port]
                        remote = ":ftp,host=127.0.0.1,port=%d,user=anonymous,pass=%s:%s" % (port, obscured, folder)
                        rcl = ["rclone", "copy", site, remote, "--transfers", "4", "--config", "/dev/null"]
                        curl = curl_parallel(site, "ftp://127.0.0.1:%d/%s" % (port, folder), 4)
                        commands = {"quillmark": (qm, qm), "also": (qm, qm), "lftp": (lftp, lftp_again),
                                    "rclone": (rcl, rcl), "curl": (curl, None)}
                        tenv = dict(env, QUILLMARK_DATA=data)
                    else:
                        target = os.path.join(root, folder)
                        os.makedirs(target)
                        qm = [binary, "publish", site, "--to", "sftp://root@127.0.0.1:%d%s" % (port, target),
                              "--connections", str(args.connections)]
                        lftp = ["lftp", "-e", "set sftp:connect-program '%s'; set cmd:fail-exit yes; "
                                "mirror -R -P 4 %s %s; quit" % (sshd.ssh_command(), site, target),
                                "sftp://root:x@127.0.0.1:%d" % port]
                        commands = {"quillmark": (qm, None), "also": (qm, None), "lftp": (lftp, None)}
                        tenv = dict(env, QUILLMARK_DATA=data, HOME=sshd.home)
                        target_root = target
                    first, again = commands[tool]
                    busy(work, args.busy_disk)
                    results.setdefault((case + ", first", tool), []).append(timed(first, tenv))
                    dest = os.path.join(root, folder) if scheme == "ftp" else target_root
                    if not same_tree(site, dest):
                        raise SystemExit("%s left %s unlike the site" % (tool, dest))
                    if again:
                        busy(work, args.busy_disk)
                        results.setdefault((case + ", unchanged", tool), []).append(timed(again, tenv))
                    busy(work, 0)
                    print(".", end="", flush=True)
        print()
        if sshd:
            sshd.stop()
    finally:
        for p in procs:
            p.kill()
        shutil.rmtree(work, ignore_errors=True)

    load = os.getloadavg()
    print("load average at the end: %.2f %.2f %.2f; quillmark --connections %d; ratio = quillmark / tool"
          % (load + (args.connections,)))
    print("%-28s %-10s %8s %8s %14s %14s" % ("case", "tool", "wall s", "CPU s", "wall ratio", "CPU ratio"))
    for case in dict.fromkeys(c for c, _ in results):
        ours = results[(case, "quillmark")]
        qw, qc = median([w for w, _ in ours]), median([c for _, c in ours])
        for tool in ("quillmark", "also", "lftp", "rclone", "curl"):
            if (case, tool) not in results:
                continue
            runs = results[(case, tool)]
            n_runs = len(runs)
            w, c = median([x for x, _ in runs]), median([y for _, y in runs])
            ratio = "" if tool == "quillmark" else "%.2fx" % (qw / w)
            cratio = "" if tool == "quillmark" else "%.2fx" % (qc / c if c else 0)
            print("%-28s %-10s %8.3f %8.3f %14s %14s   (n=%d)" % (case, tool, w, c, ratio, cratio, n_runs))
    return 0


if __name__ == "__main__":
    sys.exit(main())
