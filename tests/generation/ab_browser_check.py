#!/usr/bin/python3
"""A page with two versions in a real browser (headless Chromium over the DevTools protocol).

Generates the sample product with a second version and counting to this server's own
endpoint, then loads it LOADS times, each time as a new visitor (a fresh incognito
context): both versions come up in about even shares, each visitor keeps its version on
reload, no painted frame ever shows the other version's texts, a visitor without script
sees version A, and a click on the order link sends {"event","variant","page"} here.

Usage: ab_browser_check.py QUILLMARK_PROGRAM SOURCE_DIR
Exit 77 (skipped) when chromium is not installed.
"""

import base64
import http.server
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

LOADS = int(os.environ.get("AB_LOADS", "200"))
SKIP = 77

A_PITCH = "Invoices, timesheets and payments for freelancers"
B_PITCH = "Books that balance themselves"
A_WORDS = "Get Ledgerlark"
B_WORDS = "Start balancing"

# Runs before the page's own script, in every frame: records, before each painted frame,
# which version's texts the reader could see.
FRAME_WATCH = """
window.__seen = {a: 0, b: 0, frames: 0};
(function watch() {
  if (document.body) {
    var t = document.body.innerText;
    window.__seen.frames++;
    if (t.indexOf(%s) >= 0 || t.indexOf(%s) >= 0) window.__seen.a++;
    if (t.indexOf(%s) >= 0 || t.indexOf(%s) >= 0) window.__seen.b++;
  }
  if (document.readyState !== 'complete' || window.__seen.frames < 2) requestAnimationFrame(watch);
})();
""" % tuple(json.dumps(s) for s in (A_PITCH, A_WORDS, B_PITCH, B_WORDS))


class WebSocket:
    """Just enough of RFC 6455 for the DevTools protocol: text frames, client masking."""

    def __init__(self, url):
        u = urllib.parse.urlparse(url)
        self.sock = socket.create_connection((u.hostname, u.port), timeout=30)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET {u.path} HTTP/1.1\r\nHost: {u.hostname}:{u.port}\r\n"
                           "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                           f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n").encode())
        self.buf = b""
        while b"\r\n\r\n" not in self.buf:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise RuntimeError("DevTools closed the connection")
            self.buf += chunk
        head, self.buf = self.buf.split(b"\r\n\r\n", 1)
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise RuntimeError("DevTools refused the WebSocket: " + head.decode(errors="replace"))

    def _read(self, n):
        while len(self.buf) < n:
            chunk = self.sock.recv(1 << 16)
            if not chunk:
                raise RuntimeError("DevTools closed the connection")
            self.buf += chunk
        data, self.buf = self.buf[:n], self.buf[n:]
        return data

    def _frame(self, opcode, payload):
        header = bytearray([0x80 | opcode])
        n = len(payload)
        if n < 126:
            header.append(0x80 | n)
        elif n < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", n)
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", n)
        mask = os.urandom(4)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(bytes(header) + mask + masked)

    def send(self, text):
        self._frame(0x1, text.encode())

    def recv(self):
        message = b""
        while True:
            b0, b1 = self._read(2)
            n = b1 & 0x7F
            if n == 126:
                n = struct.unpack(">H", self._read(2))[0]
            elif n == 127:
                n = struct.unpack(">Q", self._read(8))[0]
            payload = self._read(n)
            opcode = b0 & 0x0F
            if opcode == 0x9:
                self._frame(0xA, payload)
                continue
            if opcode == 0x8:
                raise RuntimeError("DevTools closed the WebSocket")
            message += payload
            if b0 & 0x80:
                return message.decode()


class DevTools:
    def __init__(self, url):
        self.ws = WebSocket(url)
        self.next_id = 0
        self.events = []

    def call(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        self.ws.send(json.dumps(message))
        while True:
            reply = json.loads(self.ws.recv())
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            if "method" in reply:
                self.events.append(reply)

    def wait(self, method, session, timeout=15):
        deadline = time.time() + timeout
        while time.time() < deadline:
            for i, event in enumerate(self.events):
                if event["method"] == method and event.get("sessionId") == session:
                    del self.events[i]
                    return event
            self.ws.sock.settimeout(max(0.1, deadline - time.time()))
            try:
                self.events.append(json.loads(self.ws.recv()))
            except socket.timeout:
                break
            finally:
                self.ws.sock.settimeout(30)
        raise RuntimeError(f"no {method} within {timeout} s")

    def value(self, session, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True}, session)
        return result["result"].get("value")


class Visitor:
    """One visitor: a fresh incognito context (its own storage) with one tab."""

    def __init__(self, tools, scripted=True):
        self.tools = tools
        self.context = tools.call("Target.createBrowserContext", {"disposeOnDetach": True})["browserContextId"]
        target = tools.call("Target.createTarget", {"url": "about:blank", "browserContextId": self.context})
        self.session = tools.call("Target.attachToTarget", {"targetId": target["targetId"], "flatten": True})[
            "sessionId"]
        tools.call("Page.enable", {}, self.session)
        tools.call("Page.addScriptToEvaluateOnNewDocument", {"source": FRAME_WATCH}, self.session)
        if not scripted:
            tools.call("Emulation.setScriptExecutionDisabled", {"value": True}, self.session)

    def load(self, url):
        self.tools.call("Page.navigate", {"url": url}, self.session)
        self.tools.wait("Page.loadEventFired", self.session)

    def reload(self):
        self.tools.call("Page.reload", {}, self.session)
        self.tools.wait("Page.loadEventFired", self.session)

    def state(self):
        # Two frames after the load: the watch has seen at least one painted frame.
        self.tools.call("Runtime.evaluate", {
            "expression": "new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))",
            "awaitPromise": True}, self.session)
        return self.tools.value(self.session, "({variant: document.documentElement.dataset.variant || '',"
                                              " seen: window.__seen, text: document.body.innerText})")

    def close(self):
        self.tools.call("Target.disposeBrowserContext", {"browserContextId": self.context})


class Site(http.server.SimpleHTTPRequestHandler):
    beacons = []

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        if self.path == "/count":
            Site.beacons.append(json.loads(body or b"{}"))
        self.send_response(204)
        self.end_headers()

    def do_GET(self):
        if self.path.startswith("/buy"):
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.end_headers()
            self.wfile.write(b"ordered")
            return
        super().do_GET()

    def log_message(self, *args):
        pass


def product(source, port):
    lines = []
    with open(os.path.join(source, "sites", "Ledgerlark.ini"), encoding="latin-1") as f:
        for line in f.read().splitlines():
            if not line.startswith(("txtPurchaseURL=", "txtSpecialPrice=")):
                lines.append(line)
    at = lines.index("[TEXT]") + 1
    lines[at:at] = [f"txtPurchaseURL=http://127.0.0.1:{port}/buy", "txtSpecialPrice=$29",
                    f"txtButtonText={A_WORDS}", "chkTryVariantB=1", f"txtOneLinerB={B_PITCH}",
                    f"txtButtonTextB={B_WORDS}", "txtSpecialPriceB=$24", "cmbCounting=endpoint",
                    "txtCountingAddress=/count"]
    return "\r\n".join(lines) + "\r\n"


def main():
    program, source = sys.argv[1], sys.argv[2]
    chromium = shutil.which("chromium") or ("/usr/bin/chromium" if os.path.exists("/usr/bin/chromium") else None)
    if not chromium:
        print("SKIPPED: chromium is not installed (apt-get install chromium, see scripts/setup-deps.sh)")
        return SKIP
    started = time.time()
    work = tempfile.mkdtemp(prefix="ab-browser-")
    browser = None
    try:
        site = os.path.join(work, "site")
        os.makedirs(site)
        server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), lambda *a, **k: Site(*a, directory=site, **k))
        port = server.server_address[1]
        threading.Thread(target=server.serve_forever, daemon=True).start()

        ini = os.path.join(work, "Ledgerlark-ab.ini")
        with open(ini, "w", encoding="latin-1", newline="") as f:
            f.write(product(source, port))
        env = dict(os.environ, QUILLMARK_DATA=os.path.join(work, "data"))
        env.pop("DISPLAY", None)
        made = subprocess.run([program, "generate", "--product", ini, "--template", "Clarity", "--out",
                               os.path.join(site, "index.htm")], env=env, capture_output=True, text=True)
        if made.returncode != 0:
            print("generate failed:", made.stdout, made.stderr)
            return 1
        url = f"http://127.0.0.1:{port}/index.htm"

        profile = os.path.join(work, "profile")
        browser = subprocess.Popen(
            [chromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             f"--user-data-dir={profile}", "--remote-debugging-port=0", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        active = os.path.join(profile, "DevToolsActivePort")
        deadline = time.time() + 30
        while not (os.path.exists(active) and len(open(active).read().split()) >= 2):
            if time.time() > deadline or browser.poll() is not None:
                print("chromium did not open its DevTools port")
                return 1
            time.sleep(0.1)
        debug_port, path = open(active).read().split()[:2]
        tools = DevTools(f"ws://127.0.0.1:{debug_port}{path}")

        failures = []
        shares = {"a": 0, "b": 0}
        flashes = 0
        # One incognito tab; each visitor starts with the site's storage emptied, which is
        # all a new visitor differs by here (a new context per visitor costs a renderer each).
        visitor = Visitor(tools)
        origin = f"http://127.0.0.1:{port}"
        for i in range(LOADS):
            tools.call("Storage.clearDataForOrigin", {"origin": origin, "storageTypes": "local_storage"},
                       visitor.session)
            visitor.load(url)
            first = visitor.state()
            variant = first["variant"]
            if variant not in shares:
                failures.append(f"load {i}: no version chosen ({variant!r})")
                continue
            shares[variant] += 1
            other = "b" if variant == "a" else "a"
            seen = first["seen"]
            if seen[other] or not seen[variant]:
                flashes += 1
                failures.append(f"load {i}: version {variant} painted {seen}")
            visitor.reload()
            again = visitor.state()
            if again["variant"] != variant or again["seen"][other]:
                failures.append(f"load {i}: version {variant} became {again['variant']} on reload")
        visitor.close()

        # Without script: version A, and nothing of B's texts.
        plain = Visitor(tools, scripted=False)
        plain.load(url)
        text = plain.tools.value(plain.session, "document.body.innerText")
        if A_PITCH not in text or A_WORDS not in text or B_PITCH in text or B_WORDS in text:
            failures.append("without script the page does not show version A alone")
        plain.close()

        # An order click, forced to B for checking, reaches the endpoint with its version.
        del Site.beacons[:]
        buyer = Visitor(tools)
        buyer.load(url + "?variant=b")
        buyer.tools.value(buyer.session, "document.querySelector('.order a').click()")
        deadline = time.time() + 10
        while time.time() < deadline and not any(b.get("event") == "order" for b in Site.beacons):
            time.sleep(0.05)
        orders = [b for b in Site.beacons if b.get("event") == "order"]
        if orders != [{"event": "order", "variant": "b", "page": "/index.htm"}]:
            failures.append(f"order beacon: {Site.beacons}")
        buyer.close()

        elapsed = time.time() - started
        a_share = shares["a"] / max(1, shares["a"] + shares["b"])
        print(f"{LOADS} visitors: A {shares['a']}, B {shares['b']} ({a_share:.0%} A); "
              f"frames with the other version: {flashes}; {elapsed:.1f} s")
        # Even shares: 200 fair coin tosses stay within 60 to 140 but for one run in 10^6.
        if not 60 <= shares["a"] <= 140:
            failures.append(f"uneven shares: {shares}")
        for failure in failures[:20]:
            print("FAIL:", failure)
        return 1 if failures else 0
    finally:
        if browser:
            browser.terminate()
            try:
                browser.wait(10)
            except subprocess.TimeoutExpired:
                browser.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
