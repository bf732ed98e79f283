#!/usr/bin/env python3
"""The league page in a real browser: Debian's chromium, headless. The grid
shows every player on the roster; a tweaked descriptor sent by a player
turns that player's cell "tweaked" without a reload; the cell's link leads
to the changed line beside its genuine one; after a restart of the
collector the page reconnects by itself and the history is kept. Skips (77)
only where no browser can be installed.

Usage: league_in_browser.py TOOLS_DIR DATA_DIR [--screenshot PNG]
"""

import base64
import os
import re
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from headless_chromium import Browser, fail, find_browser, wait_until  # noqa: E402
from league_collector import League  # noqa: E402

CELL = 'document.querySelector(\'td[data-player="%s"][data-car="%s"]\').dataset.status'


def sent(league, player, path, verdict):
    output, status = league.send(player, path)
    if status != 0 or "sent and checked: " + verdict not in output:
        fail("%s sending %s: status %d, %s" % (player, path, status, output))


def main():
    tools, data = sys.argv[1], sys.argv[2]
    keep = sys.argv[4] if len(sys.argv) == 5 and sys.argv[3] == "--screenshot" else None
    chromium = find_browser()
    with tempfile.TemporaryDirectory() as work:
        league = League(tools, data, work, ["alice", "bob", "carol"])
        league.start()
        browser = Browser(chromium, work)
        try:
            browser.open(league.url("/"), 1280, 900)
            browser.evaluate("window.loadedOnce = true")
            for player in ("alice", "bob", "carol"):
                if browser.evaluate(CELL % (player, "Brackwell")) != "none":
                    fail("%s's Brackwell cell is not \"none\" before any file" % player)
            wait_until(browser, "document.getElementById('live').className", "live on", 10, "the live state")

            sent(league, "bob", league.genuine("Brackwell", "BrackwellDescriptor.txt"), "genuine")
            sent(league, "alice", league.sample("Brackwell", "BrackwellDescriptor.txt"), "tweaked")
            wait_until(browser, CELL % ("alice", "Brackwell"), "tweaked", 10, "alice's Brackwell cell")
            wait_until(browser, CELL % ("bob", "Brackwell"), "genuine", 10, "bob's Brackwell cell")
            shown = browser.evaluate("document.querySelector('td[data-player=\"alice\"][data-car=\"Brackwell\"] time')"
                                     ".textContent")
            if not re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d UTC", shown):
                fail("a live cell shows its time as %r" % shown)
            if browser.evaluate("window.loadedOnce === true") is not True:
                fail("the page was loaded again")
            counts = browser.evaluate("document.querySelector('b[data-count=\"tweaked\"]').textContent")
            if counts != "1":
                fail("the tweaked count reads %r" % counts)
            if keep:
                for car, sample in (("DunMarr", "DunMarrDescriptor.txt"), ("Grelm", "Grelmdescriptor.txt")):
                    league.send("carol", league.sample(car, sample))
                    league.send("bob", league.genuine(car, sample))
                time.sleep(1)
                browser.call("Emulation.setDeviceMetricsOverride", width=1400, height=900, deviceScaleFactor=1,
                             mobile=False)
                with open(keep, "wb") as out:
                    out.write(base64.b64decode(browser.call("Page.captureScreenshot", format="png")["data"]))

            link = browser.evaluate("document.querySelector('td[data-player=\"alice\"][data-car=\"Brackwell\"] a').href")
            # The evidence is drawn when first asked for, and the page shows it
            # a moment later.
            deadline = time.monotonic() + 10
            browser.open(link, 1280, 2000)
            while not browser.evaluate("!!document.querySelector('#history-Brackwell table.d')") \
                    and time.monotonic() < deadline:
                time.sleep(0.2)
                browser.open(link.split("#")[0], 1280, 2000)
            row = browser.evaluate("""(() => {
              const row = document.querySelector("#history-Brackwell table.d tr.c");
              const cells = row ? [...row.querySelectorAll("td")] : [];
              const box = (cell) => cell.getBoundingClientRect();
              return cells.length < 7 ? null : {genuine: cells[2].textContent, descriptor: cells[6].textContent,
                sameRow: Math.abs(box(cells[2]).top - box(cells[6]).top) < 1, leftOf: box(cells[2]).right <= box(cells[6]).left};
            })()""")
            if not row or row["genuine"] != "Torque=412.5" or row["descriptor"] != "Torque=512.5":
                fail("the evidence does not show the changed line beside its genuine one: %r" % row)
            if not (row["sameRow"] and row["leftOf"]):
                fail("the changed line and its genuine line are not side by side: %r" % row)

            browser.open(league.url("/"), 1280, 900)
            wait_until(browser, "document.getElementById('live').className", "live on", 10, "the live state")
            browser.evaluate("window.loadedOnce = true")
            port = league.http_port
            league.stop()
            wait_until(browser, "document.getElementById('live').className", "live off", 10, "the state once stopped")
            league.start(str(port))
            wait_until(browser, "document.getElementById('live').className", "live on", 15, "the reconnection")
            sent(league, "carol", league.sample("Brackwell", "BrackwellDescriptor.txt"), "tweaked")
            wait_until(browser, CELL % ("carol", "Brackwell"), "tweaked", 10, "carol's cell after the restart")
            if browser.evaluate("window.loadedOnce === true") is not True:
                fail("the page was loaded again")
            browser.open(league.url("/"), 1280, 900)
            for player, status in (("alice", "tweaked"), ("bob", "genuine"), ("carol", "tweaked")):
                if browser.evaluate(CELL % (player, "Brackwell")) != status:
                    fail("after the restart %s's Brackwell is not %s" % (player, status))
            league.stop()
        finally:
            browser.close()
            if league.process and league.process.poll() is None:
                league.process.kill()
    print("PASS: the league page in chromium")


if __name__ == "__main__":
    main()
