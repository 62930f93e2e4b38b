#!/usr/bin/python3
"""Kills `quillmark publish` at random moments (SIGKILL, or two SIGINTs) and checks that
one rerun repairs: the server then holds exactly the local files, the manifest names each
with the size and SHA-1 the server holds, and no temporary file is left. Right after each
kill every file at its own name must be one whole version. Files change between versions
of one size (a price from $39 to $49 and back), and are sometimes put back after a kill.

Publishes go over --connections side by side (3); the server "limited" is pyftpdlib
answering "421" past two connections.

Usage: kill_publish.py --quillmark BIN [--server pyftpdlib|limited|msdos] [--trials N] [--seed S]
                       [--connections N]
After each rerun the newest version kept for the server must name as many files and
bytes as there are locally; every third, the one before it must read back whole (a dry-run
roll-back checks every copy against its hash).
Prints one line of figures; exits 1 at the first trial that leaves the server wrong.
"""
import argparse
import hashlib
import json
import os
import random
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"
PREFIX = "~quillmark-part-"


def start_server(kind, root):
    script = "hostile_ftp_server.py" if kind == "msdos" else "ftp_server.py"
    extra = {"msdos": ["--slow"], "limited": ["--max-cons-per-ip", "2"]}.get(kind, [])
    proc = subprocess.Popen([PYTHON, os.path.join(HERE, script), "--root", root] + extra,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = proc.stdout.readline()
    if not line.startswith("READY "):
        raise SystemExit("the %s server did not start" % kind)
    return proc, int(line.split()[1])


def tree(root):
    out = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                out[os.path.relpath(path, root)] = f.read()
    return out


def versions(size, seed):
    """Two contents of one size, as a page at $39 and at $49."""
    rnd = random.Random(seed)
    body = bytes(rnd.randrange(256) for _ in range(size - 3))
    return [b"$39" + body, b"$49" + body]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--quillmark", required=True)
    ap.add_argument("--server", default="pyftpdlib", choices=["pyftpdlib", "limited", "msdos"])
    ap.add_argument("--connections", type=int, default=3)
    ap.add_argument("--trials", type=int, default=20)
    ap.add_argument("--seed", type=int, default=int(time.time()))
    args = ap.parse_args()
    rnd = random.Random(args.seed)

    with tempfile.TemporaryDirectory() as work:
        local, remote, data = (os.path.join(work, d) for d in ("site", "server", "data"))
        os.makedirs(os.path.join(remote, "www"))
        server, port = start_server(args.server, remote)
        sizes = {"index.htm": 6000, "order.htm": 3000, "style.css": 900, "img/logo.gif": 40000,
                 "img/shot.png": 1500000, "img/deep/x.png": 200, "download.zip": 700000}
        kinds = {name: versions(size, i) for i, (name, size) in enumerate(sorted(sizes.items()))}
        chosen = {name: 0 for name in kinds}

        def write(name):
            path = os.path.join(local, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(kinds[name][chosen[name]])

        for name in kinds:
            write(name)
        env = dict(os.environ, QUILLMARK_DATA=data, QM_KILL_PASSWORD="secret", QT_QPA_PLATFORM="offscreen")
        command = [args.quillmark, "publish", local, "--to", "ftp://user@127.0.0.1:%d/www" % port,
                   "--password-env", "QM_KILL_PASSWORD", "--connections", str(args.connections), "--json"]

        def publish(kill_after=None, interrupt=False):
            started = time.monotonic()
            proc = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            if kill_after is None:
                out, err = proc.communicate(timeout=120)
                return proc.returncode, out, err, time.monotonic() - started
            try:
                proc.wait(timeout=kill_after)
            except subprocess.TimeoutExpired:
                if interrupt:
                    proc.send_signal(signal.SIGINT)
                    time.sleep(rnd.uniform(0, 0.05))
                    proc.send_signal(signal.SIGINT)
                else:
                    proc.kill()
            proc.communicate(timeout=120)
            return proc.returncode, b"", b"", time.monotonic() - started

        status, out, err, full = publish()
        if status != 0:
            print(err.decode(errors="replace"), file=sys.stderr)
            raise SystemExit("the first publish failed (%d)" % status)
        killed = interrupted = 0
        repair_times = []
        for trial in range(args.trials):
            previous = dict(chosen)
            for name in kinds:
                if rnd.random() < 0.5:
                    chosen[name] ^= 1
                    write(name)
            interrupt = rnd.random() < 0.25
            status, _, _, _ = publish(rnd.uniform(0, full * 1.2), interrupt)
            if status < 0 or (interrupt and status != 0):
                killed += not interrupt
                interrupted += interrupt
            # Even right after the kill, a visitor gets one whole version of each file.
            cut = sorted(k for k, v in tree(os.path.join(remote, "www")).items()
                         if not os.path.basename(k).startswith(PREFIX) and v not in kinds[k])
            if cut:
                print("trial %d (seed %d) failed: files cut short at their own names: %s" % (trial, args.seed, cut))
                server.kill()
                return 1
            # Sometimes the user puts a file back the way it was before the killed run.
            for name in kinds:
                if chosen[name] != previous[name] and rnd.random() < 0.3:
                    chosen[name] = previous[name]
                    write(name)
            status, out, err, took = publish()
            repair_times.append(took)
            problems = []
            if status != 0:
                problems.append("the rerun exited with %d: %s" % (status, err.decode(errors="replace")))
            on_server = tree(os.path.join(remote, "www"))
            expected = tree(local)
            if {k: v for k, v in on_server.items() if not os.path.basename(k).startswith(PREFIX)} != expected:
                wrong = sorted(k for k in expected if on_server.get(k) != expected[k])
                problems.append("the server differs from the local files: %s" % wrong)
            if any(os.path.basename(k).startswith(PREFIX) for k in on_server):
                problems.append("temporary files left: %s" % sorted(on_server))
            manifests = os.path.join(data, "manifests")
            entries = {}
            for m in os.listdir(manifests) if os.path.isdir(manifests) else []:
                with open(os.path.join(manifests, m), "rb") as f:
                    for line in f.read().decode().splitlines():
                        if line and not line.startswith("#"):
                            size, sha1, path = line.split("\t", 2)
                            entries[path] = (int(size), sha1)
            held = {k: (len(v), hashlib.sha1(v).hexdigest()) for k, v in on_server.items()}
            if entries != {k: held.get(k) for k in expected}:
                problems.append("the manifest differs from the server: %s" % sorted(
                    k for k in set(entries) | set(expected) if entries.get(k) != held.get(k)))
            if not problems:
                listed = subprocess.run([args.quillmark, "versions", "--to", command[4], "--json"], env=env,
                                        capture_output=True, timeout=120)
                kept = json.loads(listed.stdout or b"{}").get("versions", [])
                if listed.returncode != 0 or not kept or (kept[0]["files"], kept[0]["bytes"]) != (
                        len(expected), sum(len(v) for v in expected.values())):
                    problems.append("the newest version is not the local files: %s" % kept[:1])
                elif len(kept) > 1 and trial % 3 == 0:  # a roll-back reads every copy: now and then
                    back = subprocess.run([args.quillmark, "publish", "--rollback", "1", "--dry-run"] + command[3:-1],
                                          env=env, capture_output=True, timeout=120)
                    if back.returncode != 0:
                        problems.append("the version before is not whole: %s" % back.stderr.decode(errors="replace"))
            if problems:
                print("trial %d (seed %d) failed:\n  %s\n%s" % (trial, args.seed, "\n  ".join(problems),
                                                              out.decode(errors="replace")))
                server.kill()
                return 1
        server.kill()
        repair_times.sort()
        print("%s: %d trials (seed %d), %d killed, %d stopped by two Ctrl+C, all repaired by one rerun; "
              "a full publish %.2f s, a rerun median %.2f s, max %.2f s"
              % (args.server, args.trials, args.seed, killed, interrupted, full,
                 repair_times[len(repair_times) // 2], repair_times[-1]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
