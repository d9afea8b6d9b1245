#!/usr/bin/env python3
"""Checks that setup.exe can load and run on Windows 98 and Me.

    check_setup_exe.py CHECK path/to/setup.exe

CHECK is one of: header, imports, instructions, resources, reproducible.
"""

import re
import shutil
import subprocess
import tempfile
import sys
from pathlib import Path

OBJDUMP = "i686-w64-mingw32-objdump"
ALLOWED = Path(__file__).with_name("windows98_imports.txt")
MAX_SIZE = 16 * 1024 + 512
DESCRIPTION = "Vantrel USB Smart Card Reader Setup Utility"
# P6 instructions, and MMX/SSE ones that name no MMX or XMM register.
FORBIDDEN = re.compile(r"^(cmov\w+|fcmov\w+|fcomip?|fucomip?|emms|femms|ldmxcsr|stmxcsr|"
                       r"prefetch\w*|[slm]fence|movnti|clflush|pause)$")


def objdump(*args):
    return subprocess.run([OBJDUMP, *args], capture_output=True, text=True, check=True).stdout


def check_header(exe):
    problems = []
    if "file format pei-i386" not in objdump("-f", exe):
        problems.append("not an i386 PE executable")
    fields = dict(re.findall(r"^(\w+)\s+(\S+)", objdump("-p", exe), re.M))
    expected = {"Subsystem": "00000002", "MajorSubsystemVersion": "4",
                "MinorSubsystemVersion": "0", "MajorOSystemVersion": "4",
                "MinorOSystemVersion": "0"}
    for field, value in expected.items():
        if fields.get(field) != value:
            problems.append(f"{field} is {fields.get(field)}, Windows 98 needs {value}")
    return problems


def imports(exe):
    found, dll = [], None
    for line in objdump("-p", exe).splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            dll = named.group(1)
            continue
        function = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if dll and function:
            found.append((dll.lower(), function.group(1)))
    return found


def check_imports(exe):
    allowed = set()
    for line in ALLOWED.read_text().splitlines():
        if line.strip() and not line.startswith("#"):
            dll, function = line.split()
            allowed.add((dll.lower(), function))
    found = imports(exe)
    problems = [f"{dll} {function} is not known to exist on Windows 98"
                for dll, function in found if (dll, function) not in allowed]
    if not found:
        problems.append("no imports found")
    return problems


def check_instructions(exe):
    problems = []
    for line in objdump("-d", "--no-show-raw-insn", exe).splitlines():
        parts = line.split("\t")
        if len(parts) < 2 or not parts[0].strip().endswith(":"):
            continue
        instruction = parts[1].strip()
        mnemonic = instruction.split(" ")[0]
        if FORBIDDEN.match(mnemonic) or re.search(r"%x?mm\d", instruction):
            problems.append(f"{parts[0].strip()} {instruction}")
    return problems


def check_resources(exe):
    data = Path(exe).read_bytes()
    problems = []
    if DESCRIPTION.encode("utf-16-le") not in data:
        problems.append(f'no VERSIONINFO with the description "{DESCRIPTION}"')
    if len(data) > MAX_SIZE:
        problems.append(f"{len(data)} bytes, more than {MAX_SIZE}")
    return problems


def check_reproducible(exe):
    """The same source, copied to another folder and built afresh, gives the
    same bytes, so a pressed disc's setup.exe can be checked against a commit."""
    source = Path(__file__).resolve().parents[2]
    with tempfile.TemporaryDirectory() as work:
        copy, build = Path(work) / "elsewhere", Path(work) / "build"
        shutil.copytree(source, copy, ignore=shutil.ignore_patterns("build", ".git"))
        for command in (["cmake", "-S", copy, "-B", build, "-DCMAKE_BUILD_TYPE=MinSizeRel",
                         f"-DCMAKE_TOOLCHAIN_FILE={copy}/cmake/i686-w64-mingw32.cmake"],
                        ["cmake", "--build", build, "--target", "setup"]):
            subprocess.run(command, capture_output=True, check=True)
        rebuilt = (build / "setup.exe").read_bytes()
    original = Path(exe).read_bytes()
    if len(rebuilt) != len(original):
        return [f"the rebuild has {len(rebuilt)} bytes, not {len(original)}"]
    return [f"byte at offset {offset:#x}: {a:#04x} here, {b:#04x} in the rebuild"
            for offset, (a, b) in enumerate(zip(original, rebuilt)) if a != b]


CHECKS = {"header": check_header, "imports": check_imports,
          "instructions": check_instructions, "resources": check_resources,
          "reproducible": check_reproducible}


def main():
    check, exe = sys.argv[1], sys.argv[2]
    problems = CHECKS[check](exe)
    for problem in problems[:50]:
        print(problem)
    print(f"{check}: {'failed' if problems else 'passed'} ({Path(exe).stat().st_size} bytes)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
