"""Debian's chromium, headless, driven through its DevTools protocol over a
pipe (no driver, no extra module), for the tests of pages in a real browser.
A test skips (77) only where no browser can be installed."""

import fcntl
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def wait_until(browser, expression, expected, seconds, what):
    """Polls a script's value in the page until it is expected, or fails."""
    deadline = time.monotonic() + seconds
    value = None
    while time.monotonic() < deadline:
        value = browser.evaluate(expression)
        if value == expected:
            return
        time.sleep(0.05)
    fail("%s: %r after %d s, not %r" % (what, value, seconds, expected))


def find_browser():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    # Missing but installable is a machine not set up, not a reason to skip.
    policy = ""
    if shutil.which("apt-cache"):
        policy = subprocess.run(["apt-cache", "policy", "chromium"], capture_output=True, text=True).stdout
    if re.search(r"Candidate: (?!\(none\))", policy):
        fail("chromium is not installed: run scripts/install-deps.sh")
    print("SKIP: no browser can be installed here (no chromium package)")
    sys.exit(SKIP)


def need(tool):
    if not shutil.which(tool):
        fail(tool + " is not installed: run scripts/install-deps.sh")


class Browser:
    """One headless chromium, one tab, spoken to as --remote-debugging-pipe
    wants: JSON messages ending in NUL, in on fd 3, out on fd 4."""

    def __init__(self, path, work):
        to_browser, self.sending = os.pipe()
        self.receiving, from_browser = os.pipe()
        # Above 4, so that moving them to 3 and 4 cannot overwrite one another.
        ours = fcntl.fcntl(to_browser, fcntl.F_DUPFD, 10), fcntl.fcntl(from_browser, fcntl.F_DUPFD, 10)

        def onto_3_and_4():
            os.dup2(ours[0], 3)
            os.dup2(ours[1], 4)

        # --no-sandbox: the sandbox cannot start as root, nor in many containers.
        self.process = subprocess.Popen(
            [path, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--hide-scrollbars", "--remote-debugging-pipe",
             "--user-data-dir=" + tempfile.mkdtemp(dir=work), "about:blank"],
            preexec_fn=onto_3_and_4, close_fds=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for fd in (to_browser, from_browser, *ours):
            os.close(fd)
        self.buffer = b""
        self.events = []
        self.next_id = 0
        self.session = None
        target = self.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        self.call("Page.enable")

    def receive(self):
        while b"\0" not in self.buffer:
            chunk = os.read(self.receiving, 1 << 20)
            if not chunk:
                fail("chromium ended: exit status %s" % self.process.poll())
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if self.session:
            message["sessionId"] = self.session
        os.write(self.sending, json.dumps(message).encode() + b"\0")
        while True:
            answer = self.receive()
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    fail("%s: %s" % (method, answer["error"]))
                return answer["result"]
            self.events.append(answer)

    def wait_for(self, event):
        while True:
            for i, message in enumerate(self.events):
                if message.get("method") == event:
                    return self.events.pop(i)
            self.events.append(self.receive())

    def open(self, url, width, height):
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=1, mobile=False)
        self.events.clear()
        self.call("Page.navigate", url=url)
        self.wait_for("Page.loadEventFired")

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            fail("in the page: %s" % result["exceptionDetails"])
        return result["result"]["value"]

    def close(self):
        try:
            self.session = None
            self.call("Browser.close")
        finally:
            self.process.wait(timeout=30)
