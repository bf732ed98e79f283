"""A webhook for the collector's notifications: an HTTP server on 127.0.0.1,
in threads of its own, that keeps every POST it takes and answers each path
as its script says (204 once the script is spent), or never."""

import http.server
import json
import threading
import time

HANG = "hang"


class Recorder:
    def __init__(self):
        self.lock = threading.Lock()
        self.received = []  # (path, headers, body as bytes), in order
        self.scripts = {}   # path -> answers still to give: (status, headers) or HANG
        self.hanging = {}   # path -> True: every request hangs
        self.ending = threading.Event()
        recorder = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                with recorder.lock:
                    recorder.received.append((self.path, dict(self.headers), body))
                    script = recorder.scripts.get(self.path, [])
                    answer = script.pop(0) if script else ((HANG if recorder.hanging.get(self.path) else (204, {})))
                if answer == HANG:
                    recorder.ending.wait()
                    return
                status, headers = answer
                self.send_response(status)
                for name, value in headers.items():
                    self.send_header(name, value)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.server.server_address[1], path)

    def script(self, path, answers):
        with self.lock:
            self.scripts[path] = list(answers)

    def hang(self, path):
        with self.lock:
            self.hanging[path] = True

    def bodies(self, path):
        """The JSON bodies posted to path, in order."""
        with self.lock:
            return [json.loads(body) for at, _, body in self.received if at == path]

    def all_bodies(self):
        with self.lock:
            return [body for _, _, body in self.received]

    def wait_for(self, path, count, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if len(self.bodies(path)) >= count:
                return self.bodies(path)
            time.sleep(0.05)
        return self.bodies(path)

    def close(self):
        self.ending.set()
        self.server.shutdown()
        self.server.server_close()
