"""A real kestrix-collect serving the league page, for the tests of that
page: a staged program folder, a roster of players with their tokens, the
collector's JSON events read as they come, and files sent as a player with
the real kestrix-send."""

import json
import os
import queue
import subprocess
import threading
import time


def fail(message):
    print("FAIL: " + message)
    raise SystemExit(1)


class League:
    def __init__(self, tools, data, work, players):
        self.tools, self.data, self.work = tools, data, work
        self.program = os.path.join(work, "program")
        subprocess.run([os.path.join(tools, "kestrix-stage"), data, self.program], check=True,
                       stdout=subprocess.DEVNULL)
        self.dir = os.path.join(work, "league")
        self.roster = os.path.join(work, "roster.toml")
        self.tokens = {}
        entries = []
        for player in players:
            made = subprocess.run([self.tool("kestrix-collect"), "--new-token", player], check=True,
                                  capture_output=True, text=True).stdout.split("\n", 1)
            self.tokens[player] = made[0]
            entries.append(made[1])
        with open(os.path.join(work, "roster.toml"), "w") as roster:
            roster.write("\n".join(entries))
        os.chmod(self.roster, 0o600)
        self.process = None
        self.http_port = 0

    def tool(self, name):
        return os.path.join(self.tools, name)

    def start(self, http="0", *extra):
        """Starts the collector (again), on the same page's port once it had one;
        without a roster where self.roster is None."""
        roster = ["--roster", self.roster] if self.roster else []
        self.process = subprocess.Popen(
            [self.tool("kestrix-collect"), "--port", "0", "--dir", self.dir, "--folder", self.program,
             *roster, "--http", http, "--json", *extra],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.events = queue.Queue()
        threading.Thread(target=self._read, args=(self.process.stdout,), daemon=True).start()
        listening = self.wait_event("listening", 20)
        self.port, self.http_port = listening["port"], listening["http_port"]
        return listening

    def _read(self, stream):
        for line in stream:
            self.events.put(json.loads(line))

    def wait_event(self, kind, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            try:
                event = self.events.get(timeout=max(0.01, deadline - time.monotonic()))
            except queue.Empty:
                break
            if event.get("event") == kind:
                return event
        fail("no %s event within %d s (collector: %s)" % (kind, seconds, self.stderr()))

    def stderr(self):
        if self.process.poll() is None:
            return "running"
        return "ended %d: %s" % (self.process.returncode, self.process.stderr.read())

    def stop(self):
        self.process.terminate()
        if self.process.wait(timeout=30) != 0:
            fail("the collector ended with %d: %s" % (self.process.returncode, self.process.stderr.read()))

    def send(self, player, path, token=None, name=None):
        """Sends path as player; the sender's output and exit status."""
        env = dict(os.environ, KESTRIX_TOKEN=token or self.tokens[player])
        command = [self.tool("kestrix-send"), "127.0.0.1", str(self.port), path, "--player", player]
        if name:
            command += ["--name", name]
        done = subprocess.run(command, env=env, capture_output=True, text=True, timeout=60)
        return done.stdout + done.stderr, done.returncode

    def sample(self, car_folder, file_name):
        return os.path.join(self.data, "Cars", car_folder, file_name)

    def genuine(self, car, file_name):
        """A genuine descriptor of car under its game's name, file_name."""
        path = os.path.join(self.work, car, file_name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(os.path.join(self.data, "genuine", car + ".dat"), "rb") as source, open(path, "wb") as copy:
            copy.write(source.read())
        return path

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.http_port, path)


def send_as_player(port, player, token, name, data):
    """One transfer as the collector's player speaks it, without kestrix-send:
    the answer line ("STORED|tweaked|"), without the NOTE lines after it."""
    import hashlib
    import hmac
    import socket
    with socket.create_connection(("127.0.0.1", port), timeout=30) as connection:
        connection.sendall(b"PLAYER|%s|" % player.encode())
        challenge = b""
        while not challenge.endswith(b"\n"):
            chunk = connection.recv(100)
            if not chunk:
                return challenge.decode(errors="replace")
            challenge += chunk
        header = b"FILEINFO|%d|%s|" % (len(data), name.encode())
        key = hashlib.sha256(token.encode()).digest()
        proof = hmac.new(key, challenge.split(b"|")[1] + b"|" + player.encode() + b"|" + header, "sha256").hexdigest()
        connection.sendall(b"PROOF|" + proof.encode() + b"|" + header + data)
        answer = b""
        while b"\n" not in answer:
            chunk = connection.recv(100)
            if not chunk:
                break
            answer += chunk
        return answer.split(b"\n")[0].decode(errors="replace").strip()
