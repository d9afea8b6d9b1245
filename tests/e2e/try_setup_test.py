#!/usr/bin/env python3
"""The try-setup command, run as a person would, judged by its report.

    try_setup_test.py --build DIR --work DIR CASE
    try_setup_test.py --list
"""

import argparse
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SIX_FILES = [r"C:\windows\system32\drivers\kt418.sys", r"C:\windows\inf\kt418.inf",
             r"C:\windows\inf\kt418.cat", r"C:\windows\inf\kt418Hub.cat",
             r"C:\windows\system\unPlug.exe", r"C:\windows\system\rdWatch.exe"]
HUB_INF = r"C:\windows\inf\kt418Hub.inf"
START = r'| value set | HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\SCardSvr "Start" | dword:00000002 |'
WELCOME = ("| 1 | Vantrel USB Smart Card Reader Setup Utility | This program will install the "
           "driver of Vantrel USB Smart Card Reader\\n |")
RESTART = ("| 2 | Vantrel USB Smart Card Reader Setup Utility | You must restart your computer "
           "before the new hardware will take effect. Do you want to reboot the system? | yes |")
BASE_FAILED = ("| 1 | Vantrel USB Smart Card Reader Setup Utility | SmartCard Base Component "
               "install Failed!.\\n | ok |")


def placed(report, path):
    return f"| placed | {path} |" in report


def interactive(report, html):
    yield "exit status 0", "- Exit status: **0**" in report
    for path in SIX_FILES + [HUB_INF]:
        yield f"{path} placed", placed(report, path)
    yield "SCardSvr Start 2", START in report
    yield "welcome box answered yes", WELCOME + " yes |" in report
    yield "restart box answered yes", RESTART in report
    yield "restart performed", "- Restart: requested and performed" in report
    yield "both screenshots in the page", html.count('<img alt="box') == 2


def silent(report, html):
    yield "exit status 0", "- Exit status: **0**" in report
    yield "no box", "## Message boxes\n\n(none)" in report
    for path in SIX_FILES:
        yield f"{path} placed", placed(report, path)
    yield "SCardSvr Start 2", START in report


def windows_98(report, html):
    yield "exit status 0", "- Exit status: **0**" in report
    yield "no hub setup information file on 98", not placed(report, HUB_INF)
    yield "the driver placed", placed(report, SIX_FILES[0])


def welcome_no(report, html):
    yield "exit status 0", "- Exit status: **0**" in report
    yield "one box, answered no", WELCOME + " no |" in report and "| 2 |" not in report
    yield "no file changed", "## Files under the Windows directory\n\n(none)" in report
    yield "no registry change", "are left out.\n\n(none)" in report


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
}


def bad_input(build, work):
    """Bad options and media without WIN98 get one line and status 2, at once."""
    (Path(work) / "empty").mkdir(parents=True, exist_ok=True)
    failures = []
    for args in (["--windows", "95"], ["--bogus"], ["--media", str(Path(work) / "empty")],
                 ["--answer-restart", "maybe"]):
        result = subprocess.run([str(ROOT / "try-setup"), "--build", build, *args],
                                capture_output=True, text=True)
        lines = result.stderr.strip().splitlines()
        if result.returncode != 2 or len(lines) != 1 or result.stdout:
            failures.append(f"{args}: status {result.returncode}, stderr {result.stderr!r}")
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build")
    parser.add_argument("--work")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("case", nargs="?")
    args = parser.parse_args()
    if args.list:
        print(";".join(list(CASES) + ["bad_input"]))
        return 0
    if args.case == "bad_input":
        failures = bad_input(args.build, args.work)
    else:
        options, judge = CASES[args.case]
        out = Path(args.work) / args.case
        shutil.rmtree(out, ignore_errors=True)
        media = Path(args.work) / (args.case + "-media")
        shutil.rmtree(media, ignore_errors=True)
        shutil.copytree(Path(args.build) / "sample-media" / "WIN98", media / "WIN98")
        options = [o.replace("{media}", str(media)) for o in options]
        result = subprocess.run([str(ROOT / "try-setup"), "--build", args.build, "--out", str(out),
                                 *options], capture_output=True, text=True)
        print(result.stdout[-3000:], result.stderr[-2000:])
        report = (out / "report.md").read_text() if (out / "report.md").exists() else ""
        page = (out / "report.html").read_text() if (out / "report.html").exists() else ""
        failures = [what for what, held in judge(report, page) if not held]
        if result.returncode != 0:
            failures.append(f"try-setup ended with status {result.returncode}")
    for failure in failures:
        print("FAILED:", failure)
    print(f"{args.case}: {'failed' if failures else 'passed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
