"""The same run on the simulated machine, compared with a recorded one.

The emulated machine's starting state is described to tools/simulated_run
(the simulated Windows 98/Me), whose calls must be the same operations in the
same order, with the same arguments and results as the recorded ones, apart
from the known differences listed here, each with the fact it rests on.
"""

import dataclasses
import subprocess
from pathlib import Path

from tools.harness import wine_machine
from tools.harness.call_trace import Normaliser, started


VERSIONS = {"98": (1, 4, 10), "me": (1, 4, 90), "xp": (2, 5, 1)}
# What the setup reaches under the Windows directory, described whole.
WINDOWS_FOLDERS = ["", "System32\\Drivers", "inf", "system", "temp"]
KEYS = [r"HKLM\Software\Microsoft\Windows\CurrentVersion\Setup",
        wine_machine.RUN_SERVICES_ONCE,
        r"HKLM\System\CurrentControlSet\Services\SCardSvr",
        r"HKLM\Enum\USB",
        r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"]
READ_ONLY = 0x01
ARCHIVE = 0x20


def escape(text):
    """A field for simulated_run: the text in the system's code page, escaped."""
    out = []
    for byte in text.encode("cp1252", errors="replace"):
        c = chr(byte)
        if c == "\t":
            out.append("\\t")
        elif c == "\n":
            out.append("\\n")
        elif c == "\\":
            out.append("\\\\")
        elif byte < 0x20 or byte >= 0x7f:
            out.append("\\x%02X" % byte)
        else:
            out.append(c)
    return "".join(out)


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            code = text[i + 1]
            if code == "x":
                out.append(chr(int(text[i + 2:i + 4], 16)))
                i += 4
                continue
            out.append({"t": "\t", "n": "\n"}.get(code, code))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def module_path(command_line):
    """The file the setup runs from: setup.exe in D:\\WIN98, where it is started,
    or the program a command line names, found there when its path is not whole."""
    program = wine_machine.windows_arguments(command_line, with_program=True)[0] if command_line \
        else "setup.exe"
    return program if program[1:3] == ":\\" else "D:\\WIN98\\" + program


def attributes(path):
    """A file's attributes as the emulator shows them: archive, and read-only
    when no one may write it."""
    return str(ARCHIVE | (0 if path.stat().st_mode & 0o222 else READ_ONLY))


class StartingState:
    """The emulated machine as the setup will meet it, as lines for simulated_run."""

    def __init__(self, machine, media, arguments, command_line, exits):
        self.lines = [("version", *VERSIONS[machine.windows]), ("current", "D:\\WIN98"),
                      ("windows", "C:\\windows")]
        self.exits = {name.lower(): status for name, status in (exits or {}).items()}
        self.describe_tree(Path(media), "D:", recursive=True)
        for folder in WINDOWS_FOLDERS:
            path = machine.unix_path("C:\\windows\\" + folder if folder else "C:\\windows")
            self.describe_tree(path, "C:\\windows" + ("\\" + folder if folder else ""),
                               recursive=bool(folder))
        registry = machine.registry()
        for key in KEYS:
            self.describe_keys(registry, key)
        self.lines += [("running", program) for program in machine.running_programs()]
        self.lines.append(("module", module_path(command_line)))
        argv = wine_machine.windows_arguments(command_line) if command_line else list(arguments)
        self.lines += [("argument", argument) for argument in argv]

    def describe_tree(self, folder, name, recursive):
        if not folder.is_dir():
            return
        self.lines.append(("directory", name))
        for entry in sorted(folder.iterdir()):
            child = name + "\\" + entry.name
            if entry.is_dir():
                if recursive:
                    self.describe_tree(entry, child, recursive)
            elif entry.suffix.lower() == ".exe":
                self.lines.append(("program", child, attributes(entry), *self.behaviour(entry)))
            elif entry.suffix.lower() == ".ini":  # what a profile call reads
                self.lines.append(("file", child, attributes(entry),
                                   entry.read_bytes().decode("latin-1")))
            else:
                self.lines.append(("file", child, attributes(entry)))

    def behaviour(self, program):
        """What a program on the machine does, as its stand-in does it."""
        if program.read_bytes()[:2] != b"MZ":
            return ("broken",)
        name = program.stem.lower()
        if name in ("scbase", "smclib"):
            return ("extract", name, str(self.exits.get(name, 0)))
        return ("deltree",) if name == "deltree" else ("plain",)

    def describe_keys(self, registry, key):
        subtree = registry.subtree(key)
        if subtree:
            self.lines.append(("key", key))  # an empty key is not listed
        self.lines += [("key", "HKLM" + path[len("HKEY_LOCAL_MACHINE"):]) for path in subtree]

    def with_answers(self, boxes):
        """The description, with what the system returned for each of the run's boxes."""
        lines = self.lines + [("answer", str(box.returned)) for box in boxes]
        return "".join("\t".join(escape(str(field)) for field in line) + "\n" for line in lines)


def simulate(simulator, description, workdir):
    """The calls of the same run on the simulated machine, and its status."""
    path = Path(workdir) / "simulated-machine.txt"
    path.write_text(description, encoding="latin-1")
    output = subprocess.run([str(simulator), str(path)], capture_output=True, text=True,
                            encoding="latin-1", check=True).stdout
    calls, status, names = [], None, Normaliser()
    for line in output.splitlines():
        if line.startswith("status "):
            status = int(line.split()[1])
            continue
        fields = [unescape(field) for field in line.split("\t")]
        op, values, result = fields[0], fields[1:-2], fields[-1]
        calls.append(names.call(*from_simulated(op, values, result)))
    return calls, status


def from_simulated(op, values, result):
    """(op, values, result) of a simulated call, in the same terms as from_relay
    (keys are already paths, handles numbers)."""
    if op == "CreateProcessA":
        values = values[:3]  # the startup record is not in the relay trace
    if op == "WinExec":
        result = started(result)
    if op in ("GetStdHandle", "InstallHinfSection", "ExitProcess", "SetLastError"):
        result = "-"
    if op == "GetVersionExA":
        values = []
    if op == "CreateMutexA":
        result = "0" if result == "0" else "1"  # handles are the system's own numbers
    return op, values, result


# --- comparing ---

NORMAL = 0x80


def normal_reads_as_normal(calls):
    """A file the run gave normal attributes (and renamed, perhaps) reads back
    as normal, not as archive."""
    out, normal = [], set()
    for call in calls:
        key = call.values[0].lower() if call.values else None
        if call.op == "SetFileAttributesA" and call.result == "1":
            (normal.add if call.values[1] == str(NORMAL) else normal.discard)(key)
        elif call.op == "MoveFileA" and call.result == "1" and key in normal:
            normal.discard(key)
            normal.add(call.values[1].lower())
        elif call.op in ("DeleteFileA", "CopyFileA") and call.result == "1":
            normal.discard(call.values[-2 if call.op == "CopyFileA" else 0].lower())
        elif call.op == "GetFileAttributesA" and key in normal and call.result == str(ARCHIVE):
            call = dataclasses.replace(call, result=str(NORMAL))
        out.append(call)
    return out


@dataclasses.dataclass
class KnownDifference:
    name: str
    fact: str          # what it rests on
    windows: tuple     # the emulated systems it applies to
    rewrite: object    # recorded calls -> recorded calls as Windows 9x would make them


KNOWN_DIFFERENCES = [
    KnownDifference(
        "a file given normal attributes reads back as archive on the emulator",
        "The emulator keeps no attributes of its own for a file: it shows archive (0x20), and "
        "read-only when no one may write it, so a file set to normal (0x80) reads back as "
        "0x20; the simulated machine keeps the attributes set, as FAT does. The setup tests "
        "only the read-only and directory bits.",
        ("98", "me", "xp"), normal_reads_as_normal),
]


def as_windows_9x(recorded, windows):
    for difference in KNOWN_DIFFERENCES:
        if windows in difference.windows:
            recorded = difference.rewrite(recorded)
    return recorded


def side_by_side(recorded, simulated, first, lines=24):
    width = 70

    def cell(calls, i):
        text = str(calls[i]) if i < len(calls) else "(no call)"
        return text if len(text) <= width else text[:width - 3] + "..."

    rows = [f"      {'recorded on the emulated system':<{width}} | simulated machine"]
    for i in range(max(0, first - 2), min(max(len(recorded), len(simulated)), first + lines)):
        mark = "=>" if i >= first and (i >= len(recorded) or i >= len(simulated) or
                                       recorded[i] != simulated[i]) else "  "
        rows.append(f"{mark}{i:4} {cell(recorded, i):<{width}} | {cell(simulated, i)}")
        for side, calls in (("recorded", recorded), ("simulated", simulated)):
            if mark == "=>" and i < len(calls) and len(str(calls[i])) > width:
                rows.append(f"       {side} in full: {calls[i]}")
    return "\n".join(rows)


def difference(recorded, simulated, windows):
    """None when the runs made the same calls; else both sequences side by
    side from the first call where they part."""
    recorded = as_windows_9x(recorded, windows)
    for i in range(max(len(recorded), len(simulated))):
        if i >= len(recorded) or i >= len(simulated) or recorded[i] != simulated[i]:
            return side_by_side(recorded, simulated, i)
    return None


def first_difference(shipped, twin):
    """Where two builds' recorded runs part, in one line each, or []."""
    differences = []
    for number, (ours, theirs) in enumerate(zip(shipped, twin), 1):
        for index in range(max(len(ours.calls), len(theirs.calls))):
            mine = ours.calls[index] if index < len(ours.calls) else "(no call)"
            other = theirs.calls[index] if index < len(theirs.calls) else "(no call)"
            if mine != other:
                differences.append(f"run {number}, call {index + 1}: the shipped setup.exe "
                                   f"made {mine}, its twin {other}")
                break
    if len(shipped) != len(twin):
        differences.append(f"the shipped setup.exe ran {len(shipped)} time(s), its twin "
                           f"{len(twin)}")
    return differences
