#!/usr/bin/env python3
"""Where the Wine parts run on this host: directly, in an emulated PC, or not
at all; and the one table of which test suites run where.

32-bit Wine runs only where the kernel runs 32-bit x86 programs. Some x86-64
kernels do not (paravirtualized guests, ia32_emulation=0, WSL 1), and arm64
ones cannot; there the Wine parts run in an emulated x86-64 PC
(emulated_pc.py). EMULATED_PC=1 chooses that route on any host.

    host_route.py [--install]   prints "direct", "emulated-pc REASON" or "none REASON";
                                --install installs the PC emulator where it is needed
    host_route.py --twin        installs 64-bit Wine for the setup's 64-bit twin; prints
                                nothing and ends with 0 where it runs, else why not and 1

A suite is a CTest label. Each suite needs some features of the system it
runs in (SUITES), and each route says where the test command runs each suite
(ROUTES); a test started where its suite's needs are missing skips, naming
the feature it lacks.
"""

import dataclasses
import errno
import os
import platform
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

from tools import ROOT
from tools.harness import wine_machine
from tools.host import host_packages

EMULATOR_PACKAGES = ["qemu-system-x86", "mmdebstrap"]
EMULATOR_COMMANDS = ["qemu-system-x86_64", "mmdebstrap"]
I386_ELF_MAGIC = "7f454c460101010000000000000000000200030"


@dataclasses.dataclass
class Host:
    runs_i386: bool            # a 32-bit x86 program ran
    through_user_emulation: bool  # ...but only through a user-mode emulator (binfmt_misc)
    pc_emulator: bool          # QEMU's PC emulator and mmdebstrap are there
    pc_asked: bool             # EMULATED_PC=1


def choose(host):
    """(route, reason): "direct", "emulated-pc" or "none", and why, as a phase line says it."""
    natively = host.runs_i386 and not host.through_user_emulation
    if natively and not host.pc_asked:
        return "direct", ""
    if host.pc_asked:
        why = "EMULATED_PC=1 asks for it"
    elif host.runs_i386:
        why = ("this host runs 32-bit x86 programs only through a user-mode emulator, "
               "under which Wine fails")
    else:
        why = "this host's kernel runs no 32-bit x86 program, and 32-bit Wine needs that"
    if host.pc_emulator:
        return "emulated-pc", why
    return "none", (f"{why}, and QEMU's PC emulator (Debian's qemu-system-x86 and "
                    "mmdebstrap) could not be installed: install those two packages, or use "
                    "an x86 host whose kernel runs 32-bit programs")


# The smallest 32-bit x86 Linux program: exit(42), so that a status of 42 shows
# it ran. One loadable segment holding the headers and the code.
_CODE = bytes([0x31, 0xC0, 0x40,    # xor eax, eax; inc eax (exit)
               0x31, 0xDB, 0xB3, 42,  # xor ebx, ebx; mov bl, 42
               0xCD, 0x80])         # int 0x80
_BASE = 0x08048000


def i386_program():
    size = 52 + 32 + len(_CODE)
    header = struct.pack("<4sBBBB8xHHIIIIIHHHHHH", b"\x7fELF", 1, 1, 1, 0, 2, 3, 1,
                         _BASE + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
    segment = struct.pack("<IIIIIIII", 1, 0, _BASE, _BASE, size, size, 5, 0x1000)
    return header + segment + _CODE


def runs_i386():
    """Tries a 32-bit x86 program: True when it ran, False when the kernel refused it."""
    for folder in (None, ROOT / "build"):
        try:
            if folder is not None:
                folder.mkdir(parents=True, exist_ok=True)
            with tempfile.TemporaryDirectory(dir=folder) as work:
                program = Path(work) / "i386-probe"
                program.write_bytes(i386_program())
                program.chmod(0o755)
                return subprocess.run([str(program)]).returncode == 42
        except PermissionError:  # a temporary folder mounted noexec: try the next
            continue
        except OSError as error:
            if error.errno == errno.ENOEXEC:
                return False
            raise
    return False


def through_user_emulation():
    """Whether binfmt_misc hands 32-bit x86 programs to an emulator."""
    folder = Path("/proc/sys/fs/binfmt_misc")
    try:
        entries = [p for p in folder.iterdir() if p.name not in ("register", "status")]
    except OSError:
        return False
    for entry in entries:
        try:
            text = entry.read_text()
        except OSError:
            continue
        magic = next((line.split()[1] for line in text.splitlines()
                      if line.startswith("magic ")), "")
        if text.startswith("enabled") and magic.startswith(I386_ELF_MAGIC):
            return True
    return False


def pc_emulator(install):
    if install and not all(shutil.which(c) for c in EMULATOR_COMMANDS):
        try:
            host_packages.install(EMULATOR_PACKAGES)
        except host_packages.InstallError:
            pass  # the route chosen then says what is missing
    return all(shutil.which(c) for c in EMULATOR_COMMANDS)


def this_host(install=False):
    runs = runs_i386()
    emulated = runs and through_user_emulation()
    asked = os.environ.get("EMULATED_PC") == "1"
    needs_pc = asked or not runs or emulated
    return Host(runs, emulated, needs_pc and pc_emulator(install), asked)


def why_32bit_wine_cannot_run_here():
    if not runs_i386() or through_user_emulation():
        return ("this host runs no 32-bit x86 program natively; ./run-tests runs the Wine "
                "tests in an emulated PC there")
    if not shutil.which("wine"):
        return "Wine is not installed; ./run-tests installs it"
    return None


def why_64bit_wine_cannot_run_here():
    """None where 64-bit Wine runs here (the twin's route), else why not."""
    if platform.machine() != "x86_64":
        return "64-bit Wine runs x86-64 programs only on an x86-64 host"
    if not (shutil.which("wine") and Path(wine_machine.WINE64_LOADER).exists()):
        return "64-bit Wine is not installed (Debian's wine64); ./run-tests installs it"
    return None


def why_no_browser_here():
    missing = [tool for tool in ("chromium", "convert") if not shutil.which(tool)]
    return f"{' and '.join(missing)} not installed; ./run-tests installs them" if missing else None


def why_no_pc_emulator_here():
    return None if pc_emulator(install=False) else (
        "QEMU's PC emulator and mmdebstrap are not installed")


# The features a suite can need, each with what tells why this system lacks it.
FEATURES = {"32-bit Wine": why_32bit_wine_cannot_run_here,
            "64-bit Wine": why_64bit_wine_cannot_run_here,
            "a browser": why_no_browser_here,
            "the PC emulator": why_no_pc_emulator_here}

# What each suite's tests need of the system they run in.
SUITES = {
    "unit": (),            # the unit tests and the fault sweeps on the simulated machine
    "fuzz": (),            # the fuzzer, in the sanitized build
    "checks": (),          # setup.exe itself: its headers, imports, instructions, resources
    "tools": (),           # the tools' own tests, and try-setup's answer to bad input
    "docs": (),            # the documents' links and commands
    "wine": ("32-bit Wine",),  # the shipped setup.exe end to end, and try-setup
    "core": ("32-bit Wine",),  # of those, the core set (tests/e2e/scenarios.py marks it)
    "twin": ("64-bit Wine",),  # the 64-bit twin end to end, and try-setup
    "twin_calls": ("32-bit Wine", "64-bit Wine"),  # the twin makes the shipped setup's calls
    "pages": ("a browser",),   # the shipped setup.exe's matrix pages, judged in a browser
    "pc": ("the PC emulator",),  # try-setup through an emulated PC of its own
}


@dataclasses.dataclass(frozen=True)
class Route:
    """Where the test command runs each suite: on the host, in the emulated PC
    (beside the host's builds and tests), and on the host once the PC's part
    has ended, from what it made. The sanitized build runs SANITIZED always."""
    host: tuple
    pc: tuple = ()
    after_pc: tuple = ()


SANITIZED = ("unit", "fuzz")
EVERYWHERE = ("unit", "checks", "tools", "docs")
ROUTES = {
    "direct": Route(EVERYWHERE + ("wine", "pages", "twin_calls")),
    "emulated PC beside the twin": Route(EVERYWHERE + ("twin",), pc=("core",), after_pc=("pc",)),
    "emulated PC alone": Route(EVERYWHERE, pc=("wine",), after_pc=("pc", "pages")),
    "none": Route(EVERYWHERE),
}


def route_of(wine_route, twin_runs):
    """The row of ROUTES for choose()'s route, and whether the twin runs here."""
    if wine_route == "emulated-pc":
        return "emulated PC beside the twin" if twin_runs else "emulated PC alone"
    return wine_route


def wine_suite_of(build):
    """The suite of the end-to-end tests of the Windows build folder build:
    "twin" for the 64-bit twin, else "wine"."""
    return "twin" if wine_machine.arch_of(Path(build) / "standin.exe") == "win64" else "wine"


def why_suite_cannot_run_here(suite):
    """None where the suite's tests can run in this process's system, else why
    not: the first feature it needs that is missing, and why."""
    for feature in SUITES[suite]:
        why_not = FEATURES[feature]()
        if why_not:
            return f"needs {feature}: {why_not}"
    return None


def install_twin_wine():
    """Installs 64-bit Wine for the twin where it is missing on an x86-64 host;
    None when it runs here, else why not."""
    if platform.machine() == "x86_64" and why_64bit_wine_cannot_run_here():
        try:
            host_packages.install((ROOT / "tools" / "host" / "twin-packages").read_text().split())
        except host_packages.InstallError as error:
            return str(error)
    return why_64bit_wine_cannot_run_here()


def main(argv):
    if "--twin" in argv:
        why_not = install_twin_wine()
        print(why_not or "")
        return 1 if why_not else 0
    route, reason = choose(this_host(install="--install" in argv))
    print(f"{route} {reason}".strip())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
