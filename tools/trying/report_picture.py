"""The README's picture of a report: the matrix overview as headless Chromium
shows it 1,280 pixels wide, written as docs/report-overview.png in few colours,
so that it stays small. Made again whenever the report changes:

    python3 -m tools.trying.report_picture              # runs ./try-setup --matrix first
    python3 -m tools.trying.report_picture --matrix DIR # a matrix's output folder already made
"""

import argparse
import re
import subprocess
import sys
import tempfile
from pathlib import Path

from tools import ROOT
PICTURE = ROOT / "docs" / "report-overview.png"
WIDTH = 1280
# Written into a copy of the page: how tall the page is at that width.
MEASURE = """<script>window.addEventListener("load", () => {
  document.body.dataset.height = document.documentElement.scrollHeight; });</script>"""


def chromium(*args):
    return subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu",
                           "--hide-scrollbars", *args], capture_output=True, text=True,
                          timeout=120)


def picture(overview, out):
    """Writes the overview page's picture, the whole page at WIDTH, to out."""
    with tempfile.TemporaryDirectory() as work:
        measured = Path(work) / "measured.html"
        measured.write_text(overview.read_text().replace("</body>", MEASURE + "</body>"))
        dom = chromium(f"--window-size={WIDTH},800", "--dump-dom", measured.as_uri()).stdout
        found = re.search(r'data-height="(\d+)"', dom)
        if not found:
            sys.exit(f"report_picture: Chromium did not show {overview}")
        shot = Path(work) / "shot.png"
        chromium(f"--window-size={WIDTH},{found.group(1)}", f"--screenshot={shot}",
                 overview.as_uri())
        subprocess.run(["convert", str(shot), "+dither", "-colors", "32", "-strip",
                        f"PNG8:{out}"], check=True)


def main(argv):
    parser = argparse.ArgumentParser(prog="report_picture", description=__doc__.split("\n\n")[0])
    parser.add_argument("--matrix", metavar="DIR",
                        help="the output folder of a ./try-setup --matrix already made")
    args = parser.parse_args(argv)
    matrix = Path(args.matrix) if args.matrix else ROOT / "build" / "try-setup" / "picture"
    if not args.matrix:
        subprocess.run([str(ROOT / "try-setup"), "--matrix", "--out", str(matrix)], check=True)
    overview = matrix / "overview.html"
    if not overview.is_file():
        sys.exit(f"report_picture: no overview.html in {matrix}")
    picture(overview.resolve(), PICTURE)
    print(f"{PICTURE.relative_to(ROOT)}: {PICTURE.stat().st_size:,} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
