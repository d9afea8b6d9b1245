#!/usr/bin/env python3
"""The try-setup command, run as a person would, judged by its report.

    try_setup_test.py --build DIR --work DIR CASE
    try_setup_test.py --list-wine     names the cases that run Wine (all but bad_input
                                      and matrix_pages)

Where its suite cannot run in this system (tools/host/host_route.py), such a
case says why and ends with 77, which CTest reports as skipped.
"""

import argparse
import html
import json
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from tools import ROOT
from tools.harness import wine_machine
from tools.host import host_route

SIX_FILES = [r"C:\windows\system32\drivers\kt418.sys", r"C:\windows\inf\kt418.inf",
             r"C:\windows\inf\kt418.cat", r"C:\windows\inf\kt418Hub.cat",
             r"C:\windows\system\unPlug.exe", r"C:\windows\system\rdWatch.exe"]
HUB_INF = r"C:\windows\inf\kt418Hub.inf"
START = r'| value set | HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\SCardSvr "Start" | dword:00000002 |'
WELCOME = ("| 1 | Vantrel USB Smart Card Reader Setup Utility | This program will install the "
           "driver of Vantrel USB Smart Card Reader<br> |")
RESTART = ("| 2 | Vantrel USB Smart Card Reader Setup Utility | You must restart your computer "
           "before the new hardware will take effect. Do you want to reboot the system? | yes |")
BASE_FAILED = ("| 1 | Vantrel USB Smart Card Reader Setup Utility | SmartCard Base Component "
               "install Failed!.<br> | ok |")


EXTRACTION = r"C:\windows\temp\scbase.exe  /q /c /t:C:\windows\temp\scbase"
# Run in Chromium over a copy of a page: what a person would see, written into
# the page's body as data-probe.
PROBE = """<script>window.addEventListener("load", () => {
  const problems = [];
  for (const img of document.images) {
    if (!img.complete || img.naturalWidth === 0) problems.push("not decoded: " + img.alt);
    else if (img.width !== img.naturalWidth || img.height !== img.naturalHeight)
      problems.push(`${img.alt} shown at ${img.width}x${img.height} of ${img.naturalWidth}x${img.naturalHeight}`);
    else if (img.getBoundingClientRect().right > window.innerWidth) problems.push("cut off: " + img.alt);
  }
  if (document.documentElement.scrollWidth > window.innerWidth)
    problems.push("the page is wider than the window");
  for (const cell of document.querySelectorAll("td, th"))
    if (cell.scrollWidth > cell.clientWidth + 1) problems.push("cell cut off: " + cell.textContent.slice(0, 50));
  // In the overview no word breaks inside itself: its lines hold whole words.
  for (const cell of document.querySelectorAll("table.overview td, table.overview th")) {
    const texts = document.createTreeWalker(cell, NodeFilter.SHOW_TEXT);
    for (let node = texts.nextNode(); node; node = texts.nextNode()) {
      for (const word of node.data.matchAll(/\S+/g)) {
        const range = document.createRange();
        range.setStart(node, word.index);
        range.setEnd(node, word.index + word[0].length);
        const lines = new Set([...range.getClientRects()].map(r => Math.round(r.top)));
        if (lines.size > 1) problems.push("word broken: " + word[0]);
      }
    }
  }
  document.body.dataset.probe = JSON.stringify(
      {images: document.images.length, tables: document.querySelectorAll("table").length, problems});
});</script>"""


def seen_in_browser(page):
    """What headless Chromium shows of the page: its images, tables and problems."""
    probe = page.with_name(page.stem + "-probe.html")
    probe.write_text(page.read_text().replace("</body>", PROBE + "</body>"))
    dom = subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu",
                          "--window-size=1280,1024", "--virtual-time-budget=5000", "--dump-dom",
                          probe.as_uri()], capture_output=True, text=True,
                         timeout=wine_machine.seconds(120)).stdout
    found = re.search(r'data-probe="([^"]*)"', dom)
    return json.loads(html.unescape(found.group(1))) if found else {"problems": ["no probe"]}


def pixels(image, x, y, width):
    text = subprocess.run(["convert", str(image), "-crop", f"{width}x1+{x}+{y}", "txt:-"],
                          capture_output=True, text=True).stdout
    return [tuple(int(v) for v in m.groups())
            for m in re.finditer(r"\((\d+),(\d+),(\d+)", text)]


def has_caption_bar(image):
    """A row near the top of the box is drawn in a caption's colours (or its
    text), not the client area's: the screenshot holds the frame Windows draws."""
    client = pixels(image, 6, 45, 1)[0]
    row = pixels(image, 6, 9, 200)
    differing = [p for p in row if max(abs(a - b) for a, b in zip(p, client)) > 30]
    return len(differing) > 0.8 * len(row)


def placed(report, path):
    return f"| placed | {path} |" in report


def two_runs(report):
    """The report's two runs, each from its heading on: ("", "") for a report of one."""
    parts = re.split(r"^## ", report, flags=re.M)
    return tuple(parts[1:]) if len(parts) == 3 else ("", "")


def named(report, title, *runs):
    """Whether the report has this title and, for two runs, these names in order."""
    names = [run.split("\n", 1)[0] for run in two_runs(report) if run]
    return report.startswith(f"# {title}\n") and names == list(runs)


def interactive(report, html):
    yield "titled by what was tried", named(report, "Installation from the CD on Windows Me")
    yield "exit status 0, its meaning for an installation", (
        "- Exit status: **0**: installed: every file" in report)
    for path in SIX_FILES + [HUB_INF]:
        yield f"{path} placed", placed(report, path)
    yield "SCardSvr Start 2", START in report
    yield "welcome box answered yes", WELCOME + " yes |" in report
    yield "restart box answered yes", RESTART in report
    yield "restart performed", ("- Restart: offered, answered Yes; the system restarted: the "
                                "monitor program ran at the next start") in report
    yield "both screenshots in the page", html.count('<img alt="box') == 2
    yield "the extraction's command line as received", f"| `{EXTRACTION}` |" in report
    yield "its two blanks kept in the page", f'<code class="line">{EXTRACTION}</code>' in html
    yield "the system calls listed in order", (
        "1. `GetVersionExA() = 1`" in report and
        "3. `CreateMutexA(Vantrel USB Smart Card Reader Setup) = 1`" in report and
        "5. `MessageBoxA(Vantrel USB Smart Card Reader Setup Utility, This program will" in report
        and "`ExitWindowsEx(0x2, 0) = 1`" in report)
    yield "failed calls marked", "`DeleteFileA(C:\\windows\\inf\\drvidx.bin) = 0` (failed)" in report
    yield "the calls folded in the page", "<details><summary>setup.exe's calls" in html


def silent(report, html):
    yield "exit status 0", "- Exit status: **0**" in report
    yield "no box", "## Message boxes\n\n(none)" in report
    for path in SIX_FILES:
        yield f"{path} placed", placed(report, path)
    yield "SCardSvr Start 2", START in report


def pressed_image(names):
    def judge(report, html):
        yield "the media named as the image, read as pressed, its setup.exe this build", (
            "the disc image " in report and "sample-images/" in report and
            f"({names}), read as the drive reads the pressed disc, read-only; its " in report and
            "has the same bytes as this checkout's build" in report)
        yield "exit status 0, no box", ("- Exit status: **0**" in report and
                                       "## Message boxes\n\n(none)" in report)
        # Without Joliet every name is upper case: the setup finds each all the same.
        for path in SIX_FILES + [HUB_INF]:
            yield f"{path} placed", placed(report, path)
        yield "both packages' sections installed", report.count(", section DefaultInstall") == 2
    return judge


def expect_status_not_met(report, html):
    yield "the run itself reported, exit status 2", "- Exit status: **2**" in report


def windows_98(report, html):
    yield "exit status 0", "- Exit status: **0**" in report
    yield "no hub setup information file on 98", not placed(report, HUB_INF)
    yield "the driver placed", placed(report, SIX_FILES[0])


def welcome_no(report, html):
    yield "exit status 0, declined", ("- Exit status: **0**: declined: the welcome question "
                                      "answered No, nothing changed") in report
    yield "one box, answered no", WELCOME + " no |" in report and "| 2 |" not in report
    yield "no file changed", "## Files under the Windows directory\n\n(none)" in report
    yield "no registry change", "are left out.\n\n(none)" in report


def twice(report, html):
    first, second = two_runs(report)
    yield "titled by what was tried, each run by its kind", named(
        report, "Silent reinstallation from the CD on Windows Me, after the same installation",
        "Installation (silent, from the CD)", "Reinstallation (silent, from the CD)")
    yield "the media read-only, as on a CD", (
        "- Media: `sample media, read-only as on a CD`" in report)
    for name, run in (("first", first), ("second", second)):
        yield f"{name} run: exit status 0", "- Exit status: **0**" in run
        yield f"{name} run: nothing staged left", "temp\\scbase.exe |" not in run.split(
            "### Programs started")[0]
    yield "the second run extracted again", f"| `{EXTRACTION}` |" in second
    yield "each run installed both sections", (
        first.count(".inf, section DefaultInstall") == 2 and
        second.count(".inf, section DefaultInstall") == 2)
    yield "both runs' calls listed", report.count("### System calls") == 2


def upgrade(report, html):
    first, second = two_runs(report)
    yield "titled by what was tried, each run by its kind", named(
        report, "Silent upgrade from the CD while the earlier monitor runs, on Windows 98, after "
        "a silent installation of an earlier edition",
        "Installation of an earlier edition (silent, from the CD)",
        "Upgrade while the earlier monitor runs (silent, from the CD)")
    yield "the silent run restarted by try-setup, which says so", (
        "- Restart: not offered; try-setup then restarted the emulated system to show the next "
        "start") in second
    yield "each followed by a start", report.count("### The next start") == 2
    yield "the upgrade: exit status 0, no box", (
        "- Exit status: **0**" in second and "### Message boxes\n\n(none)" in second)
    sizes = [re.findall(r"\| `C:\\windows\\system\\rdWatch\.exe` \| ([\d,]+) bytes \|", run)
             for run in (first, second)]
    yield "each start ran the monitor once, from its placed path", [len(s) for s in sizes] == [1, 1]
    yield "the second start ran the new monitor", sizes[0] != sizes[1]
    yield "its WININIT.INI line put the new monitor in place", re.search(
        r"^- `C:\\windows\\system\\rdWatch\.exe=C:\\windows\\system\\\S+`$", second,
        re.M | re.I) is not None
    yield "the monitor replaced", r"| replaced | C:\windows\system\rdWatch.exe |" in second
    yield "nothing of the setup's own left", ".new |" not in second and ".old |" not in second


def remove(report, html):
    first, second = two_runs(report)
    yield "titled by what was tried, each run by its kind", named(
        report, "Removal through Add/Remove Programs on Windows Me, after a silent installation "
        "from the CD", "Installation (silent, from the CD)",
        "Removal (Add/Remove Programs, interactive)")
    yield "the removal started from Add/Remove Programs' own list, with its entry's command", (
        r"- Command line: `C:\windows\system\kt418Rmv.exe -u`" in report and
        "- Started: from Add/Remove Programs' own list: the system's client ran the entry's "
        "command" in second)
    yield "no program of the harness's own among those setup.exe started", (
        "starter" not in second.split("### Programs started")[-1].split("###")[0])
    yield "the removal: exit status 0, its meaning for a removal", (
        "- Exit status: **0**: removed: everything is gone or goes at the next start" in second)
    yield "its question answered yes", (
        "| 1 | Vantrel USB Smart Card Reader Setup Utility | Remove the Vantrel USB Smart Card "
        "Reader driver from this computer?<br> | yes |") in second
    yield "the restart performed", (
        "- Restart: offered, answered Yes; the system restarted\n" in second)
    for path in SIX_FILES + [HUB_INF, r"C:\windows\system\kt418Rmv.exe"]:
        yield f"{path} removed", f"| removed | {path} |" in second
    yield "the entry deleted", ("| key deleted | HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\"
                                "CurrentVersion\\Uninstall\\Vantrel USB Smart Card Reader |") in second
    yield "its calls listed", "`RegDeleteKeyA(" in second
    yield "the start deleted the running monitor", re.search(
        r"^- `NUL=C:\\windows\\system\\rdWatch\.exe`$", second, re.M | re.I) is not None
    yield "no monitor started then", "at the next start" not in second.split("Programs it")[-1] \
        and "rdWatch.exe` |" not in second.split("### The next start")[-1]


def remove_silent(report, html):
    first, second = two_runs(report)
    yield "titled by what was tried, each run by its kind", named(
        report, "Silent removal by the Add/Remove Programs entry's command on Windows Me, after "
        "a silent installation from the CD", "Installation (silent, from the CD)",
        "Removal (the entry's command with -s, silent)")
    yield "started as a deployer types it: Add/Remove Programs gives no -s", (
        r"- Command line: `C:\windows\system\kt418Rmv.exe -u -s`" in report and
        "- Started: by the Add/Remove Programs entry's command with -s, as a deployer types it"
        in second)
    yield "the removal: exit status 0, no box", (
        "- Exit status: **0**: removed" in second and "### Message boxes\n\n(none)" in second)
    yield "no program of the harness's own among those setup.exe started", (
        "starter" not in second.split("### Programs started")[-1].split("###")[0])


def missing_scard98(report, html):
    yield "exit status 2", "- Exit status: **2**" in report
    yield "the failure box, answered ok", BASE_FAILED in report
    yield "no restart offered", "- Restart: not offered" in report


CASES = {
    "interactive": ([], interactive),
    "silent": (["--silent"], silent),
    "windows_98": (["--windows", "98", "--silent"], windows_98),
    "welcome_no": (["--answer-welcome", "no"], welcome_no),
    "missing_scard98": (["--silent", "--media", "{media}"], missing_scard98),
    "twice": (["--silent", "--twice"], twice),
    "upgrade": (["--windows", "98", "--silent", "--upgrade"], upgrade),
    "remove": (["--remove"], remove),
    "remove_silent": (["--remove", "--silent"], remove_silent),
    "image_with_joliet": (["--silent", "--media", "{images}/joliet.iso", "--expect-status", "0"],
                          pressed_image("Joliet's names")),
    "image_without_joliet": (["--silent", "--media", "{images}/iso9660.iso", "--expect-status",
                              "0"], pressed_image("ISO 9660's upper-case names, no Joliet")),
    # try-setup's own status carries the news to a media engineer's script.
    "expect_status_not_met": (["--silent", "--media", "{media}", "--expect-status", "0"],
                              expect_status_not_met, 3),
}


# The cases whose run is a row of the matrix, with the same options: they
# judge that row's report, so that the emulator runs it once.
MATRIX_ROWS = {"interactive": "me-interactive", "silent": "me-silent",
               "windows_98": "98-silent", "twice": "me-silent-again", "remove": "me-remove"}


def judge_matrix_row(work, case):
    """The failures the case's judge finds in its row of the matrix's reports."""
    row = Path(work) / "matrix" / MATRIX_ROWS[case]
    if not (row / "report.md").exists():
        return [f"no report in {row}: try_setup.matrix, which makes it, did not run"]
    report, page = (row / "report.md").read_text(), (row / "report.html").read_text()
    return [what for what, held in CASES[case][1](report, page) if not held]


def matrix(build, work):
    """--matrix: eight runs, an overview marking what differs, each row linked to
    its report, and pages that show whole in a browser with boxes framed."""
    out = Path(work) / "matrix"
    shutil.rmtree(out, ignore_errors=True)
    result = subprocess.run([str(ROOT / "try-setup"), "--build", build, "--matrix", "--out",
                             str(out)], capture_output=True, text=True)
    print(result.stdout[-3000:], result.stderr[-2000:])
    if result.returncode != 0:
        return [f"try-setup --matrix ended with status {result.returncode}"]
    overview = (out / "overview.html").read_text()
    failures = []
    for run in ("me-interactive", "me-silent", "me-silent-again", "me-upgrade", "me-remove",
                "98-interactive", "98-silent", "xp-silent"):
        if f'<a href="{run}/report.html">' not in overview:
            failures.append(f"no row linked to {run}/report.html")
    if "<td class=differs>(none)</td>" not in overview:
        failures.append("the silent runs' boxes are not marked as differing")
    progress = [line for line in result.stdout.splitlines() if "exit status" in line]
    if len(progress) != 8:
        failures.append(f"{len(progress)} progress lines for eight runs")
    if not any("removal" in line and "exit status 0 " in line for line in progress):
        failures.append("the removal row does not show exit status 0")
    if not any("Windows XP" in line and "exit status 6 " in line for line in progress):
        failures.append("the Windows XP row does not show the refusal (status 6)")
    if "at the next start: rdWatch.exe" not in overview:
        failures.append("the upgrade row shows no monitor started at the next start")
    for shown in (">0: installed</td>", ">0: removed</td>", ">6: Windows NT family</td>",
                  "welcome question: yes", "removal question: yes", "restart question: yes"):
        if shown not in overview:
            failures.append(f"the overview does not show {shown!r}: statuses by their short "
                            "meaning for the run's kind, boxes by their question")
    return failures


def matrix_pages(work):
    """The matrix's pages show whole in a browser, with boxes framed. Judged
    where the tests run, also when the emulator ran in an emulated PC: there a
    browser would take minutes."""
    out = Path(work) / "matrix"
    if not (out / "overview.html").exists():
        return [f"no overview in {out}: try_setup.matrix, which makes it, did not run"]
    failures = []
    for page, images, tables in ((out / "overview.html", 0, 1),
                                 (out / "me-interactive" / "report.html", 2, 3)):
        seen = seen_in_browser(page)
        failures += [f"{page.name}: {problem}" for problem in seen["problems"]]
        if seen.get("images") != images or seen.get("tables", 0) < tables:
            failures.append(f"{page}: {seen.get('images')} images, {seen.get('tables')} tables")
    for shot in sorted((out / "me-interactive").glob("box*.png")):
        if not has_caption_bar(shot):
            failures.append(f"{shot} shows no caption bar")
    return failures


def images(build):
    """The folder of the build's sample media pressed as disc images."""
    return str(Path(build) / "sample-images")


def bad_input(build, work):
    """Bad options, media without WIN98 (a folder or an image), a file that is
    no disc image or one cut short, and a build folder without what a run uses
    get one line and status 2, at once."""
    (Path(work) / "empty").mkdir(parents=True, exist_ok=True)
    no_image = Path(work) / "notes.iso"
    no_image.write_text("a file that is no disc image\n" * 200)
    cut_short = Path(work) / "cut-short.iso"
    cut_short.write_bytes((Path(images(build)) / "joliet.iso").read_bytes()[:40000])
    partial = Path(work) / "partial-build"  # setup.exe alone
    partial.mkdir(parents=True, exist_ok=True)
    shutil.copy(Path(build) / "setup.exe", partial)
    failures = []
    for args in (["--windows", "95"], ["--bogus"], ["--media", str(Path(work) / "empty")],
                 ["--answer-restart", "maybe"], ["--matrix", "--silent"], ["--matrix", "--twice"],
                 ["--twice", "--upgrade"], ["--remove", "--twice"], ["--matrix", "--remove"],
                 ["--build", str(partial)], ["--media", str(no_image)],
                 ["--media", str(cut_short)], ["--media", images(build) + "/no-win98.iso"],
                 ["--media", str(Path(work) / "neither")],
                 ["--matrix", "--expect-status", "0"]):
        result = subprocess.run([str(ROOT / "try-setup"), "--build", build, *args],
                                capture_output=True, text=True)
        lines = result.stderr.strip().splitlines()
        if result.returncode != 2 or len(lines) != 1 or result.stdout:
            failures.append(f"{args}: status {result.returncode}, stderr {result.stderr!r}")
    return failures


def cannot_go_on(build, work):
    """A run that cannot go on ends with one line naming the phase and why, and
    status 1, never a traceback: here the emulated registry cannot be saved,
    the build's saver being no program."""
    broken = Path(work) / "broken-build"
    shutil.rmtree(broken, ignore_errors=True)
    shutil.copytree(build, broken, ignore=shutil.ignore_patterns("CMakeFiles", "*.cmake"))
    (broken / "registry_saver.exe").write_text("no program")
    result = subprocess.run([str(ROOT / "try-setup"), "--build", str(broken), "--silent",
                             "--out", str(Path(work) / "cannot_go_on")],
                            capture_output=True, text=True)
    lines = result.stderr.strip().splitlines()
    if result.returncode == 1 and len(lines) == 1 and re.match(
            r"try-setup: [^:]+: the emulated registry could not be saved", lines[0]):
        return []
    return [f"status {result.returncode}, stderr {result.stderr[-1500:]!r}"]


def try_case(build, work, case, extra_env=None, folder=None):
    """Runs try-setup with the case's options, as a person would, in work/folder
    (the case's name unless given); returns its output and the failures its
    report shows."""
    options, judge, *status = CASES[case]
    expected = status[0] if status else 0  # try-setup's own status
    out = Path(work) / (folder or case)
    shutil.rmtree(out, ignore_errors=True)
    media = Path(work) / ((folder or case) + "-media")
    shutil.rmtree(media, ignore_errors=True)
    shutil.copytree(Path(build) / "sample-media" / "WIN98", media / "WIN98")
    options = [o.replace("{media}", str(media)).replace("{images}", images(build))
               for o in options]
    result = subprocess.run([str(ROOT / "try-setup"), "--build", build, "--out", str(out),
                             *options], capture_output=True, text=True,
                            env=dict(os.environ, **(extra_env or {})))
    print(result.stdout[-3000:], result.stderr[-2000:])
    report = (out / "report.md").read_text() if (out / "report.md").exists() else ""
    page = (out / "report.html").read_text() if (out / "report.html").exists() else ""
    failures = [what for what, held in judge(report, page) if not held]
    if result.returncode != expected:
        failures.append(f"try-setup ended with status {result.returncode}, not {expected}")
    return result.stdout, failures


def in_emulated_pc(build, work):
    """EMULATED_PC=1: the same silent run and report, through an emulated PC,
    which the phase lines name."""
    output, failures = try_case(build, work, "silent", {"EMULATED_PC": "1"}, "in_emulated_pc")
    if "running in an emulated PC: EMULATED_PC=1 asks for it" not in output:
        failures.append("no phase line says that it runs in an emulated PC, and why")
    return failures


def why_it_cannot_run_here(case, build):
    if case == "bad_input":
        return None
    suite = host_route.wine_suite_of(build)
    if case == "matrix_pages":  # judged on the host, also where the matrix ran in a PC
        suite = "pages" if suite == "wine" else suite
    return host_route.why_suite_cannot_run_here("pc" if case == "in_emulated_pc" else suite)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build")
    parser.add_argument("--work")
    parser.add_argument("--list-wine", action="store_true")
    parser.add_argument("--list-matrix-rows", action="store_true")
    parser.add_argument("case", nargs="?")
    args = parser.parse_args()
    if args.list_wine:
        print(";".join(list(CASES) + ["matrix", "cannot_go_on"]))
        return 0
    if args.list_matrix_rows:
        print(";".join(MATRIX_ROWS))
        return 0
    why_not = why_it_cannot_run_here(args.case, args.build)
    if why_not:
        print(f"{args.case}: skipped: {why_not}")
        return 77
    if args.case == "bad_input":
        failures = bad_input(args.build, args.work)
    elif args.case == "in_emulated_pc":
        failures = in_emulated_pc(args.build, args.work)
    elif args.case == "matrix":
        failures = matrix(args.build, args.work)
    elif args.case == "matrix_pages":
        failures = matrix_pages(args.work)
    elif args.case == "cannot_go_on":
        failures = cannot_go_on(args.build, args.work)
    elif args.case in MATRIX_ROWS:
        failures = judge_matrix_row(args.work, args.case)
    else:
        _, failures = try_case(args.build, args.work, args.case)
    for failure in failures:
        print("FAILED:", failure)
    print(f"{args.case}: {'failed' if failures else 'passed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
