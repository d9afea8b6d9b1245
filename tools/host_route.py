#!/usr/bin/env python3
"""Where the Wine parts run on this host: directly, in an emulated PC, or not at all.

32-bit Wine runs only where the kernel runs 32-bit x86 programs. Some x86-64
kernels do not (paravirtualized guests, ia32_emulation=0, WSL 1), and arm64
ones cannot; there the Wine parts run in an emulated x86-64 PC
(emulated_pc.py). EMULATED_PC=1 chooses that route on any host.

    host_route.py [--install]   prints "direct", "emulated-pc REASON" or "none REASON";
                                --install installs the PC emulator where it is needed
    host_route.py --twin        installs 64-bit Wine for the setup's 64-bit twin; prints
                                nothing and ends with 0 where it runs, else why not and 1
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

import host_packages
import wine_machine

ROOT = Path(__file__).resolve().parents[1]
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


def why_64bit_wine_cannot_run_here():
    """None where 64-bit Wine runs here (the twin's route), else why not."""
    if platform.machine() != "x86_64":
        return "64-bit Wine runs x86-64 programs only on an x86-64 host"
    if not (shutil.which("wine") and Path(wine_machine.WINE64_LOADER).exists()):
        return "64-bit Wine is not installed (Debian's wine64); ./run-tests installs it"
    return None


def why_wine_cannot_run_here(arch="win32"):
    """None where the Wine parts for programs of arch ("win32", or "win64" for
    the twin) can run in this process's system, else why not: the reason the
    test command gave (WINE_UNAVAILABLE), or what this host lacks."""
    if arch == "win64":
        return why_64bit_wine_cannot_run_here()
    if os.environ.get("WINE_UNAVAILABLE"):
        return os.environ["WINE_UNAVAILABLE"]
    if not runs_i386() or through_user_emulation():
        return ("this host runs no 32-bit x86 program natively; ./run-tests runs the Wine "
                "tests in an emulated PC there")
    if not shutil.which("wine"):
        return "Wine is not installed; ./run-tests installs it"
    return None


def install_twin_wine():
    """Installs 64-bit Wine for the twin where it is missing on an x86-64 host;
    None when it runs here, else why not."""
    if platform.machine() == "x86_64" and why_64bit_wine_cannot_run_here():
        try:
            host_packages.install((ROOT / "tools" / "twin-packages").read_text().split())
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
