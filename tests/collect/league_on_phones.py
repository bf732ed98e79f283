#!/usr/bin/env python3
"""The league page on a phone and on a wide screen, light and dark, in a
real browser (Debian's chromium, headless): at 400x800 and 1400x900 neither
the grid nor a player's page scrolls sideways, no status badge breaks inside
its word, the grid's car names and a player's changed line each keep to one
line (their boxes scroll instead; a long player's name may take two), and a dark system gets dark pages. Skips
(77) only where no browser can be installed.

Usage: league_on_phones.py TOOLS_DIR DATA_DIR [--screenshots DIR]
"""

import base64
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from headless_chromium import Browser, fail, find_browser  # noqa: E402
from league_collector import League  # noqa: E402

PLAYERS = ["alice", "bob", "carol", "a_player_with_a_rather_long_name"]

# What a page shows of its layout, measured as the reader sees it.
LAYOUT = """(() => {
  const lines = (element) => {
    const style = getComputedStyle(element);
    return element.getBoundingClientRect().height / parseFloat(style.lineHeight);
  };
  const colour = (text) => text.match(/[0-9.]+/g).slice(0, 3).map(Number);
  const light = ([r, g, b]) => (0.2126 * r + 0.7152 * g + 0.0722 * b) / 255;
  const body = getComputedStyle(document.body);
  const grid = document.getElementById("grid");
  const changed = document.querySelector("#history-Brackwell table.d tr.c td:nth-child(7)");
  return {
    pageWidth: document.documentElement.scrollWidth,
    brokenBadges: [...document.querySelectorAll(".s")].filter(s => lines(s) >= 1.5).map(s => s.textContent),
    brokenHeads: grid ? [...grid.tHead.querySelectorAll("th")].filter(th => th.getClientRects().length !== 1 ||
                        th.getBoundingClientRect().height > 2.5 * parseFloat(getComputedStyle(th).lineHeight))
                        .map(th => th.textContent) : [],
    gridRight: grid ? grid.getBoundingClientRect().right : 0,
    changedLines: changed ? lines(changed) : null,
    changedBoxRight: changed ? changed.closest("section.file").getBoundingClientRect().right : 0,
    background: light(colour(body.backgroundColor)),
    text: light(colour(body.color)),
  };
})()"""


def sent(league, player, path, verdict):
    output, status = league.send(player, path)
    if status != 0 or "sent and checked: " + verdict not in output:
        fail("%s sending %s: status %d, %s" % (player, path, status, output))


def shown_with_evidence(browser, url, width, height):
    """Opens a player's page once the evidence of his tweaked Brackwell is drawn."""
    deadline = time.monotonic() + 15
    browser.open(url, width, height)
    while not browser.evaluate("!!document.querySelector('#history-Brackwell table.d')"):
        if time.monotonic() > deadline:
            fail("the evidence of %s is not drawn within 15 s" % url)
        time.sleep(0.2)
        browser.open(url, width, height)


def check(layout, where, width, dark):
    faults = []
    if layout["pageWidth"] > width:
        faults.append("the page is %d px wide" % layout["pageWidth"])
    if layout["brokenBadges"]:
        faults.append("badges broken over lines: %r" % layout["brokenBadges"])
    if layout["brokenHeads"]:
        faults.append("grid headings broken over lines: %r" % layout["brokenHeads"])
    if layout["gridRight"] > width:
        faults.append("the grid's box ends at %d px" % layout["gridRight"])
    if layout["changedLines"] is not None and (layout["changedLines"] >= 1.5 or layout["changedBoxRight"] > width):
        faults.append("the changed line takes %.1f lines in a box ending at %d px"
                      % (layout["changedLines"], layout["changedBoxRight"]))
    if dark != (layout["background"] < 0.2 and layout["text"] > 0.7):
        faults.append("background %.2f and text %.2f light" % (layout["background"], layout["text"]))
    if faults:
        fail("%s at %d px, %s: %s" % (where, width, "dark" if dark else "light", "; ".join(faults)))


def main():
    tools, data = sys.argv[1], sys.argv[2]
    shots = sys.argv[4] if len(sys.argv) == 5 and sys.argv[3] == "--screenshots" else None
    chromium = find_browser()
    with tempfile.TemporaryDirectory() as work:
        league = League(tools, data, work, PLAYERS)
        league.start()
        browser = Browser(chromium, work)
        try:
            sent(league, "alice", league.sample("Brackwell", "BrackwellDescriptor.txt"), "tweaked")
            sent(league, "bob", league.genuine("Brackwell", "BrackwellDescriptor.txt"), "genuine")
            sent(league, "carol", league.sample("DunMarr", "DunMarrDescriptor.txt"), "genuine")
            player = league.url("/player/alice")
            for dark in (False, True):
                browser.call("Emulation.setEmulatedMedia", features=[
                    {"name": "prefers-color-scheme", "value": "dark" if dark else "light"}])
                for width, height in ((400, 800), (1400, 900)):
                    for where, url in (("the grid", league.url("/")), ("alice's page", player)):
                        if url == player:
                            shown_with_evidence(browser, url, width, height)
                        else:
                            browser.open(url, width, height)
                        check(browser.evaluate(LAYOUT), where, width, dark)
                        if shots and width == 400:
                            name = "%s-%s.png" % ("grid" if url != player else "player", "dark" if dark else "light")
                            with open(os.path.join(shots, name), "wb") as out:
                                out.write(base64.b64decode(browser.call("Page.captureScreenshot", format="png")["data"]))
            league.stop()
        finally:
            browser.close()
            if league.process and league.process.poll() is None:
                league.process.kill()
    print("PASS: the league page on a phone and a wide screen, light and dark")


if __name__ == "__main__":
    main()
