#!/usr/bin/env bash
# The league page of 10,000 descriptors (a player each, every hundredth
# tweaked, as bench/check_bench.sh makes them) in headless chromium: its size,
# and, median of three fresh loads at 1280x2000, the time to the load event,
# to the first contentful paint, the main thread's time in tasks, style and
# layout while loading, and the time to print it to PDF as a print dialog
# would (background graphics off). Wall times follow the machine's load; the
# main thread's times less so.
# Usage: bench/report_bench.sh [BUILD_DIR] [COUNT]
#   (BUILD_DIR holds tests/html_report_sample; a Release build is best)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
count=${2:-10000}
tests=$(cd "$(dirname "$0")/../tests/check" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/tests/html_report_sample" "$work/report.html" "$count"
python3 - "$tests" "$work" "$count" <<'EOF'
import os, statistics, sys, time
sys.path.insert(0, sys.argv[1])
from report_in_browser import Browser, find_browser

work, count = sys.argv[2], int(sys.argv[3])
page = os.path.join(work, "report.html")
browser = Browser(find_browser(), work)
browser.call("Performance.enable")
metrics = lambda: {m["name"]: m["value"] for m in browser.call("Performance.getMetrics")["metrics"]}
runs = []
try:
    for _ in range(3):
        browser.open("about:blank", 1280, 2000)
        before = metrics()
        browser.open("file://" + page, 1280, 2000)
        after = metrics()
        spent = {name: (after[name] - before[name]) * 1000 for name in ("TaskDuration", "RecalcStyleDuration", "LayoutDuration")}
        timing = browser.evaluate("""(() => {
          const navigation = performance.getEntriesByType("navigation")[0];
          const paint = performance.getEntriesByName("first-contentful-paint")[0];
          return {load: navigation.loadEventEnd, paint: paint ? paint.startTime : -1};
        })()""")
        started = time.monotonic()
        pdf = browser.call("Page.printToPDF", printBackground=False)["data"]
        printed = time.monotonic() - started
        runs.append((timing["load"], timing["paint"], spent["TaskDuration"], spent["RecalcStyleDuration"],
                     spent["LayoutDuration"], printed, len(pdf) * 3 // 4))
finally:
    browser.close()

median = [statistics.median(run[i] for run in runs) for i in range(7)]
rows = [(f"page of {count:,} descriptors, {count // 100:,} tweaked", f"{os.path.getsize(page):,} bytes"),
        ("load event", f"{median[0]:,.0f} ms"),
        ("first contentful paint", f"{median[1]:,.0f} ms"),
        ("main thread busy while loading", f"{median[2]:,.0f} ms"),
        ("  of which style", f"{median[3]:,.0f} ms"),
        ("  of which layout", f"{median[4]:,.0f} ms"),
        (f"print to PDF ({median[6]:,} bytes)", f"{median[5] * 1000:,.0f} ms")]
for name, value in rows:
    print(f"| {name:<44} | {value:>16} |")
EOF
