#!/usr/bin/env python3
"""The harness's own promise about boxes (tools/wine_machine.py): each box
gets the answer meant for it, judged by what the system returned, and a box
that cannot be answered as meant is a clear failure, never a pass.

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
# answers given -> its exit status, the answers the system got, the failure said
CASES = [
    (["yes", "no"], 6 * 16 + 7, ["yes", "no"], None),
    (["yes", "no", "yes"], 6 * 16 + 7, ["yes", "no"], "3 answers were given and 2 boxes shown"),
    (["yes"], None, None, "box 2 (restart question) asks Yes or No, and no answer is left"),
]


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
    machine.start()
    try:
        for answers, status, got, failure in CASES:
            try:
                run = machine.run_setup(media, answers=answers, command_line="asker.exe")
                said = "; ".join(run.answer_problems()) or None
                actual = (run.status, [b.answer for b in run.boxes])
            except wine_machine.BoxError as error:
                said, actual = str(error), (None, None)
            said_as_meant = said is None if failure is None else failure in (said or "")
            if actual != (status, got) or not said_as_meant:
                failures.append(f"answers {answers}: expected status {status}, answers got "
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
