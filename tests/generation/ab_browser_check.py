#!/usr/bin/python3
"""A page with two versions in headless Chromium (DevTools protocol): LOADS new visitors get
both versions in about even shares, keep theirs on reload and never see a painted frame of
the other; without script the page shows A; an order click sends its beacon here. Arguments:
QUILLMARK_PROGRAM SOURCE_DIR; exit 77 (skipped) without chromium."""
import base64, http.server, json, os, shutil, socket, struct, subprocess, sys, tempfile, threading, time

LOADS = int(os.environ.get("AB_LOADS", "100"))
A_PITCH, B_PITCH = "Invoices, timesheets and payments for freelancers", "Books that balance themselves"
A_WORDS, B_WORDS = "Get Ledgerlark", "Start balancing"
# rAF runs right before each painted frame: which version's texts does that frame show?
FRAME_WATCH = """window.__seen = {a: 0, b: 0}; (function watch() {
  var t = document.body ? document.body.innerText : '', s = window.__seen;
  if (t.indexOf(%s) >= 0 || t.indexOf(%s) >= 0) s.a++;
  if (t.indexOf(%s) >= 0 || t.indexOf(%s) >= 0) s.b++;
  if (document.readyState !== 'complete' || !(s.a || s.b)) requestAnimationFrame(watch); })();""" % tuple(
    json.dumps(s) for s in (A_PITCH, A_WORDS, B_PITCH, B_WORDS))


class DevTools:
    """The browser's DevTools WebSocket: just enough of RFC 6455 (masked text frames)."""
    def __init__(self, port, path):
        self.sock = socket.create_connection(("127.0.0.1", int(port)), timeout=30)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall(f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                          f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n".encode())
        self.buf, self.next_id, self.events = b"", 0, []
        while b"\r\n\r\n" not in self.buf:
            self._fill()
        assert b" 101 " in self._read(self.buf.index(b"\r\n\r\n") + 4)

    def _fill(self):
        self.buf += self.sock.recv(1 << 16) or sys.exit("DevTools closed the connection")
    def _read(self, n):
        while len(self.buf) < n:
            self._fill()
        data, self.buf = self.buf[:n], self.buf[n:]
        return data

    def _send(self, opcode, data):
        n, mask = len(data), os.urandom(4)
        size = bytes([0x80 | n]) if n < 126 else bytes([0xFE]) + struct.pack(">H", n)  # requests stay small
        self.sock.sendall(bytes([0x80 | opcode]) + size + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def _message(self):
        message = b""
        while True:
            b0, b1 = self._read(2)
            n = {126: lambda: struct.unpack(">H", self._read(2))[0],
                 127: lambda: struct.unpack(">Q", self._read(8))[0]}.get(b1 & 0x7F, lambda: b1 & 0x7F)()
            payload = self._read(n)
            if b0 & 0x0F == 0x9:
                self._send(0xA, payload)
                continue
            message += payload
            if b0 & 0x80:
                return json.loads(message)

    def call(self, method, params=None, session=None):
        self.next_id += 1
        self._send(0x1, json.dumps({"id": self.next_id, "method": method, "params": params or {},
                                    **({"sessionId": session} if session else {})}).encode())
        while True:
            reply = self._message()
            if reply.get("id") != self.next_id:
                self.events.append(reply)
            elif "error" in reply:
                raise RuntimeError(f"{method}: {reply['error']}")
            else:
                return reply.get("result", {})


class Tab:
    """A tab in a new incognito context: storage of its own."""
    def __init__(self, tools, url=None, scripted=True):
        self.tools, context = tools, tools.call("Target.createBrowserContext")["browserContextId"]
        target = tools.call("Target.createTarget", {"url": "about:blank", "browserContextId": context})["targetId"]
        self.session = tools.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        self.call("Page.enable")
        self.call("Page.addScriptToEvaluateOnNewDocument", {"source": FRAME_WATCH})
        self.call("Emulation.setScriptExecutionDisabled", {"value": not scripted})
        if url:
            self.go("Page.navigate", {"url": url})

    def call(self, method, params=None):
        return self.tools.call(method, params, self.session)
    def go(self, method, params=None):
        self.call(method, params)
        deadline, loaded = time.time() + 20, lambda e: e.get("method") == "Page.loadEventFired"
        while not any(loaded(e) for e in self.tools.events):
            assert time.time() < deadline, "the page did not load"
            self.tools.events.append(self.tools._message())
        self.tools.events = [e for e in self.tools.events if not loaded(e)]

    def value(self, expression):
        return self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                              "awaitPromise": True})["result"].get("value")

    def state(self):  # two frames after the load, so that the watch saw one painted
        return self.value("new Promise(r => requestAnimationFrame(() => requestAnimationFrame(() => "
                          "r([document.documentElement.dataset.variant || '', window.__seen]))))")


class Site(http.server.SimpleHTTPRequestHandler):
    beacons = []
    log_message = lambda *args: None
    def do_POST(self):
        Site.beacons.append(json.loads(self.rfile.read(int(self.headers.get("Content-Length", 0))) or b"{}"))
        self.send_response(204)
        self.end_headers()


def main():
    program, source = sys.argv[1:3]
    if not (chromium := shutil.which("chromium")):
        print("SKIPPED: chromium is not installed (apt-get install chromium, see scripts/setup-deps.sh)")
        return 77
    started, work, browser, failures = time.time(), tempfile.mkdtemp(prefix="ab-browser-"), None, []
    try:
        os.makedirs(site := os.path.join(work, "site"))
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), lambda *a: Site(*a, directory=site))
        origin = f"http://127.0.0.1:{server.server_address[1]}"
        threading.Thread(target=server.serve_forever, daemon=True).start()
        # The sample product with a second version, and ordering and counting on this server.
        with open(os.path.join(source, "sites", "Ledgerlark.ini"), encoding="latin-1") as f:
            lines = [l for l in f.read().splitlines() if not l.startswith(("txtPurchaseURL=", "txtSpecialPrice="))]
        lines[1:1] = [f"txtPurchaseURL={origin}/buy", "txtSpecialPrice=$29", f"txtButtonText={A_WORDS}",
                      "chkTryVariantB=1", f"txtOneLinerB={B_PITCH}", f"txtButtonTextB={B_WORDS}",
                      "txtSpecialPriceB=$24", "cmbCounting=endpoint", "txtCountingAddress=/count"]
        with open(os.path.join(work, "ab.ini"), "w", encoding="latin-1", newline="") as f:
            f.write("\r\n".join(lines) + "\r\n")
        subprocess.run([program, "generate", "--product", f.name, "--template", "Clarity", "--out",
                        os.path.join(site, "index.htm")], env=dict(os.environ, QUILLMARK_DATA=work + "/data"),
                       check=True)
        url, profile = origin + "/index.htm", os.path.join(work, "profile")
        browser = subprocess.Popen([chromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                                    "--no-first-run", "--disable-background-networking", "--disable-component-update",
                                    "--disable-sync", f"--user-data-dir={profile}", "--remote-debugging-port=0"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        active, deadline = os.path.join(profile, "DevToolsActivePort"), time.time() + 30
        while len(open(active).read().split() if os.path.exists(active) else []) < 2:
            assert time.time() < deadline and browser.poll() is None, "chromium opened no DevTools port"
            time.sleep(0.1)
        tools = DevTools(*open(active).read().split()[:2])
        # Each visitor: the site's storage emptied (cheaper than a context each), a load, a reload.
        shares, tab = {"a": 0, "b": 0}, Tab(tools)
        for i in range(LOADS):
            tab.call("Storage.clearDataForOrigin", {"origin": origin, "storageTypes": "local_storage"})
            tab.go("Page.navigate", {"url": url})
            variant, seen = tab.state()
            other = "b" if variant == "a" else "a"
            shares[variant] = shares.get(variant, 0) + 1
            if seen[other] or not seen[variant]:
                failures.append(f"load {i}: version {variant!r} painted {seen}")
            tab.go("Page.reload")
            again, seen_again = tab.state()
            if again != variant or seen_again[other]:
                failures.append(f"load {i}: version {variant} became {again} on reload")
        # Five standard deviations of LOADS fair tosses: outside once in a million runs.
        if abs(shares["a"] - LOADS / 2) > 2.5 * LOADS ** 0.5 or len(shares) != 2:
            failures.append(f"uneven shares: {shares}")
        text = Tab(tools, url, scripted=False).value("document.body.innerText")
        if A_PITCH not in text or A_WORDS not in text or B_PITCH in text or B_WORDS in text:
            failures.append("without script the page does not show version A alone")
        Tab(tools, url + "?variant=b").value("document.querySelector('.order a').click()")
        deadline = time.time() + 10
        while time.time() < deadline and not any(b.get("event") == "order" for b in Site.beacons):
            time.sleep(0.05)
        if [b for b in Site.beacons if b.get("event") == "order"] != [
                {"event": "order", "variant": "b", "page": "/index.htm"}]:
            failures.append(f"order beacon: {Site.beacons}")
        print(f"{LOADS} visitors: {shares}; frames showing the other version: {sum('painted' in f for f in failures)}; "
              f"{time.time() - started:.1f} s", *("\nFAIL: " + f for f in failures[:20]))
        return 1 if failures else 0
    finally:
        if browser:
            browser.terminate()
            browser.wait(10)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
