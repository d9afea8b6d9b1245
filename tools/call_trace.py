"""The calls setup.exe makes to the system, recorded on the emulated machine
and compared with the same run on the simulated machine.

Recording: Wine's relay trace, kept to the calls made from setup.exe's own
code (RelayFromInclude), read back as one Call per system operation.
Comparing: the machine's starting state is described to tools/simulated_run
(the simulated Windows 98/Me), whose calls must be the same operations in the
same order, with the same arguments and results, apart from the known
differences listed below, each with the fact it rests on.
"""

import dataclasses
import re
import subprocess
from pathlib import Path

# --- recording ---------------------------------------------------------------


# Operations whose results say failure as a status other than 0, as 0, or as
# this value.
STATUS_RESULTS = {"RegOpenKeyA", "RegCreateKeyExA", "RegSetValueExA", "RegDeleteKeyA",
                  "RegCloseKey"}
FAILED_RESULTS = {"GetFileAttributesA": "4294967295", "WaitForSingleObject": "4294967295"}


# Flags, attributes, handles and timeouts read best in hexadecimal.
HEX_VALUES = {"SetFileAttributesA": (1,), "RegCreateKeyExA": (3,), "CreateProcessA": (2,),
              "WaitForSingleObject": (1,), "GetStdHandle": (0,), "ExitWindowsEx": (0,)}
HEX_RESULTS = {"GetFileAttributesA", "WaitForSingleObject"}


def shown(value, hexadecimal):
    if hexadecimal and value.isdigit():
        return "0x%X" % int(value)
    return value.replace("\n", "\\n").replace("\t", "\\t")


@dataclasses.dataclass(eq=False)
class Call:
    op: str
    values: tuple      # the arguments both sides can see, normalised
    result: str        # the result, normalised; "-" where it is not compared

    def __str__(self):
        hexadecimal = HEX_VALUES.get(self.op, ())
        values = [shown(v, i in hexadecimal) for i, v in enumerate(self.values)]
        return f"{self.op}({', '.join(values)}) = {shown(self.result, self.op in HEX_RESULTS)}"

    def __eq__(self, other):
        return self.compared() == other.compared()

    def compared(self):
        """Registry names match without regard to case, as the registry matches them."""
        if self.op in STATUS_RESULTS:
            return self.op, tuple(v.lower() for v in self.values), self.result
        return self.op, self.values, self.result

    @property
    def failed(self):
        if self.result == "-" or self.op in ("ExitProcess", "CharPrevA"):
            return False
        if self.op in STATUS_RESULTS:
            return self.result != "0"
        if self.op in FAILED_RESULTS:
            return self.result == FAILED_RESULTS[self.op]
        if self.op == "WinExec":
            return self.result != "started"
        return self.result == "0"


def enable_recording(machine):
    """Relays only the calls made from setup.exe: the prefix's default
    exclusion list would win over an inclusion list, so it goes."""
    machine.reg("delete", r"HKCU\Software\Wine\Debug", "/v", "RelayFromExclude", "/f")
    machine.add_key_value(r"HKCU\Software\Wine\Debug", "RelayFromInclude", "setup.exe")


RELAY_CALL = re.compile(r"^[0-9a-f]+:Call [\w.]+\.(\w+)\((.*)\) ret=[0-9a-f]+$")
RELAY_RET = re.compile(r"^[0-9a-f]+:Ret  [\w.]+\.(\w+)\(\) retval=([0-9a-f]+) ret=[0-9a-f]+$")


def relay_arguments(text):
    """The arguments of a relay line: integers, or (pointer, string) for text."""
    args, i = [], 0
    while i < len(text):
        match = re.match(r"([0-9a-f]+)", text[i:])
        number = int(match.group(1), 16)
        i += len(match.group(1))
        if text.startswith(' "', i):
            string, i = relay_string(text, i + 2)
            args.append((number, string))
        else:
            args.append(number)
        if text.startswith(",", i):
            i += 1
    return args


def relay_string(text, i):
    """The string whose escaped bytes start at i, and the index after it."""
    out = bytearray()
    while text[i] != '"':
        if text[i] == "\\":
            code = text[i + 1]
            if code == "x":
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
                continue
            out += {"n": b"\n", "r": b"\r", "t": b"\t"}.get(code, code.encode("latin-1"))
            i += 2
        else:
            out += text[i].encode("latin-1")
            i += 1
    i += 1
    if text.startswith("...", i):  # the trace cuts long texts
        i += 3
        out += b"..."
    return out.decode("latin-1"), i


def boolean(value):
    return "1" if value else "0"


class Normaliser:
    """Handles as ordinals in order of first use, registry handles as the
    key paths they were opened for, so that two runs compare."""

    def __init__(self):
        self.handles = {}  # open handles by value; a closed one may be given out again
        self.named = 0
        self.keys = {0x80000002: "HKLM"}
        self.opening = None  # the key path of the last successful open

    def handle(self, value):
        if str(value) not in self.handles:
            self.named += 1
            self.handles[str(value)] = f"h{self.named}"
        return self.handles[str(value)]

    def key(self, value):
        if value not in self.keys and self.opening is not None:
            self.keys[value], self.opening = self.opening, None
        return self.keys.get(value, hex(value))


def text_of(arg):
    return arg[1] if isinstance(arg, tuple) else hex(arg)


def number(arg):
    return str(arg[0] if isinstance(arg, tuple) else arg)


def from_relay(name, args, retval):
    """(op, values, result) of a relayed call, before handles are named; None
    for a call that is no system operation of the setup."""
    r = retval
    table = {
        "GetCurrentDirectoryA": lambda: ([number(args[0])], str(r)),
        "GetWindowsDirectoryA": lambda: ([number(args[1])], str(r)),
        "GetVersionExA": lambda: ([], boolean(r)),
        "GetFileAttributesA": lambda: ([text_of(args[0])], str(r)),
        "SetFileAttributesA": lambda: ([text_of(args[0]), number(args[1])], boolean(r)),
        "DeleteFileA": lambda: ([text_of(args[0])], boolean(r)),
        "CopyFileA": lambda: ([text_of(args[0]), text_of(args[1]), number(args[2])], boolean(r)),
        "MoveFileA": lambda: ([text_of(args[0]), text_of(args[1])], boolean(r)),
        "RegOpenKeyA": lambda: ([("key", args[0]), text_of(args[1])], str(r)),
        "RegCreateKeyExA": lambda: ([("key", args[0]), text_of(args[1]), number(args[4]),
                                     number(args[5])], str(r)),
        "RegSetValueExA": lambda: ([("key", args[0]), text_of(args[1]), number(args[3]),
                                    number(args[5])], str(r)),
        "RegDeleteKeyA": lambda: ([("key", args[0]), text_of(args[1])], str(r)),
        "RegCloseKey": lambda: ([("key", args[0])], str(r)),
        "CreateProcessA": lambda: ([text_of(args[1]), number(args[4]), number(args[5])],
                                   boolean(r)),
        "WaitForSingleObject": lambda: ([("handle", args[0]), number(args[1])], str(r)),
        "GetExitCodeProcess": lambda: ([("handle", args[0])], boolean(r)),
        "GetStdHandle": lambda: ([number(args[0])], "-"),
        "CloseHandle": lambda: ([("handle", args[0])], boolean(r)),
        "WinExec": lambda: ([text_of(args[0]), number(args[1])], started(r)),
        "InstallHinfSectionA": lambda: ([text_of(args[2]), number(args[3])], "-"),
        "GetShortPathNameA": lambda: ([text_of(args[0]), number(args[2])], str(r)),
        "CharPrevA": lambda: ([args[0][1][:args[1][0] - args[0][0]],
                               str(args[1][0] - args[0][0])], str(r - args[0][0])),
        "MessageBoxA": lambda: ([text_of(args[2]), text_of(args[1]), number(args[3])], str(r)),
        "ExitWindowsEx": lambda: ([number(args[0]), number(args[1])], boolean(r)),
        "exit": lambda: ([number(args[0])], "-"),
    }
    if name not in table:
        return None
    op = {"InstallHinfSectionA": "InstallHinfSection", "exit": "ExitProcess"}.get(name, name)
    values, result = table[name]()
    return op, values, result


def started(result):
    """WinExec's result: above 31 means started, whatever the number."""
    return "started" if int(result) > 31 else str(result)


def named(op, values, result, names):
    """The call with its handles named; a successful open names the next new key handle."""
    shown = []
    for value in values:
        if isinstance(value, tuple) and value[0] == "key":
            shown.append(names.key(value[1]) if isinstance(value[1], int) else value[1])
        elif isinstance(value, tuple) and value[0] == "handle":
            shown.append(names.handle(value[1]))
        else:
            shown.append(value)
    if op in ("RegOpenKeyA", "RegCreateKeyExA") and result == "0":
        names.opening = f"{shown[0]}\\{shown[1]}"
    if op == "RegCloseKey" and isinstance(values[0][1], int):
        names.keys.pop(values[0][1], None)  # the system gives the handle out again
    if op == "CloseHandle":
        names.handles.pop(str(values[0][1]), None)
    return Call(op, tuple(shown), result)


def parse_relay(trace):
    """The setup's system calls in a relay trace, in order: those of the thread
    that asked the C runtime for setup.exe's arguments, its only thread. Calls
    the system makes while inside one of them (WinExec waits through user32,
    for one) are not the setup's."""
    calls, stack, names = [], [], Normaliser()
    main = re.search(r"^([0-9a-f]+):Call msvcrt\.__getmainargs\(", trace, re.M)
    if main is None:
        return calls
    level = None  # how deep the setup's own calls stand: the thread starts inside the system

    def finish(call, retval):
        converted = from_relay(call[0], call[1], retval)
        if converted:
            calls.append(named(*converted, names))

    for line in trace.splitlines():
        if not line.startswith(main.group(1) + ":"):
            continue
        match = RELAY_CALL.match(line)
        if match:
            if level is None and match.group(1) == "__getmainargs":
                level = len(stack)
            stack.append((match.group(1), relay_arguments(match.group(2))))
            continue
        match = RELAY_RET.match(line)
        if match and stack and stack[-1][0] == match.group(1):
            call = stack.pop()
            if len(stack) == level:
                finish(call, int(match.group(2), 16))
    if level is not None and len(stack) > level:  # the call the process ended in
        finish(stack[level], 0)
    return calls


# --- the same run on the simulated machine ------------------------------------

VERSIONS = {"98": (1, 4, 10), "me": (1, 4, 90), "xp": (2, 5, 1)}
ANSWERS = {"yes": 6, "no": 7, "ok": 1}
# What the setup reaches under the Windows directory, described whole.
WINDOWS_FOLDERS = ["", "System32\\Drivers", "inf", "system", "temp"]
KEYS = [r"HKLM\Software\Microsoft\Windows\CurrentVersion\Setup",
        r"HKLM\Software\Microsoft\Windows\CurrentVersion\RunServicesOnce",
        r"HKLM\System\CurrentControlSet\Services\SCardSvr",
        r"HKLM\Enum\USB"]
READ_ONLY = 0x01
DIRECTORY = 0x10
ARCHIVE = 0x20


def escape(text):
    out = []
    for c in text:
        if c == "\t":
            out.append("\\t")
        elif c == "\n":
            out.append("\\n")
        elif c == "\\":
            out.append("\\\\")
        elif ord(c) < 0x20 or ord(c) >= 0x7f:
            out.append("\\x%02X" % ord(c))
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


def windows_arguments(command_line):
    """The arguments after the program name, split as the C runtime splits them."""
    words, word, quoted, started_word = [], "", False, False
    for c in command_line:
        if c == '"':
            quoted, started_word = not quoted, True
        elif c in " \t" and not quoted:
            if started_word:
                words.append(word)
            word, started_word = "", False
        else:
            word, started_word = word + c, True
    if started_word:
        words.append(word)
    return words[1:]


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
        for key in KEYS:
            self.describe_keys(machine, key)
        argv = windows_arguments(command_line) if command_line else list(arguments)
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
                self.lines.append(("program", child, *self.behaviour(entry)))
            else:
                writable = entry.stat().st_mode & 0o222
                self.lines.append(("file", child, str(ARCHIVE | (0 if writable else READ_ONLY))))

    def behaviour(self, program):
        """What a program on the machine does, as its stand-in does it."""
        if program.read_bytes()[:2] != b"MZ":
            return ("broken",)
        name = program.stem.lower()
        if name in ("scbase", "smclib"):
            return ("extract", name, str(self.exits.get(name, 0)))
        return ("deltree",) if name == "deltree" else ("plain",)

    def describe_keys(self, machine, key):
        result = machine.reg("query", key, "/s")
        if result.returncode != 0:
            return
        self.lines.append(("key", key))  # an empty key is not listed
        for line in result.stdout.splitlines():
            if line.startswith("HKEY_LOCAL_MACHINE\\"):
                self.lines.append(("key", "HKLM" + line[len("HKEY_LOCAL_MACHINE"):]))

    def with_answers(self, boxes):
        """The description, with the answers the run's boxes were given."""
        lines = self.lines + [("answer", str(ANSWERS[box.answer])) for box in boxes]
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
        calls.append(named(*from_simulated(op, values, result), names))
    return calls, status


def from_simulated(op, values, result):
    """(op, values, result) of a simulated call, in the same terms as from_relay."""
    if op in ("RegOpenKeyA", "RegCreateKeyExA", "RegSetValueExA", "RegDeleteKeyA",
              "RegCloseKey"):
        values = [("key", values[0])] + values[1:]
    if op in ("WaitForSingleObject", "GetExitCodeProcess", "CloseHandle"):
        values = [("handle", values[0])] + values[1:]
    if op == "CreateProcessA":
        values = values[:3]  # the startup record is not in the relay trace
    if op == "WinExec":
        result = started(result)
    if op in ("GetStdHandle", "InstallHinfSection", "ExitProcess"):
        result = "-"
    if op == "GetVersionExA":
        values = []
    return op, values, result


# --- comparing ---------------------------------------------------------------

def collapse_nt_key_deletion(calls):
    """One RegDeleteKeyA refused for a key with subkeys, then the subkeys' own
    deletions, then the same RegDeleteKeyA again: one deletion of the tree."""
    out, i = [], 0
    while i < len(calls):
        call = calls[i]
        if call.op == "RegDeleteKeyA" and call.result == "5":
            again = next((j for j in range(i + 1, len(calls))
                          if calls[j].op == "RegDeleteKeyA" and calls[j].values == call.values),
                         None)
            if again is not None:
                out.append(calls[again])
                i = again + 1
                continue
        out.append(call)
        i += 1
    return out


@dataclasses.dataclass
class KnownDifference:
    name: str
    fact: str          # what it rests on
    windows: tuple     # the emulated systems it applies to
    rewrite: object    # recorded calls -> recorded calls as Windows 9x would make them


KNOWN_DIFFERENCES = [
    KnownDifference(
        "a registry key with subkeys is deleted key by key on the NT family",
        "On NT, RegDeleteKeyA fails with access denied for a key that has subkeys, so "
        "setup.exe's Win32 layer deletes the subkeys first; on Windows 9x, which the simulated "
        "machine plays, one RegDeleteKeyA removes the whole tree (platform notes).",
        ("xp",), collapse_nt_key_deletion),
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
