#!/usr/bin/env python3
"""The collector's notifications over real sockets: a real kestrix-collect
with a roster, an event and --notify-file posting to webhooks on 127.0.0.1
that this test runs. One message of each kind with its fields, to a webhook
that answers 500 once (tried again), one that answers 429 with Retry-After
(waited for) and one that never answers (files are kept meanwhile); the
figures on /metrics; SIGHUP with a bad file and a good one; no sender's
address or server path in any body; --notify-test; a bad file refused with
its line; a file checked at a start after a crash.

Usage: notify_http.py TOOLS_DIR DATA_DIR
"""

import datetime
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from league_collector import League, fail, send_as_player  # noqa: E402
from notify_recorder import Recorder  # noqa: E402

PUBLIC = "https://league.example.org"
TIME = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z")
FIELDS = {"kind", "player", "car", "status", "time", "page", "content"}


def write_file(path, text, mode=0o600):
    with open(path, "w") as out:
        out.write(text)
    os.chmod(path, mode)
    return path


def utc(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def check_body(body, kind, car, status):
    if body.get("kind") != kind:
        fail("a %s message came as %r" % (kind, body))
    expected = FIELDS | ({"code"} if kind == "refused" else set()) \
        | ({"event", "name", "counts"} if kind == "event-closed" else set())
    if set(body) != expected:
        fail("a %s message holds %s, not %s" % (kind, sorted(body), sorted(expected)))
    player = None if kind == "event-closed" else "alice"
    if (body["player"], body["car"], body["status"]) != (player, car, status):
        fail("a %s message: %r" % (kind, body))
    if not TIME.fullmatch(body["time"]):
        fail("a %s message's time is not UTC: %r" % (kind, body["time"]))
    page = PUBLIC + ("/event/round-9" if kind == "event-closed" else "/player/alice")
    if body["page"] != page or page not in body["content"]:
        fail("a %s message's page: %r" % (kind, body))
    if "\n" in body["content"] or (kind != "event-closed" and "Chlo\u00e9 Dupont" not in body["content"]):
        fail("a %s message's content: %r" % (kind, body["content"]))


def wait_for_event(league, matches, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        event = league.wait_event("notification", max(1, deadline - time.monotonic()))
        if matches(event):
            return event
    fail("no such notification event within %d s" % seconds)


def metrics(league):
    with urllib.request.urlopen(league.url("/metrics"), timeout=10) as answer:
        text = answer.read().decode()
    return {result: int(count) for result, count in
            re.findall(r'^kestrix_notifications_total\{result="(\w+)"\} (\d+)$', text, re.M)}


def check_live(tools, data, work, recorder):
    league = League(tools, data, work, ["alice", "bob"])
    with open(league.roster) as roster:
        entries = roster.read()
    write_file(league.roster, entries.replace('name = "alice"\n', 'name = "alice"\ndisplay = "Chlo\u00e9 Dupont"\n'))
    now = datetime.datetime.now(datetime.timezone.utc)
    events = write_file(os.path.join(work, "events.toml"),
                        '[[event]]\nid = "round-9"\nname = "Round 9"\nopens = %s\ncloses = %s\ncars = ["Brackwell"]\n'
                        % (utc(now - datetime.timedelta(hours=1)), utc(now + datetime.timedelta(seconds=20))))
    recorder.script("/flaky/s3cret", [(500, {}), (200, {})])
    recorder.script("/limited/s3cret", [(429, {"Retry-After": "1"})])
    recorder.hang("/never/s3cret")
    notify = write_file(os.path.join(work, "notify"), "# the league's webhooks\n\n%s\n  %s  \n%s\n%s\n" % (
        recorder.url("/ok/s3cret?wait=true"), recorder.url("/flaky/s3cret"), recorder.url("/limited/s3cret"),
        recorder.url("/never/s3cret")))
    bad = write_file(os.path.join(work, "bad-notify"), "mailto:admin@example.org\n")
    done = subprocess.run([league.tool("kestrix-collect"), "--port", "0", "--dir", league.dir, "--folder", league.program,
                           "--roster", league.roster, "--notify-file", bad], capture_output=True, text=True, timeout=60)
    if done.returncode != 2 or bad + ":1: " not in done.stderr:
        fail("the collector started on a bad notification file: %d, %r" % (done.returncode, done.stderr))
    league.start("0", "--notify-file", notify, "--public-url", PUBLIC, "--events", events, "--max-size", "4700")
    try:
        with open(league.sample("Brackwell", "BrackwellDescriptor.txt"), "rb") as file:
            tweaked = file.read()
        with open(os.path.join(data, "genuine", "Brackwell.dat"), "rb") as file:
            genuine = file.read()
        with open(os.path.join(data, "genuine", "Grelm.dat"), "rb") as file:
            grelm = file.read()
        sent = [("BrackwellDescriptor.txt", tweaked, "STORED|tweaked|"),
                ("BrackwellDescriptor.txt", genuine, "STORED|genuine|"),
                ("DunMarrDescriptor.txt", b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR", "STORED|damaged|"),
                ("BrackwellDescriptor.txt", b"x" * 4800, "REFUSED|too-large|")]
        for name, content, answer in sent:
            if not send_as_player(league.port, "alice", league.tokens["alice"], name, content).startswith(answer):
                fail("alice's %s was not answered %s" % (name, answer))
        # An unproven claim is no one's refusal, and a genuine car that was never tweaked is nothing to tell.
        send_as_player(league.port, "bob", "wrong", "BrackwellDescriptor.txt", tweaked)
        send_as_player(league.port, "bob", league.tokens["bob"], "Grelmdescriptor.txt", grelm)
        kinds = [("tweaked", "Brackwell", "tweaked"), ("genuine-again", "Brackwell", "genuine"),
                 ("damaged", "DunMarr", "damaged"), ("refused", "Brackwell", "refused"),
                 ("event-closed", None, None)]
        bodies = recorder.wait_for("/ok/s3cret?wait=true", len(kinds), 40)
        if [body["kind"] for body in bodies] != [kind for kind, _, _ in kinds]:
            fail("the webhook was told %r" % [(body["kind"], body["player"]) for body in bodies])
        for body, (kind, car, status) in zip(bodies, kinds):
            check_body(body, kind, car, status)
        if bodies[3]["code"] != "too-large" or "too-large" not in bodies[3]["content"]:
            fail("the refusal's code: %r" % bodies[3])
        if bodies[4]["counts"] != {"passed": 1, "failed": 0, "incomplete": 1} or "Round 9" not in bodies[4]["content"]:
            fail("the event's close: %r" % bodies[4])
        # Once refused with 500 and tried again; once asked to wait: the first message twice, the rest once.
        for path in ("/flaky/s3cret", "/limited/s3cret"):
            got = recorder.wait_for(path, len(kinds) + 1, 30)
            if len(got) != len(kinds) + 1 or got[0] != got[1] or got[1:] != bodies:
                fail("%s was told %r" % (path, [body["kind"] for body in got]))

        # While one webhook never answers, files are kept as fast as they come.
        with ThreadPoolExecutor(4) as pool:  # --max-per-player
            answers = list(pool.map(lambda _: send_as_player(league.port, "alice", league.tokens["alice"],
                                                             "BrackwellDescriptor.txt", tweaked), range(24)))
        if answers != ["STORED|tweaked|"] * 24:
            fail("while a webhook hangs, files were answered %r" % sorted(set(answers)))
        if len(recorder.wait_for("/ok/s3cret?wait=true", len(kinds) + 24, 30)) != len(kinds) + 24:
            fail("the other webhooks were held up by the one that never answers")
        # The webhook that never answers is tried again every so often meanwhile.
        wanted = {"sent": 3 * (len(kinds) + 24), "retried": 1, "limited": 1, "failed": 0, "dropped": 0}
        deadline = time.monotonic() + 20
        while dict(metrics(league), retried=1) != wanted and time.monotonic() < deadline:
            time.sleep(0.1)
        figures = metrics(league)
        if dict(figures, retried=1) != wanted or figures["retried"] < 1:
            fail("/metrics counts the notifications as %r" % figures)

        # A bad file on SIGHUP keeps the addresses in force; a good one drops what waits for one gone.
        write_file(notify, "%s\nhttps://\n" % recorder.url("/ok/s3cret?wait=true"))
        league.process.send_signal(signal.SIGHUP)
        failed = league.wait_event("reload failed", 10)
        if notify + ":2:" not in failed["reason"]:
            fail("a bad notification file on SIGHUP: %r" % failed)
        write_file(notify, "%s\n" % recorder.url("/ok/s3cret?wait=true"))
        league.process.send_signal(signal.SIGHUP)
        dropped = wait_for_event(league, lambda event: event["result"] == "dropped", 10)
        if dropped["count"] != len(kinds) + 24 or dropped["target"] != recorder.url("/…"):
            fail("the webhook no longer listed: %r" % dropped)
        league.wait_event("reloaded", 10)
        league.stop()
    finally:
        if league.process.poll() is None:
            league.process.kill()
    for body in recorder.all_bodies():
        for secret in (b"127.0.0.1", league.dir.encode(), work.encode(), b"s3cret"):
            if secret in body:
                fail("a notification holds %s: %r" % (secret.decode(), body))


def check_checked_at_start(tools, data, work, recorder):
    """A tweaked file kept whole before a crash, checked at the next start, is told as well."""
    league = League(tools, data, work, ["alice"])
    name = "20261211-080000-000-BrackwellDescriptor.txt"
    os.makedirs(os.path.join(league.dir, "alice"))
    with open(league.sample("Brackwell", "BrackwellDescriptor.txt"), "rb") as source, \
            open(os.path.join(league.dir, "alice", name), "wb") as kept:
        size = kept.write(source.read())
    with open(os.path.join(league.dir, "alice", ".BrackwellDescriptor.txt.0123abcd.tmp.arriving"), "w") as journal:
        json.dump({"kept": "alice/" + name, "name": "BrackwellDescriptor.txt", "player": "alice",
                   "sender": "127.0.0.1", "size": size}, journal)
        journal.write("\n")
    notify = write_file(os.path.join(work, "notify"), recorder.url("/restarted") + "\n")
    league.start("0", "--notify-file", notify)
    try:
        told = recorder.wait_for("/restarted", 1, 20)
        if [(body["kind"], body["player"], body["car"]) for body in told] != [("tweaked", "alice", "Brackwell")]:
            fail("a file checked at the start was told as %r" % told)
        league.stop()
    finally:
        if league.process.poll() is None:
            league.process.kill()


def check_test_option(tools, work, recorder):
    collect = os.path.join(tools, "kestrix-collect")
    recorder.script("/broken/s3cret", [(500, {})] * 10)

    def run(text, mode=0o600):
        path = write_file(os.path.join(work, "test-notify"), text, mode)
        done = subprocess.run([collect, "--notify-test", "--notify-file", path], capture_output=True, text=True,
                              timeout=60)
        return done.returncode, done.stdout, done.stderr

    good = recorder.url("/ok/test-s3cret")
    status, out, err = run(good + "\n")
    if status != 0 or out != recorder.url("/…") + ": 204 No Content\n" or err:
        fail("--notify-test to a good webhook: %d, %r, %r" % (status, out, err))
    if recorder.bodies("/ok/test-s3cret")[-1]["kind"] != "test":
        fail("--notify-test sent %r" % recorder.bodies("/ok/test-s3cret"))
    status, out, err = run("%s\n%s\n" % (good, recorder.url("/broken/s3cret")), 0o644)
    if status != 1 or out.count(recorder.url("/…")) != 2 or "500 Internal Server Error" not in out or "s3cret" in out:
        fail("--notify-test to a broken webhook: %d, %r" % (status, out))
    if "other users may read it" not in err:
        fail("a notification file others may read: no warning in %r" % err)
    for text, line in (("# hooks\n\nftp://example.org/x\n", 3), ("%s\n%s\n" % (good, good), 2),
                       ("example.org/hook\n", 1)):
        status, out, err = run(text)
        if status != 2 or not err.startswith("kestrix-collect: %s:%d: " % (os.path.join(work, "test-notify"), line)):
            fail("a bad notification file %r: %d, %r" % (text, status, err))


def main():
    tools, data = sys.argv[1], sys.argv[2]
    recorder = Recorder()
    try:
        with tempfile.TemporaryDirectory() as work:
            check_test_option(tools, work, recorder)
            check_checked_at_start(tools, data, os.path.join(work, "restarted"), recorder)
            check_live(tools, data, os.path.join(work, "live"), recorder)
    finally:
        recorder.close()
    print("PASS: the notifications")


if __name__ == "__main__":
    main()
