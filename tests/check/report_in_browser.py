#!/usr/bin/env python3
"""The report page in a real browser: Debian's chromium, headless, driven
through its DevTools protocol over a pipe (no driver, no extra module).

On screen, at 1280 pixels: a changed line stands in one row beside its
genuine line, genuine on the left, with what differs marked in each; long
lines wrap rather than widen the page; unchanged lines stay folded; nothing
is loaded from outside. Printed (to PDF, background graphics off, as a print
dialog starts): the colours stay and long lines wrap. Skips (77) only where
no browser can be installed.

Usage: report_in_browser.py HTML_REPORT_SAMPLE [--screenshot PNG]
"""

import base64
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from headless_chromium import Browser, fail, find_browser, need  # noqa: E402

XHTML = "{http://www.w3.org/1999/xhtml}"


MEASURE = """(() => {
  const box = (element) => { const r = element.getBoundingClientRect();
    return {left: r.left, right: r.right, top: r.top, bottom: r.bottom, width: r.width, height: r.height}; };
  const file = [...document.querySelectorAll("section.file")]
    .find((section) => section.querySelector("h3 code").textContent.includes("league/bob/"));
  const cells = file.querySelector("table.d tr.c").querySelectorAll("td");
  const longest = [...document.querySelectorAll("table.d td")].find((cell) => cell.textContent.includes("Z9"));
  // Each count in its status's colour, whichever columns the league's page has.
  const players = document.querySelector("table.players");
  const heads = [...players.querySelectorAll("th")].map((head) => head.textContent);
  const colours = {};
  for (const [player, column] of [["bob", "Tweaked"], ["gina", "Allowed"], ["erin", "Errors"], ["alice", "Genuine"]]) {
    const row = [...players.querySelectorAll("tbody tr")].find((tr) => tr.cells[0].textContent === player);
    colours[player + " " + column] = getComputedStyle(row.cells[heads.indexOf(column)]).color;
  }
  return {
    cells: [...cells].map((cell) => cell.textContent),
    genuine: box(cells[2]), descriptor: box(cells[6]),
    deleted: box(cells[2].querySelector("del")), inserted: box(cells[6].querySelector("ins")),
    longest: box(longest), pageWidth: document.documentElement.scrollWidth, viewWidth: window.innerWidth,
    folded: [...file.querySelectorAll("tr.f details")].map((details) =>
      details.getBoundingClientRect().height - details.querySelector("summary").getBoundingClientRect().height),
    loaded: performance.getEntriesByType("resource").length,
    colours: colours,
  };
})()"""


def check_markup(page):
    root = ET.parse(page).getroot()
    for element in root.iter():
        tag = element.tag.replace(XHTML, "")
        if tag in ("script", "link", "img", "iframe", "object", "embed"):
            fail("the page holds a <%s>" % tag)
        if "src" in element.attrib:
            fail("the page loads " + element.attrib["src"])
        if "href" in element.attrib and not element.attrib["href"].startswith("#"):
            fail("the page links outside: " + element.attrib["href"])
        if tag == "style" and re.search(r"url\(|@import", element.text or ""):
            fail("the style sheet loads something")


def check_screen(browser, page):
    browser.open("file://" + page, 1280, 2000)
    m = browser.evaluate(MEASURE)
    if m["cells"] != ["16", "~", "Torque=412.5", "changed", "16", "~", "Torque=512.5"]:
        fail("the first changed row reads %r" % m["cells"])
    genuine, descriptor = m["genuine"], m["descriptor"]
    if abs(genuine["top"] - descriptor["top"]) > 0.5 or abs(genuine["bottom"] - descriptor["bottom"]) > 0.5:
        fail("the changed line and its genuine line are not in one row: %r %r" % (genuine, descriptor))
    if not (genuine["right"] <= descriptor["left"] and genuine["width"] > 300 and descriptor["width"] > 300):
        fail("the lines are not side by side, genuine on the left: %r %r" % (genuine, descriptor))
    for name in ("deleted", "inserted"):
        if m[name]["width"] <= 0 or m[name]["height"] <= 0:
            fail("what differs is not marked visibly (%s): %r" % (name, m[name]))
    if m["pageWidth"] > m["viewWidth"] or m["longest"]["right"] > m["viewWidth"]:
        fail("a long line widens the page: %r, page %d of %d" % (m["longest"], m["pageWidth"], m["viewWidth"]))
    if not m["folded"] or any(height > 1 for height in m["folded"]):
        fail("unchanged lines are not folded: %r" % m["folded"])
    expected = {"bob Tweaked": "rgb(207, 34, 46)", "gina Allowed": "rgb(27, 124, 131)",
                "erin Errors": "rgb(130, 80, 223)", "alice Genuine": "rgb(26, 127, 55)"}
    if m["colours"] != expected:
        fail("counts in the wrong colours: %r" % m["colours"])
    if m["loaded"] != 0:
        fail("the page loaded %d resources" % m["loaded"])


def read_ppm(path):
    with open(path, "rb") as image:
        data = image.read()
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    return data[header.end():]


def has_pixel(pixels, colour):
    at = pixels.find(colour)
    while at >= 0 and at % 3 != 0:
        at = pixels.find(colour, at + 1)
    return at >= 0


def check_print(browser, work):
    need("pdftoppm")
    need("pdftotext")
    pdf = os.path.join(work, "report.pdf")
    with open(pdf, "wb") as out:
        out.write(base64.b64decode(browser.call("Page.printToPDF", printBackground=False)["data"]))
    text = subprocess.run(["pdftotext", pdf, "-"], capture_output=True, text=True, check=True).stdout
    for end in ("t149", "Z9"):
        if end not in text:
            fail("a long line is cut off in print (%s is not printed)" % end)
    subprocess.run(["pdftoppm", "-r", "30", pdf, os.path.join(work, "page")], check=True)
    # The backgrounds of a changed line and of its marks, which print drops
    # unless the page asks to keep them.
    wanted = {(0xFF, 0xEB, 0xE9): "changed, genuine", (0xDA, 0xFB, 0xE1): "changed, descriptor",
              (0xFF, 0x81, 0x82): "deleted", (0x6F, 0xDD, 0x8B): "inserted"}
    seen = set()
    for name in sorted(os.listdir(work)):
        if name.startswith("page") and name.endswith(".ppm"):
            pixels = read_ppm(os.path.join(work, name))
            seen.update(colour for colour in wanted if has_pixel(pixels, bytes(colour)))
    missing = [wanted[colour] for colour in wanted if colour not in seen]
    if missing:
        fail("colours lost in print: " + ", ".join(missing))


def screenshot(browser, page, path):
    browser.open("file://" + page, 1280, 2000)
    with open(path, "wb") as out:
        out.write(base64.b64decode(browser.call("Page.captureScreenshot", format="png")["data"]))


def main():
    sample = sys.argv[1]
    keep = sys.argv[3] if len(sys.argv) == 4 and sys.argv[2] == "--screenshot" else None
    chromium = find_browser()
    with tempfile.TemporaryDirectory() as work:
        page = os.path.join(work, "report.html")
        subprocess.run([sample, page], check=True)
        check_markup(page)
        browser = Browser(chromium, work)
        try:
            check_screen(browser, page)
            check_print(browser, work)
            if keep:
                screenshot(browser, page, keep)
        finally:
            browser.close()
    print("PASS: the report page in chromium")


if __name__ == "__main__":
    main()
