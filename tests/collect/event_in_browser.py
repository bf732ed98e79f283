#!/usr/bin/env python3
"""A race event's page in a real browser: Debian's chromium, headless. The
grid's page links to the event; the event's page says "provisional" until
its deadline, a few seconds away, and a cell turns from missing to genuine
without a reload when the player sends; at the deadline the page turns
"final" by itself, and the result is written. On a phone, light and dark,
an event of every car does not scroll sideways, and shows an entrant's
display name and the deadline in the league's zone. Skips (77) only where
no browser can be installed.

Usage: event_in_browser.py TOOLS_DIR DATA_DIR
"""

import datetime
import json
import os
import sys
import tempfile
import time
from zoneinfo import ZoneInfo

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from headless_chromium import Browser, fail, find_browser, wait_until  # noqa: E402
from league_collector import League  # noqa: E402

CELL = 'document.querySelector(\'td[data-player="%s"][data-car="%s"]\').dataset.status'
ROW = 'document.querySelector(\'tr[data-player="%s"]\').dataset.entrantStatus'
PHASE = "document.getElementById('phase').textContent"


ZONE = "Europe/Paris"
# What an event's page shows of itself on a phone.
SHOWN = """(() => {
  const colour = (text) => text.match(/[0-9.]+/g).slice(0, 3).map(Number);
  const light = ([r, g, b]) => (0.2126 * r + 0.7152 * g + 0.0722 * b) / 255;
  const body = getComputedStyle(document.body);
  return {
    pageWidth: document.documentElement.scrollWidth,
    alice: document.querySelector('tr[data-player="alice"] th').textContent,
    deadline: document.querySelector("time").textContent,
    dark: light(colour(body.backgroundColor)) < 0.2 && light(colour(body.color)) > 0.7,
  };
})()"""


def utc(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def zoned(moment):
    """moment as the pages show it in ZONE: "2027-03-05 19:00 CET (+01:00)"."""
    local = moment.astimezone(ZoneInfo(ZONE))
    minutes = int(local.utcoffset().total_seconds()) // 60
    return "%s %s (%s%02d:%02d)" % (local.strftime("%Y-%m-%d %H:%M"), local.tzname(), "-" if minutes < 0 else "+",
                                   abs(minutes) // 60, abs(minutes) % 60)


def check_on_phone(browser, url, closes):
    for dark in (False, True):
        browser.call("Emulation.setEmulatedMedia", features=[
            {"name": "prefers-color-scheme", "value": "dark" if dark else "light"}])
        browser.open(url, 400, 800)
        shown = browser.evaluate(SHOWN)
        if shown["pageWidth"] > 400 or shown["alice"] != "Chlo\u00e9 Dupont" or shown["deadline"] != zoned(closes) \
                or shown["dark"] != dark:
            fail("the event's page at 400 px, %s: %r (the deadline shown as %r)"
                 % ("dark" if dark else "light", shown, zoned(closes)))
    browser.call("Emulation.setEmulatedMedia", features=[])


def main():
    tools, data = sys.argv[1], sys.argv[2]
    chromium = find_browser()
    with tempfile.TemporaryDirectory() as work:
        league = League(tools, data, work, ["alice", "bob"])
        with open(league.roster) as roster:
            entries = roster.read()
        with open(league.roster, "w") as roster:
            roster.write(entries.replace('name = "alice"\n', 'name = "alice"\ndisplay = "Chlo\u00e9 Dupont"\n'))
        now = datetime.datetime.now(datetime.timezone.utc)
        closes = now + datetime.timedelta(seconds=12)
        season = now + datetime.timedelta(days=40)
        events = os.path.join(work, "events.toml")
        with open(events, "w") as out:
            out.write('[[event]]\nid = "round-3"\nname = "Round 3 — Grelm Ring"\nopens = %s\ncloses = %s\n'
                      'cars = ["Grelm"]\n' % (utc(now - datetime.timedelta(hours=1)), utc(closes)))
            out.write('[[event]]\nid = "season"\nname = "The whole season, every car"\nopens = %s\ncloses = %s\n'
                      % (utc(now - datetime.timedelta(hours=1)), utc(season)))
        league.start("0", "--events", events, "--time-zone", ZONE)
        browser = Browser(chromium, work)
        try:
            browser.open(league.url("/"), 1280, 900)
            if browser.evaluate("document.querySelector('a[href=\"/event/round-3\"]') !== null") is not True:
                fail("the grid's page has no link to the event")
            check_on_phone(browser, league.url("/event/season"), season)
            browser.open(league.url("/event/round-3"), 1280, 900)
            browser.evaluate("window.loadedOnce = true")
            if browser.evaluate(PHASE) != "provisional":
                fail("before the deadline the header says %r" % browser.evaluate(PHASE))
            if "Deadline %s." % zoned(closes) not in browser.evaluate("document.body.textContent"):
                fail("the deadline is not shown in the league's zone")
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
            with open(result) as written:
                kept = json.load(written)
            if kept["closes"] != utc(closes) or [entrant["player"] for entrant in kept["entrants"]] != ["alice", "bob"]:
                fail("result.json does not keep ids and UTC: %r" % kept)
            with open(os.path.join(os.path.dirname(result), "result.html"), encoding="utf-8") as written:
                html = written.read()
            if "<th>Chlo\u00e9 Dupont</th>" not in html or ">%s</time>" % zoned(closes) not in html:
                fail("result.html does not show the display name and the zoned deadline")
            league.stop()
        finally:
            browser.close()
            if league.process and league.process.poll() is None:
                league.process.kill()
    print("PASS: the event page in chromium")


if __name__ == "__main__":
    main()
