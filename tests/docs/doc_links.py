#!/usr/bin/env python3
"""Every relative link and image of README.md and docs/*.md leads somewhere.

Usage: doc_links.py SOURCE_DIR

A link to a file must name one that exists in the source tree; a link with an
anchor (page.md#heading, or #heading within the page) must name a heading of
that page, spelled as GitHub spells its anchors. Links out of the tree
(http:, https:, mailto:) are left alone. Exits 1 naming each dead link.
"""

import pathlib
import re
import sys

LINK = re.compile(r"!?\[(?:[^\]\\]|\\.)*\]\(([^)\s]+)\)")
HEADING = re.compile(r"^(#{1,6})\s+(.*?)\s*#*\s*$")
FENCE = re.compile(r"^\s*(```|~~~)")


def prose_lines(text):
    """The lines of a Markdown page outside its fenced blocks."""
    fenced = False
    for number, line in enumerate(text.splitlines(), 1):
        if FENCE.match(line):
            fenced = not fenced
            continue
        if not fenced:
            yield number, line


def anchor_of(heading):
    """GitHub's anchor of a heading: lower case, markup and punctuation gone,
    spaces turned to hyphens."""
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", heading)
    text = text.replace("`", "").strip().lower()
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors_of(page):
    anchors, seen = set(), {}
    for _, line in prose_lines(page.read_text(encoding="utf-8")):
        match = HEADING.match(line)
        if not match:
            continue
        anchor = anchor_of(match.group(2))
        count = seen.get(anchor, 0)
        seen[anchor] = count + 1
        anchors.add(anchor if count == 0 else f"{anchor}-{count}")
    return anchors


def dead_links(root, page):
    dead = []
    text = page.read_text(encoding="utf-8")
    for number, line in prose_lines(text):
        for target in LINK.findall(re.sub(r"`[^`]*`", "", line)):
            if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                continue
            path, _, anchor = target.partition("#")
            linked = (page.parent / path).resolve() if path else page
            where = f"{page.relative_to(root)}:{number}: {target}"
            if not linked.exists():
                dead.append(f"{where}: no such file")
            elif root not in linked.parents and linked != root:
                dead.append(f"{where}: outside the source tree")
            elif anchor and (linked.suffix != ".md" or anchor not in anchors_of(linked)):
                dead.append(f"{where}: no heading with this anchor")
    return dead


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    root = pathlib.Path(sys.argv[1]).resolve()
    pages = [root / "README.md"] + sorted((root / "docs").glob("*.md"))
    dead = [link for page in pages for link in dead_links(root, page)]
    for link in dead:
        print(f"dead link: {link}", file=sys.stderr)
    checked = sum(1 for page in pages for _ in LINK.finditer(page.read_text(encoding="utf-8")))
    print(f"{len(pages)} pages, {checked} links, {len(dead)} dead")
    return 1 if dead else 0


if __name__ == "__main__":
    sys.exit(main())
