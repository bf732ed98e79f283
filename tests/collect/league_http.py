#!/usr/bin/env python3
"""The league page without a browser, over real sockets to a real
kestrix-collect: every route's status and type, the figures for Prometheus
read line by line, the history rebuilt from the verdict logs, hostile paths
and names, the badges of players and of an event's entrants, 256 idle
connections (a number an address at most) while transfers go on, and a
listener of /events that never reads.

Usage: league_http.py TOOLS_DIR DATA_DIR
"""

import datetime
import json
import urllib.parse
from xml.etree import ElementTree
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from league_collector import League, fail, send_as_player  # noqa: E402


def request(league, target, method="GET", head_bytes=b""):
    """Status, headers (lower-case names) and body of one request."""
    with socket.create_connection(("127.0.0.1", league.http_port), timeout=10) as connection:
        connection.sendall(b"%s %s HTTP/1.1\r\nHost: league\r\nConnection: close\r\n%s\r\n"
                           % (method.encode(), target.encode(), head_bytes))
        answer = b""
        while True:
            chunk = connection.recv(65536)
            if not chunk:
                break
            answer += chunk
            head, _, body = answer.partition(b"\r\n\r\n")
            length = re.search(rb"(?i)\r\ncontent-length: *(\d+)", head)
            if length and len(body) >= int(length.group(1)):
                break
    head, _, body = answer.partition(b"\r\n\r\n")
    lines = head.decode().split("\r\n")
    headers = dict((name.lower(), value.strip()) for name, _, value in (line.partition(":") for line in lines[1:]))
    return int(lines[0].split()[1]), headers, body


def check_routes(league):
    cases = [
        ("GET", "/", 200, "text/html; charset=utf-8"),
        ("GET", "/league.js", 200, "text/javascript; charset=utf-8"),
        ("GET", "/verdicts.json", 200, "application/json"),
        ("GET", "/metrics", 200, "text/plain; version=0.0.4; charset=utf-8"),
        ("GET", "/healthz", 200, "text/plain; charset=utf-8"),
        ("GET", "/player/alice", 200, "text/html; charset=utf-8"),
        ("GET", "/player/nobody", 404, None),
        ("GET", "/player/../x", 404, None),
        ("GET", "/player/%2e%2e", 404, None),
        ("GET", "/player/alice/x", 404, None),
        ("GET", "/player/", 404, None),
        ("GET", "/nothing", 404, None),
        ("POST", "/", 405, None),
        ("DELETE", "/verdicts.json", 405, None),
    ]
    for method, target, status, kind in cases:
        got, headers, body = request(league, target, method)
        if got != status or (kind and headers.get("content-type") != kind):
            fail("%s %s: %d %s, not %d %s" % (method, target, got, headers.get("content-type"), status, kind))
        if status == 405 and headers.get("allow") != "GET, HEAD":
            fail("%s %s: no Allow: GET, HEAD" % (method, target))
    _, _, page = request(league, "/")
    status, headers, body = request(league, "/", "HEAD")
    if status != 200 or int(headers["content-length"]) != len(page) or body:
        fail("HEAD /: %d, length %s of %d, %d bytes of body" % (status, headers.get("content-length"), len(page), len(body)))
    _, _, health = request(league, "/healthz")
    if health != b"ok\n":
        fail("/healthz says %r" % health)
    _, _, records = request(league, "/verdicts.json")
    latest = {(record["player"], record["car"]): record["status"] for record in json.loads(records)}
    if latest.get(("alice", "Brackwell")) != "tweaked":
        fail("/verdicts.json: %r" % latest)
    with socket.create_connection(("127.0.0.1", league.http_port), timeout=10) as connection:
        connection.sendall(b"GET /events HTTP/1.1\r\nHost: league\r\n\r\n")
        head = connection.recv(4096)
        if not head.startswith(b"HTTP/1.1 200") or b"Content-Type: text/event-stream" not in head:
            fail("/events answers %r" % head)
    status, _, body = request(league, "/", head_bytes=b"X-Long: " + b"a" * 9000 + b"\r\n")
    if status != 431:
        fail("a head of 9 KiB: %d, not 431" % status)


def check_public_answers(league, sample):
    """In a league with a roster, no public answer names a sender's address
    or the server's folder; verdicts.jsonl keeps them."""
    with socket.create_connection(("127.0.0.1", league.http_port), timeout=10) as events:
        events.sendall(b"GET /events HTTP/1.1\r\nHost: league\r\n\r\n")
        send_as_player(league.port, "bob", league.tokens["bob"], "BrackwellDescriptor.txt", sample)
        send_as_player(league.port, "bob", "wrong", "DunMarrDescriptor.txt", sample)
        answers = {"/events": b""}
        events.settimeout(0.5)
        try:
            while b"event: verdict" not in answers["/events"]:
                answers["/events"] += events.recv(65536)
        except socket.timeout:
            fail("/events told nothing of bob's file: %r" % answers["/events"])
    deadline = time.monotonic() + 10
    while b'class="d"' not in request(league, "/player/bob")[2] and time.monotonic() < deadline:
        time.sleep(0.2)
    for target in ("/", "/league.js", "/verdicts.json", "/healthz", "/player/alice", "/player/bob",
                   "/player/carol", "/badge/alice.svg", "/badge/bob.svg", "/event/round-1", "/event.js",
                   "/badge/alice/round-1.svg", "/badge/bob/round-1.svg", "/nothing"):
        answers[target] = request(league, target)[2]
    for target, body in answers.items():
        for secret in (b"127.0.0.1", league.dir.encode(), league.work.encode()):
            if secret in body:
                fail("%s shows %s" % (target, secret.decode()))
    kept = json.loads(answers["/verdicts.json"])
    if not kept or any(not re.fullmatch(r"[a-z]+/\d{8}-\d{6}-\d{3}-\w+\.txt", record["path"]) for record in kept):
        fail("/verdicts.json does not name kept files as <player>/<stamped name>: %r" % kept)
    with open(os.path.join(league.dir, "verdicts.jsonl")) as log:
        whole = [json.loads(line) for line in log]
    if not all(record.get("sender") == "127.0.0.1" for record in whole if record["status"] != "refused") \
            or not all(record["path"].startswith(league.dir) for record in whole if "path" in record):
        fail("verdicts.jsonl does not keep the senders and paths")


def check_badge(league, player, standing, shown=None, event=None):
    """/badge/<player>.svg, or with event as (id, name) the entrant's
    /badge/<player>/<id>.svg: an SVG whose text is the label and the standing."""
    target = "/badge/%s%s.svg" % (urllib.parse.quote(player, safe=""), "/" + event[0] if event else "")
    status, headers, body = request(league, target)
    if status != 200 or headers.get("content-type") != "image/svg+xml":
        fail("%s: %d %s" % (target, status, headers.get("content-type")))
    svg = ElementTree.fromstring(body)
    texts = [text.text for text in svg.iter("{http://www.w3.org/2000/svg}text")]
    title = svg.find("{http://www.w3.org/2000/svg}title").text
    if svg.tag != "{http://www.w3.org/2000/svg}svg" or texts != ["kestrix", standing] \
            or title != (shown or player) + (", " + event[1] if event else "") + ": " + standing:
        fail("%s: %r, %r, not the standing %s" % (target, texts, title, standing))


# Open from an hour before the collector starts to a day after.
EVENTS = """[[event]]
id = "round-1"
name = "Round 1 <Brackwell>"
opens = %(opens)s
closes = %(closes)s
cars = ["Brackwell"]

[[event]]
id = "alice-only"
name = "Alice's own"
opens = %(opens)s
closes = %(closes)s
cars = ["DunMarr"]
entrants = ["alice"]
"""
ROUND_1 = ("round-1", "Round 1 <Brackwell>")


def check_event_badges(league, data):
    """An entrant's status in an event, each in its badge; 404 for a player
    or an event that does not exist, and for a player who is not an entrant."""
    with open(os.path.join(data, "genuine", "Brackwell.dat"), "rb") as genuine:
        if send_as_player(league.port, "carol", league.tokens["carol"], "BrackwellDescriptor.txt", genuine.read()) \
                != "STORED|genuine|":
            fail("carol's genuine Brackwell was not stored")
    for player, standing in (("alice", "failed"), ("bob", "failed"), ("carol", "passed")):
        check_badge(league, player, standing, "Chlo\u00e9 <Dupont>" if player == "alice" else None, ROUND_1)
    check_badge(league, "alice", "incomplete", "Chlo\u00e9 <Dupont>", ("alice-only", "Alice's own"))
    for target in ("/badge/nobody/round-1.svg", "/badge/alice/round-2.svg", "/badge/bob/alice-only.svg",
                   "/badge/alice/round-1/x.svg", "/badge/alice/.svg", "/badge//round-1.svg"):
        if request(league, target)[0] != 404:
            fail("%s is not 404" % target)


def check_display_name(league):
    """The pages show a roster's display name; links and JSON keep the id."""
    shown = "Chlo\u00e9 &lt;Dupont&gt;".encode()
    _, _, grid = request(league, "/")
    if b'<a href="/player/alice">' + shown + b"</a>" not in grid:
        fail("the grid does not show alice's display name")
    _, _, own = request(league, "/player/alice")
    if b"<h1>" + shown + b"</h1>" not in own or b"<title>" + shown not in own:
        fail("alice's page does not show her display name")
    _, _, records = request(league, "/verdicts.json")
    if "Chlo" in records.decode() or not any(r["player"] == "alice" for r in json.loads(records)):
        fail("/verdicts.json does not keep alice's id: %r" % records)


SAMPLE = re.compile(r'^([a-z_]+)(\{([a-z_]+)="((?:[^"\\]|\\.)*)"\})? (\S+)$')


def read_metrics(league):
    """{(name, label value): number}, after checking every line's form."""
    _, _, body = request(league, "/metrics")
    values, typed = {}, {}
    for line in body.decode().splitlines():
        if line.startswith("# HELP "):
            continue
        if line.startswith("# TYPE "):
            _, _, name, kind = line.split(" ")
            typed[name] = kind
            continue
        match = SAMPLE.match(line)
        if not match:
            fail("/metrics line %r is not a sample" % line)
        name = match.group(1)
        family = re.sub(r"_(bucket|sum|count)$", "", name) if name not in typed else name
        if family not in typed:
            fail("/metrics: %s has no # TYPE before it" % name)
        values[(name, match.group(4))] = float(match.group(5))
    return values


def check_metrics(league, size):
    m = read_metrics(league)
    wanted = {("kestrix_transfers_total", "stored"): 1, ("kestrix_verdicts_total", "tweaked"): 1,
              ("kestrix_refusals_total", "bad-proof"): 1, ("kestrix_transfers_total", "refused"): 1,
              ("kestrix_received_bytes_total", None): size, ("kestrix_check_duration_seconds_count", None): 1}
    for key, value in wanted.items():
        if m.get(key) != value:
            fail("/metrics: %s is %r, not %r" % (key, m.get(key), value))
    buckets = [value for (name, _), value in m.items() if name == "kestrix_check_duration_seconds_bucket"]
    if buckets != sorted(buckets) or m[("kestrix_check_duration_seconds_bucket", "+Inf")] != 1:
        fail("/metrics: the check histogram's buckets %r" % buckets)


def check_reload_figures(league):
    """The version, and a failed SIGHUP shown until a good one, for an alert."""
    version = subprocess.run([league.tool("kestrix-collect"), "--version"], capture_output=True, text=True,
                             check=True).stdout.split()[-1]
    m = read_metrics(league)
    if m.get(("kestrix_build_info", version)) != 1 or m.get(("kestrix_reload_success", None)) != 1:
        fail("/metrics at the start: build info %r, reload success %r"
             % (m.get(("kestrix_build_info", version)), m.get(("kestrix_reload_success", None))))
    started = m[("kestrix_reload_timestamp_seconds", None)]
    if abs(started - time.time()) > 600:
        fail("/metrics: the start's load at %r, not now" % started)
    with open(league.roster) as roster:
        good = roster.read()
    for text, event, success in (('[[player]]\nname = "x"\n', "reload failed", 0), (good, "reloaded", 1)):
        with open(league.roster, "w") as roster:
            roster.write(text)
        league.process.send_signal(signal.SIGHUP)
        league.wait_event(event, 10)
        m = read_metrics(league)
        if m.get(("kestrix_reload_success", None)) != success or m[("kestrix_reload_timestamp_seconds", None)] < started:
            fail("/metrics after a %s: success %r at %r" % (event, m.get(("kestrix_reload_success", None)),
                                                           m[("kestrix_reload_timestamp_seconds", None)]))


def check_history_and_names(tools, data, work):
    """Rotated logs read oldest first; a hostile name shown as text."""
    league = League(tools, data, work, ["alice"])
    os.makedirs(league.dir)
    hostile = '<img src=x onerror=alert(1)>&"'
    record = {"player": "alice", "car": "Brackwell", "time": "2026-12-01T10:00:00Z", "version": "original"}
    lines = {"verdicts.jsonl.2": [dict(record, status="tweaked")],
             "verdicts.jsonl.1": [dict(record, status="genuine", time="2026-12-02T10:00:00Z"),
                                  dict(record, player=hostile, status="damaged")]
             + [dict(record, player="dave", car=car, status=status, code="too-big")
                for car, status in (("Brackwell", "genuine"), ("DunMarr", "damaged"), ("Skelder4", "refused"),
                                    ("Grelm", "tweaked"), ("OldGrist", "genuine"), ("OldGrist", "refused"))]
             + [dict(record, player="erin", status="refused", code="too-big"),
                dict(record, player="fay", status="genuine"), dict(record, player="fay", car="DunMarr", status="error"),
                dict(record, player="gus", status="allowed"), dict(record, player="gus", car="Grelm", status="formatting")],
             "verdicts.jsonl": []}
    for name, records in lines.items():
        with open(os.path.join(league.dir, name), "w") as log:
            log.writelines(json.dumps(one) + "\n" for one in records)
            if name == "verdicts.jsonl":
                log.write('{"player":"alice","car":"Brack')  # cut off by a crash
    with open(os.path.join(league.dir, "verdicts.jsonl.3.gz"), "wb") as log:
        log.write(b"\x1f\x8b not read")
    league.start()
    _, _, page = request(league, "/")
    if b"<img" in page or b"&lt;img src=x onerror=alert(1)&gt;&amp;&quot;" not in page:
        fail("the hostile name is not escaped on the grid")
    link = b"/player/%3Cimg%20src%3Dx%20onerror%3Dalert%281%29%3E%26%22"
    if link not in page:
        fail("the hostile name's link is not percent-encoded")
    status, _, own = request(league, link.decode())
    if status != 200 or b"<img" in own:
        fail("the hostile player's page: %d" % status)
    _, _, alice = request(league, "/player/alice")
    if b"tweaked from 2026-12-01 10:00 UTC, genuine again at 2026-12-02 10:00 UTC" not in alice:
        fail("alice's history does not read oldest first, in UTC")
    for player, standing in (("dave", "tweaked"), (hostile, "damaged"), ("erin", "refused"), ("fay", "error"),
                             ("alice", "genuine"), ("gus", "genuine")):
        check_badge(league, player, standing)
    _, _, dave = request(league, "/player/dave")
    order = re.findall(rb'<section class="car" id="history-([^"]*)">', dave)
    if order != [b"Grelm", b"DunMarr", b"Skelder4", b"OldGrist", b"Brackwell"]:
        fail("dave's cars are not shown worst first: %r" % order)
    for car, advice in ((b"Grelm", b"Put the genuine descriptor back and send it again."),
                        (b"DunMarr", b"Send the file again."),
                        (b"Skelder4", b"The latest file was refused (too-big)"),
                        (b"OldGrist", b"The latest file was refused (too-big)")):
        section = dave.split(b'id="history-' + car + b'"')[1].split(b"<section")[0]
        if b'<p class="advice">' + advice not in section:
            fail("dave's %s does not say what to do" % car.decode())
    if b'class="advice"' in dave.split(b'id="history-Brackwell"')[1]:
        fail("dave's genuine Brackwell has advice")
    if not re.search(rb'data-player="alice" data-car="Brackwell" data-status="genuine"', page):
        fail("the grid does not show alice's latest verdict")
    league.stop()
    if "1 of the lines in the verdict logs" not in league.process.stderr.read():
        fail("the line a crash cut off is not reported")
    check_time_zone(league)


def check_time_zone(league):
    """The pages show the league's zone, with its abbreviation and offset;
    the JSON keeps UTC; a zone the system does not know stops the start."""
    league.start("0", "--time-zone", "Europe/Paris")
    _, _, alice = request(league, "/player/alice")
    if b"tweaked from 2026-12-01 11:00 CET (+01:00), genuine again at 2026-12-02 11:00 CET (+01:00)" not in alice:
        fail("alice's history is not shown in Paris time")
    _, _, records = request(league, "/verdicts.json")
    if b'"time":"2026-12-02T10:00:00Z"' not in records:
        fail("/verdicts.json does not keep UTC: %r" % records)
    league.stop()
    wrong = subprocess.run([league.tool("kestrix-collect"), "--port", "0", "--dir", league.dir, "--http", "0",
                            "--time-zone", "Nowhere/Atlantis"], capture_output=True, text=True, timeout=30)
    if wrong.returncode != 2 or "Nowhere/Atlantis" not in wrong.stderr:
        fail("an unknown zone: status %d, %s" % (wrong.returncode, wrong.stderr))


# Above the default of 16, as behind a reverse proxy.
PER_ADDRESS = 20


def connect_from(address, port):
    connection = socket.socket()
    connection.settimeout(5)
    connection.bind((address, 0))
    connection.connect(("127.0.0.1", port))
    connection.settimeout(None)
    return connection


def check_idle_connections(league, sample):
    # One address holds at most PER_ADDRESS (--http-per-address); /healthz
    # still answers the others.
    idle = [connect_from("127.0.1.1", league.http_port) for _ in range(PER_ADDRESS)]
    time.sleep(0.3)
    with connect_from("127.0.1.1", league.http_port) as one_more:
        one_more.settimeout(5)
        if not one_more.recv(100).startswith(b"HTTP/1.1 503"):
            fail("HTTP connection %d from one address was not answered 503" % (PER_ADDRESS + 1))
    if request(league, "/healthz")[0] != 200:
        fail("/healthz is not answered beside %d idle connections from one address" % PER_ADDRESS)
    idle += [connect_from("127.0.1.%d" % (2 + i // PER_ADDRESS), league.http_port) for i in range(256 - PER_ADDRESS)]
    time.sleep(0.5)
    with connect_from("127.0.2.1", league.http_port) as one_more:
        one_more.settimeout(5)
        if not one_more.recv(100).startswith(b"HTTP/1.1 503"):
            fail("the 257th HTTP connection was not answered 503")
    with ThreadPoolExecutor(4) as pool:
        answers = list(pool.map(lambda i: send_as_player(league.port, "bob", league.tokens["bob"],
                                                         "BrackwellDescriptor.txt", sample), range(20)))
    if answers != ["STORED|tweaked|"] * 20:
        fail("transfers beside 256 idle HTTP connections: %r" % sorted(set(answers)))
    # Idle ones are closed in time, and the page is served again.
    idle[0].settimeout(25)
    started = time.monotonic()
    if idle[0].recv(100) != b"":
        fail("an idle HTTP connection was answered")
    for connection in idle:
        connection.close()
    time.sleep(0.5)
    if request(league, "/healthz")[0] != 200:
        fail("the page is not served once the idle connections are gone")
    return time.monotonic() - started


def check_pipelined(league):
    """Requests sent ahead of their turn are not read: the one answered is the last."""
    with socket.create_connection(("127.0.0.1", league.http_port), timeout=10) as connection:
        connection.sendall(b"GET /healthz HTTP/1.1\r\nHost: league\r\n\r\n" * 100)
        answer = b""
        while True:
            chunk = connection.recv(65536)
            if not chunk:
                break
            answer += chunk
    if answer.count(b"HTTP/1.1 ") != 1 or not answer.startswith(b"HTTP/1.1 200"):
        fail("100 pipelined requests were answered %d times" % answer.count(b"HTTP/1.1 "))
    # One after the other, each after its answer, every one is answered.
    with socket.create_connection(("127.0.0.1", league.http_port), timeout=10) as connection:
        for _ in range(3):
            connection.sendall(b"GET /healthz HTTP/1.1\r\nHost: league\r\n\r\n")
            answer = b""
            while not answer.endswith(b"ok\n"):
                answer += connection.recv(65536)


def check_reader_that_never_reads(league, sample):
    stalled = socket.socket()
    stalled.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    stalled.connect(("127.0.0.1", league.http_port))
    stalled.sendall(b"GET /events HTTP/1.1\r\nHost: league\r\n\r\n")
    heard = []
    reader = socket.create_connection(("127.0.0.1", league.http_port))
    reader.sendall(b"GET /events HTTP/1.1\r\nHost: league\r\n\r\n")

    def read():
        try:
            while True:
                chunk = reader.recv(65536)
                if not chunk:
                    return
                heard.append(chunk)
        except OSError:
            return
    threading.Thread(target=read, daemon=True).start()
    time.sleep(0.3)
    transfers = 1500
    with ThreadPoolExecutor(8) as pool:
        answers = list(pool.map(lambda i: send_as_player(league.port, "carol", league.tokens["carol"],
                                                         "BrackwellDescriptor.txt", sample), range(transfers)))
    if answers.count("STORED|tweaked|") != transfers:
        fail("transfers beside a listener that never reads: %r" % sorted(set(answers)))
    deadline = time.monotonic() + 10
    while b"".join(heard).count(b"event: verdict\n") < transfers and time.monotonic() < deadline:
        time.sleep(0.1)
    if b"".join(heard).count(b"event: verdict\n") < transfers:
        fail("a reading listener heard %d of %d verdicts" % (b"".join(heard).count(b"event: verdict\n"), transfers))
    # Read at last, the stalled one ends: it was dropped, with what it had not read.
    stalled.settimeout(10)
    kept = 0
    try:
        while True:
            chunk = stalled.recv(65536)
            if not chunk:
                break
            kept += len(chunk)
    except ConnectionResetError:
        pass
    except TimeoutError:
        fail("a listener that never read was never dropped")
    if kept >= len(b"".join(heard)):
        fail("a listener that never read was sent everything")
    reader.close()


def main():
    tools, data = sys.argv[1], sys.argv[2]
    with open(os.path.join(data, "Cars", "Brackwell", "BrackwellDescriptor.txt"), "rb") as file:
        sample = file.read()
    with tempfile.TemporaryDirectory() as work:
        check_history_and_names(tools, data, os.path.join(work, "history"))
        league = League(tools, data, os.path.join(work, "live"), ["alice", "bob", "carol"])
        with open(league.roster) as roster:
            entries = roster.read()
        with open(league.roster, "w") as roster:
            roster.write(entries.replace('name = "alice"\n', 'name = "alice"\ndisplay = "Chlo\u00e9 <Dupont>"\n'))
        now = datetime.datetime.now(datetime.timezone.utc)
        events = os.path.join(work, "events.toml")
        with open(events, "w") as out:
            out.write(EVENTS % {"opens": (now - datetime.timedelta(hours=1)).strftime("%Y-%m-%dT%H:%M:%SZ"),
                                "closes": (now + datetime.timedelta(days=1)).strftime("%Y-%m-%dT%H:%M:%SZ")})
        league.start("0", "--max-per-player", "8", "--max-per-address", "16",
                     "--http-per-address", str(PER_ADDRESS), "--events", events)
        try:
            cell = b'<td data-player="alice" data-car="Brackwell" data-status="tweaked">'
            if cell in request(league, "/")[2]:
                fail("the grid shows a verdict before any file came")
            if send_as_player(league.port, "alice", league.tokens["alice"], "BrackwellDescriptor.txt", sample) \
                    != "STORED|tweaked|":
                fail("alice's file was not stored")
            # The grid is kept between requests, and built again for a new verdict.
            if cell not in request(league, "/")[2]:
                fail("the grid does not show the verdict that came after it was first drawn")
            if not send_as_player(league.port, "alice", "wrong", "BrackwellDescriptor.txt", sample).startswith(
                    "REFUSED|bad-proof|"):
                fail("a wrong token was not refused")
            check_metrics(league, len(sample))
            check_reload_figures(league)
            check_routes(league)
            check_pipelined(league)
            check_public_answers(league, sample)
            check_display_name(league)
            check_badge(league, "alice", "tweaked", "Chlo\u00e9 <Dupont>")
            check_badge(league, "carol", "none")
            if request(league, "/badge/nobody.svg")[0] != 404 or request(league, "/badge/a/b.svg")[0] != 404:
                fail("a badge of no player is not 404")
            check_event_badges(league, data)
            check_reader_that_never_reads(league, sample)
            check_idle_connections(league, sample)
            league.stop()
        finally:
            if league.process.poll() is None:
                league.process.kill()
    print("PASS: the league page over HTTP")


if __name__ == "__main__":
    main()
