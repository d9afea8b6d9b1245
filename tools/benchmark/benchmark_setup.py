#!/usr/bin/env python3
"""Times silent runs of setup.exe on one emulated Windows Me session.

    python3 -m tools.benchmark.benchmark_setup [--runs N] SETUP.EXE [OTHER_SETUP.EXE]

Each run starts from the same state (the files and registry keys the setup
touches are put back as they were before the first run, and its detached
deletions have ended), with the sample media of the Windows build as drive D:.
With a second setup.exe the two take turns (one first, then the other first),
so that both meet the same load.
Prints each one's median wall time and, with two, the ratio of the medians.
"""

import argparse
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

from tools import ROOT
from tools.harness import wine_machine

HKLM = "HKEY_LOCAL_MACHINE"
# What a silent run writes, so that it can be put back before the next run.
KEYS = [r"Software\Microsoft\Windows\CurrentVersion\Setup",
        wine_machine.RUN_SERVICES_ONCE[len("HKLM\\"):],
        r"System\CurrentControlSet\Services\SCardSvr",
        r"Enum\USB\VID_1E2D&PID_4182",
        r"Enum\USB\VID_1E2D&PID_4181",
        r"Software\Vantrel Test",
        r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrel USB Smart Card Reader"]
FILES = [r"System32\Drivers\kt418.sys", r"inf\kt418.inf", r"inf\kt418.cat", r"inf\kt418Hub.cat",
         r"inf\kt418Hub.inf", r"system\unPlug.exe", r"system\rdWatch.exe",
         r"system32\scbase.dll", r"system32\smclib.dll", r"system\kt418Rmv.exe"]
STAGED = [r"temp\scbase", r"temp\smclib", r"temp\scbase.exe", r"temp\smclib.exe"]


class StartingState:
    """The files and keys a run changes, as they were, and a way to put them back."""

    def __init__(self, machine, workdir):
        self.m = machine
        self.reset_file = workdir / "reset.reg"
        sections = []
        for key in KEYS:
            export = workdir / "key.reg"
            export.unlink(missing_ok=True)
            self.m.wine("regedit", "/E", self.windows_name(export), f"{HKLM}\\{key}")
            body = export.read_text(encoding="utf-16").split("\n", 1)[1] if export.exists() else ""
            sections.append(f"[-{HKLM}\\{key}]\n{body.strip()}\n")
        text = "Windows Registry Editor Version 5.00\n\n" + "\n".join(sections)
        self.reset_file.write_text(text.replace("\n", "\r\n"), encoding="utf-16")
        self.files = {name: self.path(name).read_bytes() if self.path(name).is_file() else None
                      for name in FILES + [name + ".old" for name in FILES]}

    @staticmethod
    def windows_name(path):
        return "Z:" + str(path).replace("/", "\\")

    def path(self, name):
        return self.m.unix_path("C:\\windows\\" + name)

    def restore(self):
        if not self.m.wait_until(lambda: not any(self.path(p).exists() for p in STAGED)):
            sys.exit("benchmark: the setup's detached deletions did not end within 20 s")
        for name, content in self.files.items():
            path = self.path(name)
            if content is None:
                path.unlink(missing_ok=True)
            else:
                path.write_bytes(content)
        self.m.wine("regedit", "/S", self.windows_name(self.reset_file))


def timed_run(machine, win98, program):
    started = time.perf_counter()
    status = subprocess.run(["wine", program, "-s"], cwd=win98, env=machine.env(),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    elapsed = time.perf_counter() - started
    if status != 0:
        sys.exit(f"benchmark: {program} ended with status {status}; only completed runs are timed")
    return elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[1])
    parser.add_argument("setups", nargs="+", metavar="SETUP.EXE", help="one or two setup.exe")
    parser.add_argument("--runs", type=int, default=15, help="runs of each (default 15)")
    parser.add_argument("--build", default=str(ROOT / "build" / "win32"),
                        help="the Windows build folder with standin.exe and sample-media")
    parser.add_argument("--work", default=str(ROOT / "build" / "benchmark"))
    args = parser.parse_args()
    if len(args.setups) > 2 or args.runs < 1:
        parser.error("give one or two setup.exe and at least one run")
    for setup in args.setups:
        if not Path(setup).is_file():
            parser.error(f"{setup}: no such file")

    work = Path(args.work).resolve()
    build = Path(args.build)
    wine_machine.make_template(work / "template")
    machine = wine_machine.WineMachine(work / "machine", work / "template",
                                       build / "standin.exe", "me")
    media = work / "media"
    wine_machine.copy_media(build / "sample-media", media)
    programs = []
    for number, setup in enumerate(args.setups, 1):
        program = f"setup{number}.exe"
        shutil.copy(setup, media / "WIN98" / program)
        programs.append(program)
    machine.start(wine_machine.PLUGGED_IN)
    try:
        machine.map_drive("d", media)
        state = StartingState(machine, machine.workdir)
        times = {program: [] for program in programs}
        for turn in range(args.runs):
            # Every other turn in the other order, so that neither always goes first.
            for program in programs if turn % 2 == 0 else programs[::-1]:
                state.restore()
                times[program].append(timed_run(machine, media / "WIN98", program))
    finally:
        machine.stop()
        machine.remove()

    medians = [statistics.median(times[program]) for program in programs]
    for setup, program, median in zip(args.setups, programs, medians):
        print(f"{setup}: median {median:.3f} s over {args.runs} silent runs "
              f"(fastest {min(times[program]):.3f} s, slowest {max(times[program]):.3f} s)")
    if len(medians) == 2:
        print(f"ratio {args.setups[1]} / {args.setups[0]}: {medians[1] / medians[0]:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
