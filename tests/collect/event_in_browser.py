#!/usr/bin/env python3
"""A race event's page in a real browser: Debian's chromium, headless. The
grid's page links to the event; the event's page says "provisional" until
its deadline, a few seconds away, and a cell turns from missing to genuine
without a reload when the player sends; at the deadline the page turns
"final" by itself, and the result is written. Skips (77) only where no
browser can be installed.

Usage: event_in_browser.py TOOLS_DIR DATA_DIR
"""

import datetime
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from headless_chromium import Browser, fail, find_browser, wait_until  # noqa: E402
from league_collector import League  # noqa: E402

CELL = 'document.querySelector(\'td[data-player="%s"][data-car="%s"]\').dataset.status'
ROW = 'document.querySelector(\'tr[data-player="%s"]\').dataset.entrantStatus'
PHASE = "document.getElementById('phase').textContent"


def utc(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def main():
    tools, data = sys.argv[1], sys.argv[2]
    chromium = find_browser()
    with tempfile.TemporaryDirectory() as work:
        league = League(tools, data, work, ["alice", "bob"])
        now = datetime.datetime.now(datetime.timezone.utc)
        closes = now + datetime.timedelta(seconds=12)
        events = os.path.join(work, "events.toml")
        with open(events, "w") as out:
            out.write('[[event]]\nid = "round-3"\nname = "Round 3 — Grelm Ring"\nopens = %s\ncloses = %s\n'
                      'cars = ["Grelm"]\n' % (utc(now - datetime.timedelta(hours=1)), utc(closes)))
        league.start("0", "--events", events)
        browser = Browser(chromium, work)
        try:
            browser.open(league.url("/"), 1280, 900)
            if browser.evaluate("document.querySelector('a[href=\"/event/round-3\"]') !== null") is not True:
                fail("the grid's page has no link to the event")
            browser.open(league.url("/event/round-3"), 1280, 900)
            browser.evaluate("window.loadedOnce = true")
            if browser.evaluate(PHASE) != "provisional":
                fail("before the deadline the header says %r" % browser.evaluate(PHASE))
            if "(UTC)" not in browser.evaluate("document.body.textContent"):
                fail("the deadline is shown without its zone")
            wait_until(browser, CELL % ("alice", "Grelm"), "missing", 5, "alice's Grelm before any file")
            output, status = league.send("alice", league.genuine("Grelm", "Grelmdescriptor.txt"))
            if status != 0:
                fail("alice sending: status %d, %s" % (status, output))
            wait_until(browser, CELL % ("alice", "Grelm"), "genuine", 10, "alice's Grelm cell")
            wait_until(browser, ROW % "alice", "passed", 5, "alice's row")
            if browser.evaluate(ROW % "bob") != "incomplete":
                fail("bob, who sent nothing, is %r" % browser.evaluate(ROW % "bob"))
            wait_until(browser, PHASE, "final", 25, "the header after the deadline")
            if "provisional" in browser.evaluate("document.documentElement.outerHTML"):
                fail("the final page still says provisional")
            if browser.evaluate("window.loadedOnce === true") is not True:
                fail("the page was loaded again")
            result = os.path.join(league.dir, "events", "round-3", "result.json")
            deadline = time.monotonic() + 10
            while not os.path.exists(result) and time.monotonic() < deadline:
                time.sleep(0.1)
            if not os.path.exists(result):
                fail("no result.json after the deadline")
            league.stop()
        finally:
            browser.close()
            if league.process and league.process.poll() is None:
                league.process.kill()
    print("PASS: the event page in chromium")


if __name__ == "__main__":
    main()
