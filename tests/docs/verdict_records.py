#!/usr/bin/env python3
"""Every kind of verdict record, made by the real programs and checked
against docs/verdict-record.schema.json: kestrix-check --json over a small
league with each status and each class of difference, and kestrix-collect
over real sockets on 127.0.0.1 with each status and each refusal code. A
table says what each case must give; every record either program writes
must be one the schema describes, and one the schema refuses (a field too
many, one missing) must be refused.

Usage: verdict_records.py TOOLS_DIR DATA_DIR SCHEMA
"""

import hashlib
import hmac
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

import jsonschema

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from league_collector import League, fail, send_as_player  # noqa: E402

RULES = """\
[[allow]]
car = "Brackwell"
section = "Engine"
key = "BoostBar"
min = 0.5
max = 0.8

[[reference]]
name = "1.1"
folder = "patch-1.1"
"""


class Schema:
    def __init__(self, path):
        with open(path, encoding="utf-8") as file:
            schema = json.load(file)
        jsonschema.Draft202012Validator.check_schema(schema)
        self.validator = jsonschema.Draft202012Validator(schema)
        self.checked = 0

    def check(self, record, where):
        errors = sorted(self.validator.iter_errors(record), key=lambda error: list(error.path))
        if errors:
            fail("%s: not a verdict record: %s\n%s" % (where, "; ".join(e.message for e in errors[:3]),
                                                        json.dumps(record)))
        self.checked += 1

    def refuses(self, record):
        return not self.validator.is_valid(record)


def genuine(data, car):
    with open(os.path.join(data, "genuine", car + ".dat"), "rb") as file:
        return file.read()


def replaced(bytes_, old, new):
    if old not in bytes_:
        fail("the fixture has no %r" % old)
    return bytes_.replace(old, new, 1)


def put(path, bytes_):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as file:
        file.write(bytes_)


def fixtures(data):
    """Descriptors that each show one thing: (name, car's file name, bytes)."""
    brackwell = genuine(data, "Brackwell")
    dunmarr = genuine(data, "DunMarr")
    return {
        "genuine": ("BrackwellDescriptor.txt", brackwell),
        "formatting": ("BrackwellDescriptor.txt", brackwell.replace(b"\r\n", b"\n")),
        "allowed": ("BrackwellDescriptor.txt", replaced(brackwell, b"BoostBar=0.62\r\n", b"BoostBar=0.75\r\n")),
        "over-the-rule": ("BrackwellDescriptor.txt", replaced(brackwell, b"BoostBar=0.62\r\n", b"BoostBar=0.9\r\n")),
        "changed": ("BrackwellDescriptor.txt", replaced(brackwell, b"LimiterRPM=8000\r\n", b"LimiterRPM=9500\r\n")),
        "added": ("BrackwellDescriptor.txt", replaced(brackwell, b"Torque=412.5\r\n", b"Torque=412.5\r\nNitrous=1\r\n")),
        "missing": ("BrackwellDescriptor.txt", replaced(brackwell, b"RedlineRPM=7800\r\n", b"")),
        "moved": ("BrackwellDescriptor.txt",
                  replaced(replaced(brackwell, b"Inertia=0.202\r\n", b""),
                           b"DescriptorVersion=3\r\n", b"DescriptorVersion=3\r\nInertia=0.202\r\n")),
        "duplicate": ("BrackwellDescriptor.txt", replaced(brackwell, b"Torque=412.5\r\n", b"Torque=412.5\r\n" * 2)),
        "damaged": ("DunMarrDescriptor.txt", dunmarr[:len(dunmarr) // 2]),
        "other-car": ("Puddlewickdescriptor.txt", genuine(data, "Skelder4")),
        "not-a-descriptor": ("BrackwellDescriptor.txt", b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR"),
        "repeated-section": ("BrackwellDescriptor.txt", brackwell + b"[Engine]\r\n"),
        "lost-to-damage": ("BrackwellDescriptor.txt",
                           replaced(brackwell, b"FadeTempC=658\r\nCoolingDuct=3\r\n", b"\x00\x00\x00\r\n")),
        "patched": ("Grelmdescriptor.txt", genuine(data, "Grelm").replace(b"\r\n[", b"\r\n; patch 1.1\r\n[", 1)),
    }


def make_rules(tools, work, files):
    """league.toml beside patch-1.1/, which holds the patched Grelm, pinned."""
    put(os.path.join(work, "patch-1.1", "Grelm.dat"), files["patched"][1])
    pins = subprocess.run([os.path.join(tools, "kestrix-check"), "--digest", os.path.join(work, "patch-1.1")],
                          check=True, capture_output=True, text=True).stdout
    rules = os.path.join(work, "league.toml")
    with open(rules, "w") as file:
        file.write(RULES + pins)
    return rules


# kestrix-check: each case a player's folder, and what its record must say.
CHECK_CASES = [
    # player, fixture, status, classes
    ("ann", "genuine", "genuine", []),
    ("bea", "formatting", "formatting", ["formatting"]),
    ("cal", "allowed", "allowed", ["changed"]),
    ("dan", "over-the-rule", "tweaked", ["changed"]),
    ("eli", "changed", "tweaked", ["changed"]),
    ("fay", "added", "tweaked", ["added"]),
    ("gus", "missing", "tweaked", ["missing"]),
    ("hal", "moved", "tweaked", ["moved"]),
    ("ivy", "duplicate", "tweaked", ["duplicate"]),
    ("jo", "damaged", "damaged", ["changed", "damaged"]),  # cut inside a value: named, by_damage
    ("kim", "other-car", "tweaked", ["other-car"]),
    ("meg", "not-a-descriptor", "damaged", ["damaged"]),
    ("ned", "repeated-section", "tweaked", ["duplicate"]),
    ("oli", "lost-to-damage", "damaged", ["missing", "missing", "damaged"]),
    ("lou", "patched", "genuine", []),
    ("\u00e9ric".encode("latin-1"), "genuine", "genuine", []),  # a folder name that is not UTF-8
]


def check_tool(tools, work, files, rules, schema):
    program = os.path.join(work, "program")
    league = os.path.join(work, "league")
    for player, fixture, _, _ in CHECK_CASES:
        name, bytes_ = files[fixture]
        folder = player if isinstance(player, bytes) else player.encode()
        put(os.path.join(league.encode(), folder, b"Cars", name.encode()), bytes_)
    # A descriptor that cannot be read: a FIFO, which is no ordinary file.
    os.makedirs(os.path.join(league, "max", "Cars"))
    os.mkfifo(os.path.join(league, "max", "Cars", "OldGristdescriptor.txt"))

    check = os.path.join(tools, "kestrix-check")
    done = subprocess.run([check, "--folder", program, "--rules", rules, "--json", league],
                          capture_output=True, timeout=120)
    if done.returncode != 2:
        fail("kestrix-check ended %d, not 2 (an error): %s" % (done.returncode, done.stderr.decode()))
    records = [json.loads(line) for line in done.stdout.splitlines()]
    for record in records:
        schema.check(record, "kestrix-check --json")
    by_player = {}
    for record in records:
        by_player[record["player"]] = record
    for player, fixture, status, classes in CHECK_CASES:
        shown = player.decode("utf-8", "replace") if isinstance(player, bytes) else player
        record = by_player.get(shown)
        if record is None:
            fail("no record for %s (%s)" % (shown, fixture))
        got = [difference["class"] for difference in record["differences"]]
        if record["status"] != status or got != classes:
            fail("%s (%s): %s %s, not %s %s" % (shown, fixture, record["status"], got, status, classes))
    if by_player["lou"]["version"] != "1.1" or "path_base64" not in by_player["\ufffdric"]:
        fail("the patched version or the path's bytes are not in the records")
    if by_player["max"]["status"] != "error" or not by_player["max"]["error"]:
        fail("the FIFO's record: %r" % by_player["max"])
    rule = by_player["dan"]["differences"][0]
    allowed = by_player["cal"]["differences"][0]
    if not (rule.get("rule") and rule.get("reason") and allowed.get("allowed") is True and allowed.get("rule")):
        fail("the rules' judgement is not in the records: %r %r" % (rule, allowed))

    # --correct keeps the tweaked file; where it is kept is in the record.
    fix = os.path.join(work, "fix")
    put(os.path.join(fix, "eli", "Cars", "BrackwellDescriptor.txt"), files["changed"][1])
    done = subprocess.run([check, "--folder", program, "--json", "--correct", fix], capture_output=True, timeout=60)
    record = json.loads(done.stdout)
    schema.check(record, "kestrix-check --json --correct")
    if done.returncode != 1 or "kept" not in record:
        fail("--correct: %d %r" % (done.returncode, record))
    return records


# The collector's player speaks the preamble itself, so that a case can stop
# anywhere in a transfer.
class Transfer:
    def __init__(self, port, player=None, token=None, source="127.0.0.1"):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=30, source_address=(source, 0))
        self.player, self.token, self.challenge = player, token, None
        if player:
            self.socket.sendall(b"PLAYER|%s|" % player.encode())
            self.challenge = self.answer()

    def announce(self, name, size):
        header = b"FILEINFO|%d|%s|" % (size, name.encode())
        if self.challenge is not None and self.challenge.startswith("CHALLENGE|"):
            key = hashlib.sha256(self.token.encode()).digest()
            signed = self.challenge.split("|")[1].encode() + b"|" + self.player.encode() + b"|" + header
            self.socket.sendall(b"PROOF|" + hmac.new(key, signed, "sha256").hexdigest().encode() + b"|")
        self.socket.sendall(header)

    def answer(self):
        """The collector's next line, or what came before it closed."""
        line = b""
        while not line.endswith(b"\n"):
            try:
                chunk = self.socket.recv(1)
            except (ConnectionResetError, socket.timeout):
                break
            if not chunk:
                break
            line += chunk
        return line.decode(errors="replace").strip()

    def dribble(self, every, chunk=b"x"):
        """Sends chunk every so many seconds until the collector answers."""
        def send():
            while not self.done.is_set():
                try:
                    self.socket.sendall(chunk)
                except OSError:
                    return
                self.done.wait(every)
        self.done = threading.Event()
        threading.Thread(target=send, daemon=True).start()

    def close(self):
        if hasattr(self, "done"):
            self.done.set()
        self.socket.close()


def code_of(answer):
    return answer.split("|")[1] if answer.startswith("REFUSED|") else None


def expect_refused(answer, code, case):
    if code_of(answer) != code:
        fail("%s: the sender heard %r, not a refusal %s" % (case, answer, code))


def records_of(league):
    with open(os.path.join(league.dir, "verdicts.jsonl"), encoding="utf-8") as file:
        return [json.loads(line) for line in file]


def collect_statuses_and_refusals(tools, data, work, files, rules):
    """One collector with a roster and rules: a file of each status, and the
    refusals that come before or after a whole header."""
    league = League(tools, data, work, ["alice", "bob"])
    league.start("0", "--rules", rules, "--max-size", "20000", "--max-per-player", "1", "--idle-timeout", "2")
    try:
        alice = league.tokens["alice"]
        for fixture, status in [("genuine", "genuine"), ("formatting", "formatting"), ("allowed", "allowed"),
                                ("changed", "tweaked"), ("damaged", "damaged")]:
            name, bytes_ = files[fixture]
            answer = send_as_player(league.port, "alice", alice, name, bytes_)
            if answer != "STORED|%s|" % status:
                fail("%s: the player heard %r" % (fixture, answer))
        if send_as_player(league.port, "alice", alice, "notes.txt", b"a note") != "STORED|unchecked|":
            fail("a file whose name says no car was not kept unchecked")

        brackwell = files["genuine"][1]
        expect_refused(send_as_player(league.port, "alice", "not-alices", "BrackwellDescriptor.txt", brackwell),
                       "bad-proof", "a wrong token")
        stranger = Transfer(league.port, "nobody", "x")
        expect_refused(stranger.challenge, "unknown-player", "a player not on the roster")
        stranger.close()
        plain = Transfer(league.port)
        plain.announce("BrackwellDescriptor.txt", len(brackwell))
        expect_refused(plain.answer(), "no-player", "no player named")
        plain.close()
        garbage = Transfer(league.port)
        garbage.socket.sendall(b"HELLO|there|")
        expect_refused(garbage.answer(), "bad-header", "no FILEINFO header")
        garbage.close()
        expect_refused(send_as_player(league.port, "alice", alice, "BrackwellDescriptor.txt", b"x" * 30000),
                       "too-large", "more than --max-size")
        expect_refused(send_as_player(league.port, "alice", alice, "C:BrackwellDescriptor.txt", b"{}"),
                       "bad-name", "a name that is no plain file name")
        # Bob's first transfer stops halfway: his second is one too many, and
        # the first times out when it has been silent for 2 seconds.
        held = Transfer(league.port, "bob", league.tokens["bob"])
        held.announce("BrackwellDescriptor.txt", len(brackwell))
        held.socket.sendall(brackwell[:100])
        while league.wait_event("accepted", 10).get("player") != "bob":
            pass
        expect_refused(send_as_player(league.port, "bob", league.tokens["bob"], "Grelmdescriptor.txt",
                                      genuine(data, "Grelm")), "too-many-for-player", "bob's second transfer")
        expect_refused(held.answer(), "timed-out", "a silent transfer")
        held.close()
        league.stop()
    finally:
        if league.process.poll() is None:
            league.process.kill()
    return records_of(league)


def collect_slow_and_stopping(tools, data, work):
    """Refusals in the middle of a file: one too slow, one the stop cuts."""
    league = League(tools, data, work, ["alice", "bob"])
    league.start("0")
    try:
        slow = Transfer(league.port, "alice", league.tokens["alice"])
        slow.announce("BrackwellDescriptor.txt", 4675)
        slow.dribble(0.5)
        steady = Transfer(league.port, "bob", league.tokens["bob"])
        steady.announce("Grelmdescriptor.txt", 1000000)
        steady.dribble(0.05, b"y" * 100)
        expect_refused(slow.answer(), "too-slow", "a transfer under --min-rate")
        league.process.send_signal(signal.SIGTERM)
        expect_refused(steady.answer(), "stopping", "a transfer the stop cut")
        slow.close()
        steady.close()
        if league.process.wait(timeout=30) != 0:
            fail("the collector ended %d" % league.process.returncode)
    finally:
        if league.process.poll() is None:
            league.process.kill()
    return records_of(league)


def collect_without_roster(tools, data, work):
    """A collector without a roster, whose reference data lacks a car: a
    player named is refused, the address is the player, a car it cannot
    check is an error, and the door's own refusals."""
    league = League(tools, data, work, [])
    os.remove(os.path.join(league.program, "OldGrist.dat"))
    league.roster = None
    league.start("0", "--skip-reference-check", "--max-pending", "3", "--max-per-address", "2")
    try:
        named = Transfer(league.port, "alice", "x")
        expect_refused(named.challenge, "no-roster", "a player named without a roster")
        named.close()
        for car, name in [("Grelm", "Grelmdescriptor.txt"), ("OldGrist", "OldGristdescriptor.txt")]:
            plain = Transfer(league.port)
            plain.announce(name, len(genuine(data, car)))
            plain.socket.sendall(genuine(data, car))
            plain.socket.shutdown(socket.SHUT_WR)
            league.wait_event("verdict", 20)
            plain.close()
        # Two connections from 127.0.0.1 are all that address may hold; with a
        # third from 127.0.0.2 the collector holds all it may. Each has a whole
        # header, so none is still in its opening to make room.
        waiting = [Transfer(league.port) for _ in range(2)]
        expect_refused(Transfer(league.port).answer(), "too-many-from-address", "a third from one address")
        waiting.append(Transfer(league.port, source="127.0.0.2"))
        for transfer in waiting:
            transfer.announce("Grelmdescriptor.txt", 10)
        time.sleep(0.2)
        expect_refused(Transfer(league.port, source="127.0.0.3").answer(), "busy", "a connection past --max-pending")
        for transfer in waiting:
            transfer.close()
        league.stop()
    finally:
        if league.process.poll() is None:
            league.process.kill()
    return records_of(league)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    tools, data, schema_path = sys.argv[1:]
    schema = Schema(schema_path)
    files = fixtures(data)
    with tempfile.TemporaryDirectory() as work:
        rules = make_rules(tools, work, files)
        subprocess.run([os.path.join(tools, "kestrix-stage"), data, os.path.join(work, "program")], check=True,
                       stdout=subprocess.DEVNULL)
        check_records = check_tool(tools, work, files, rules, schema)
        collected = collect_statuses_and_refusals(tools, data, os.path.join(work, "a"), files, rules)
        collected += collect_slow_and_stopping(tools, data, os.path.join(work, "b"))
        collected += collect_without_roster(tools, data, os.path.join(work, "c"))
        for record in collected:
            schema.check(record, "verdicts.jsonl")

    statuses = {record["status"] for record in collected}
    wanted = {"genuine", "formatting", "allowed", "tweaked", "damaged", "unchecked", "error", "refused"}
    if statuses != wanted:
        fail("the collector's records have the statuses %s, not %s" % (sorted(statuses), sorted(wanted)))
    codes = {record["code"] for record in collected if record["status"] == "refused"}
    recorded = {"bad-proof", "too-large", "bad-name", "too-many-for-player", "timed-out", "too-slow", "stopping"}
    if codes != recorded:
        fail("the refusals recorded are %s, not %s" % (sorted(codes), sorted(recorded)))
    refusal = next(record for record in collected if record.get("code") == "bad-proof")
    if refusal["player"] is not None or refusal.get("claimed_player") != "alice":
        fail("a refusal for a wrong token names its player as proven: %r" % refusal)
    refusal = next(record for record in collected if record.get("code") == "too-many-for-player")
    if refusal["player"] != "bob" or "claimed_player" in refusal:
        fail("a refusal of a player whose proof held does not name the player: %r" % refusal)
    if not any(record.get("code") == "timed-out" and record.get("kept") for record in collected):
        fail("the record of a transfer that timed out does not say where its partial file is")
    if next(record for record in collected if record["status"] == "error")["car"] != "OldGrist":
        fail("the error is not the car without reference data")

    # The schema is strict: a field too many, or one missing, is no record.
    verdict = next(record for record in collected if record["status"] == "tweaked")
    if not schema.refuses(dict(verdict, extra=1)) or not schema.refuses(
            {key: value for key, value in verdict.items() if key != "time"}):
        fail("the schema takes a record with a field too many or one missing")
    if not schema.refuses(dict(check_records[0], time="2026-12-11T07:00:00.000Z")):
        fail("the schema takes a record of kestrix-check with a field of the collector's")
    print("PASS: %d records of kestrix-check and kestrix-collect, each a verdict record" % schema.checked)


if __name__ == "__main__":
    main()
