"""The calls setup.exe makes to the system, recorded on the emulated machine:
Wine's relay trace, kept to the calls made from setup.exe's own code
(RelayFromInclude), read back as one Call per system operation, with handles
named so that two runs compare (call_comparison.py compares them).
"""

import dataclasses
import re


# The registry's operations: their first value is a key, their result a status
# (0 for success), and their names match without regard to case.
REGISTRY_OPS = {"RegOpenKeyA", "RegCreateKeyExA", "RegSetValueExA", "RegDeleteKeyA",
                "RegDeleteValueA", "RegCloseKey"}
# The operations that take a process or thread handle first.
HANDLE_OPS = {"WaitForSingleObject", "GetExitCodeProcess", "CloseHandle"}
# Results that say failure other than 0 does.
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
        if self.op in REGISTRY_OPS:
            return self.op, tuple(v.lower() for v in self.values), self.result
        return self.op, self.values, self.result

    @property
    def failed(self):
        if self.result == "-" or self.op in ("ExitProcess", "CharPrevA", "GetLastError"):
            return False
        if self.op in REGISTRY_OPS:
            return self.result != "0"
        if self.op in FAILED_RESULTS:
            return self.result == FAILED_RESULTS[self.op]
        if self.op == "WinExec":
            return self.result != "started"
        return self.result == "0"


# The emulator's own list of functions it does not relay, less SetLastError,
# which setup.exe calls.
RELAY_EXCLUDE = ("ntdll.RtlEnterCriticalSection;ntdll.RtlTryEnterCriticalSection;"
                 "ntdll.RtlLeaveCriticalSection;kernel32.48;kernel32.49;kernel32.94;kernel32.95;"
                 "kernel32.96;kernel32.97;kernel32.98;kernel32.TlsGetValue;kernel32.TlsSetValue;"
                 "kernel32.FlsGetValue;kernel32.FlsSetValue")


# Relays only the calls made from setup.exe, or from its copy that Add/Remove
# Programs runs: the prefix's default exclusion list would win over an
# inclusion list, so it goes.
RECORDING = [(r"HKCU\Software\Wine\Debug", "RelayFromExclude", None),
             (r"HKCU\Software\Wine\Debug", "RelayFromInclude", "setup.exe;kt418rmv.exe"),
             (r"HKCU\Software\Wine\Debug", "RelayExclude", RELAY_EXCLUDE)]


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


def decode_debug_string(escaped, hex_digits):
    """A string as Wine's debug output escapes it, undone: \\xNN... stands for
    a character of up to hex_digits digits (2 in a narrow string, 4 in a wide one)."""
    out, i = [], 0
    while i < len(escaped):
        c = escaped[i]
        if c != "\\" or i + 1 == len(escaped):
            out.append(c)
            i += 1
            continue
        n = escaped[i + 1]
        if n == "x":
            digits = re.match(r"[0-9a-fA-F]{1,%d}" % hex_digits, escaped[i + 2:]).group(0)
            out.append(chr(int(digits, 16)))
            i += 2 + len(digits)
            continue
        out.append({"n": "\n", "r": "\r", "t": "\t"}.get(n, n))
        i += 2
    return "".join(out)


def relay_string(text, i):
    """The narrow string whose escaped bytes start at i, and the index after it."""
    end = i
    while text[end] != '"':
        end += 2 if text[end] == "\\" else 1
    string = decode_debug_string(text[i:end], 2)
    if text.startswith("...", end + 1):  # the trace cuts long texts
        return string + "...", end + 4
    return string, end + 1


def boolean(value):
    return "1" if value else "0"


class Normaliser:
    """Names the handles of one run's calls so that two runs compare: process
    and thread handles as ordinals in order of use (the system gives a closed
    handle out again), registry handles as the key paths they were opened for."""

    def __init__(self):
        self.handles = {}  # open handles by value
        self.named = 0
        # HKEY_LOCAL_MACHINE, sign-extended in a 64-bit process as its headers define it.
        self.keys = {0x80000002: "HKLM", 0xFFFFFFFF80000002: "HKLM"}
        self.opening = None  # the key path of the last successful open, not yet seen

    def handle(self, value):
        if str(value) not in self.handles:
            self.named += 1
            self.handles[str(value)] = f"h{self.named}"
        return self.handles[str(value)]

    def key(self, value):
        """A relayed handle number, or the simulated machine's key path as it is."""
        if not isinstance(value, int):
            return value
        if value not in self.keys and self.opening is not None:
            self.keys[value], self.opening = self.opening, None
        return self.keys.get(value, hex(value))

    def call(self, op, values, result):
        """The Call, its first value named when it is a key or a handle."""
        values = list(values)
        first = values[0] if values else None
        if op in REGISTRY_OPS:
            values[0] = self.key(first)
        elif op in HANDLE_OPS:
            values[0] = self.handle(first)
        if op in ("RegOpenKeyA", "RegCreateKeyExA") and result == "0":
            self.opening = f"{values[0]}\\{values[1]}"
        if op == "RegCloseKey":
            self.keys.pop(first, None)
        if op == "CloseHandle":
            self.handles.pop(str(first), None)
        return Call(op, tuple(values), result)


def text_of(arg):
    return arg[1] if isinstance(arg, tuple) else hex(arg)


def number(arg):
    """A 32-bit argument's value: a 64-bit process passes it in a register whose
    upper half the relay shows too, whatever it holds."""
    return str((arg[0] if isinstance(arg, tuple) else arg) & 0xFFFFFFFF)


def from_relay(name, args, retval):
    """(op, values, result) of a relayed call, its handles still numbers; None
    for a call that is no system operation of the setup."""
    # Every result but CharPrevA's pointer is 32 bits wide, in a 64-bit process too.
    r = retval if name == "CharPrevA" else retval & 0xFFFFFFFF
    table = {
        "GetCurrentDirectoryA": lambda: ([number(args[0])], str(r)),
        "GetWindowsDirectoryA": lambda: ([number(args[1])], str(r)),
        "GetVersionExA": lambda: ([], boolean(r)),
        "GetModuleFileNameA": lambda: ([number(args[2])], str(r)),
        "GetFileAttributesA": lambda: ([text_of(args[0])], str(r)),
        "SetFileAttributesA": lambda: ([text_of(args[0]), number(args[1])], boolean(r)),
        "DeleteFileA": lambda: ([text_of(args[0])], boolean(r)),
        "CopyFileA": lambda: ([text_of(args[0]), text_of(args[1]), number(args[2])], boolean(r)),
        "MoveFileA": lambda: ([text_of(args[0]), text_of(args[1])], boolean(r)),
        "RegOpenKeyA": lambda: ([args[0], text_of(args[1])], str(r)),
        "RegCreateKeyExA": lambda: ([args[0], text_of(args[1]), number(args[4]),
                                     number(args[5])], str(r)),
        "RegSetValueExA": lambda: ([args[0], text_of(args[1]), number(args[3]),
                                    number(args[5])], str(r)),
        "RegDeleteKeyA": lambda: ([args[0], text_of(args[1])], str(r)),
        "RegDeleteValueA": lambda: ([args[0], text_of(args[1])], str(r)),
        "RegCloseKey": lambda: ([args[0]], str(r)),
        "CreateProcessA": lambda: ([text_of(args[1]), number(args[4]), number(args[5])],
                                   boolean(r)),
        "WaitForSingleObject": lambda: ([args[0], number(args[1])], str(r)),
        "GetExitCodeProcess": lambda: ([args[0]], boolean(r)),
        "GetStdHandle": lambda: ([number(args[0])], "-"),
        "CloseHandle": lambda: ([args[0]], boolean(r)),
        "WinExec": lambda: ([text_of(args[0]), number(args[1])], started(r)),
        "InstallHinfSectionA": lambda: ([text_of(args[2]), number(args[3])], "-"),
        "GetShortPathNameA": lambda: ([text_of(args[0]), number(args[2])], str(r)),
        "GetPrivateProfileSectionA": lambda: ([text_of(args[0]), number(args[2]),
                                               text_of(args[3])], str(r)),
        # The lines hold short names, which are each system's own: not compared.
        "WritePrivateProfileSectionA": lambda: ([text_of(args[0]), text_of(args[2])],
                                                boolean(r)),
        # Only the flush is made: section, key and value all null.
        "WritePrivateProfileStringA": lambda: ([text_of(args[3])], boolean(r)),
        "CharPrevA": lambda: ([args[0][1][:args[1][0] - args[0][0]],
                               str(args[1][0] - args[0][0])], str(r - args[0][0])),
        "MessageBoxA": lambda: ([text_of(args[2]), text_of(args[1]), number(args[3])], str(r)),
        "ExitWindowsEx": lambda: ([number(args[0]), number(args[1])], boolean(r)),
        "CreateMutexA": lambda: ([text_of(args[2])], boolean(r)),
        "GetLastError": lambda: ([], str(r)),
        "SetLastError": lambda: ([number(args[0])], "-"),
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
            calls.append(names.call(*converted))

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
