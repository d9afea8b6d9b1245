#!/usr/bin/env python3
"""The harness's own promise about boxes (tools/harness/wine_machine.py): each
box gets the answer meant for it, judged by what the system returned, and a
box that cannot be answered as meant is a clear failure, never a pass; also
where the system's Add/Remove Programs client started the program, whose own
status the run then takes, the client ending with 0 whatever it ended with.

    wine_machine_test.py --build DIR --work DIR

Where its suite cannot run in this system (tools/host/host_route.py) it says
why and ends with 77.
"""

import argparse
import shutil
import sys
from pathlib import Path

from tools.harness import wine_machine
from tools.host import host_route

# The asker stand-in asks the removal question, then the restart question.
# how it is started (its command line, or the name Add/Remove Programs lists),
# answers given -> its exit status, the answers the system got, the failure said
# A case that ends with a box unanswered leaves it open: it comes last.
CASES = [
    ("listed as Asker", ["no", "yes"], 7 * 16 + 6, ["no", "yes"], None),
    ("listed as Nothing", [], None, None, "Add/Remove Programs' own list lacks the Nothing"),
    ("asker.exe", ["yes", "no"], 6 * 16 + 7, ["yes", "no"], None),
    ("asker.exe", ["yes", "no", "yes"], 6 * 16 + 7, ["yes", "no"],
     "3 answers were given and 2 boxes shown"),
    ("asker.exe", ["yes"], None, None,
     "box 2 (restart question) asks Yes or No, and no answer is left"),
]
ASKER_ENTRY = wine_machine.UNINSTALL + "\\Asker"


def run_case(machine, media, started, answers):
    if started.startswith("listed as "):
        return machine.remove_through_add_remove_programs(media, started[len("listed as "):],
                                                          answers)
    return machine.run_setup(media, answers=answers, command_line=started)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    why_not = host_route.why_suite_cannot_run_here(host_route.wine_suite_of(args.build))
    if why_not:
        print(f"skipped: {why_not}")
        return 77
    workdir = Path(args.work) / "boxes"
    shutil.rmtree(workdir, ignore_errors=True)
    machine = wine_machine.WineMachine(workdir, Path(args.work) / "template",
                                       Path(args.build) / "standin.exe")
    media = workdir / "media"
    (media / "WIN98").mkdir(parents=True)
    shutil.copy(Path(args.build) / "standin.exe", media / "WIN98" / "asker.exe")
    failures = []
    machine.start([(ASKER_ENTRY, "DisplayName", "Asker"),
                   (ASKER_ENTRY, "UninstallString", r"D:\WIN98\asker.exe")])
    try:
        for started, answers, status, got, failure in CASES:
            try:
                run = run_case(machine, media, started, answers)
                said = "; ".join(run.answer_problems()) or None
                actual = (run.status, [b.answer for b in run.boxes])
            except (wine_machine.BoxError, wine_machine.NotListed) as error:
                said, actual = str(error), (None, None)
            said_as_meant = said is None if failure is None else failure in (said or "")
            if actual != (status, got) or not said_as_meant:
                failures.append(f"{started}, answers {answers}: expected status {status}, answers got "
                                f"{got}, failure {failure!r}; got status {actual[0]}, answers "
                                f"got {actual[1]}, failure {said!r}")
    finally:
        machine.stop()
    for failure in failures:
        print("FAILED:", failure)
    if not failures:
        machine.remove()
        print(f"{len(CASES)} cases: each box got the answer meant for it, or the failure was said")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
