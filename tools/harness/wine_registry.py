"""HKEY_LOCAL_MACHINE of an emulated machine at one moment, read from the
emulator's own saved form (registry_saver.exe), and shown as the emulator's
regedit exports it and its reg query shows values.

One saved copy answers every question of a check; an export or a query is a
program start of its own, which in an emulated PC takes seconds.
"""

import re

ROOT = "HKEY_LOCAL_MACHINE"
REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7
TYPE_NAMES = {0: "REG_NONE", REG_SZ: "REG_SZ", REG_EXPAND_SZ: "REG_EXPAND_SZ",
              REG_BINARY: "REG_BINARY", REG_DWORD: "REG_DWORD", REG_MULTI_SZ: "REG_MULTI_SZ"}
C_ESCAPES = {"a": "\a", "b": "\b", "e": "\x1b", "f": "\f", "n": "\n", "r": "\r", "t": "\t",
             "v": "\v"}
LINK_PREFIX = "\\registry\\machine\\"


ESCAPE = re.compile(r"\\(x[0-9a-fA-F]{1,4}|[0-7]{1,3}|.)", re.S)


def unescaped(match):
    code = match.group(1)
    if code[0] == "x" and len(code) > 1:
        return chr(int(code[1:], 16))
    if code[0] in "01234567":
        return chr(int(code, 8))
    return C_ESCAPES.get(code, code)


UP_TO = {end: re.compile(r"(?:[^\\%s]|\\.)*" % re.escape(end), re.S) for end in '"]'}


def unescape(text, start, end):
    """The characters of a saved name or string from start up to the unescaped
    end character ('"' or "]"), and where that end is."""
    stop = UP_TO[end].match(text, start).end()
    text = text[start:stop]
    return (ESCAPE.sub(unescaped, text) if "\\" in text else text), stop


def string_bytes(text):
    return (text + "\0").encode("utf-16-le")


def parse_value(line):
    """(name, type, data bytes) of a saved value line, continuations joined."""
    if line.startswith("@="):
        name, i = "", 2
    else:
        name, i = unescape(line, 1, '"')
        i += 2  # the closing quotation mark and "="
    data = line[i:]
    typed = re.match(r"str\(([0-9a-f]+)\):", data)
    if data.startswith('"') or typed:
        offset = typed.end() if typed else 0
        return name, int(typed.group(1), 16) if typed else REG_SZ, \
            string_bytes(unescape(data, offset + 1, '"')[0])
    if data.startswith("dword:"):
        return name, REG_DWORD, int(data[6:], 16).to_bytes(4, "little")
    hexed = re.match(r"hex(?:\(([0-9a-f]+)\))?:(.*)$", data)
    kind = int(hexed.group(1), 16) if hexed.group(1) else REG_BINARY
    return name, kind, bytes(int(b, 16) for b in hexed.group(2).split(",") if b)


class Key:
    def __init__(self, name):
        self.name = name
        self.lines = []     # its saved value lines, read when its values are asked for
        self.children = {}  # lower-case name: Key, in the system's order
        self.link = None    # the path of the key a symbolic link leads to
        self._values = None

    @property
    def values(self):
        """(name, type, data bytes), in the system's order. A check asks for a
        few keys' values of thousands: in an emulated PC, reading them all
        would take seconds."""
        if self._values is None:
            self._values = [parse_value(line) for line in self.lines
                            if line and not line.startswith((";", "#"))]
        return self._values


class Registry:
    def __init__(self, saved):
        """saved: the text registry_saver.exe wrote."""
        self.root = Key(ROOT)
        keys = {"": self.root}  # by lower-case path
        # Each key's section starts with a line "[path]"; before the first, the file's header.
        for section in ("\n" + saved.replace("\\\n  ", "")).split("\n[")[1:]:
            header, _, rest = section.partition("\n")
            key = self.key_at(unescape(header, 0, "]")[0], keys)
            key.lines += rest.split("\n")
            if "\n#link" in "\n" + rest:
                key.link = ""
        self.resolve_links(self.root)

    @staticmethod
    def key_at(path, keys):
        """The key at a saved path, made with any parents it lacks."""
        lower = path.lower()
        if lower not in keys:
            parent, _, name = path.rpartition("\\")
            key = Key(name)
            Registry.key_at(parent, keys).children[name.lower()] = key
            keys[lower] = key
        return keys[lower]

    def resolve_links(self, key):
        if key.link is not None:
            target = next((d for n, t, d in key.values if n == "SymbolicLinkValue"), b"")
            target = target.decode("utf-16-le")
            key.link = target[len(LINK_PREFIX):] if target.lower().startswith(LINK_PREFIX) else ""
        for child in key.children.values():
            self.resolve_links(child)

    def followed(self, key, depth=0):
        """The key itself, or the key its link leads to, as opening it gives."""
        if key is None or key.link is None or depth > 8:
            return key
        return self.followed(self.find(key.link, follow=False), depth + 1)

    def find(self, path, follow=True):
        """The key at path ("HKLM\\..." or relative to it), or None."""
        parts = [p for p in path.split("\\") if p]
        if parts and parts[0].upper() in ("HKLM", ROOT):
            parts = parts[1:]
        key = self.root
        for part in parts:
            key = self.followed(key)
            key = key.children.get(part.lower()) if key else None
            if key is None:
                return None
        return self.followed(key) if follow else key

    def walk(self, key, path):
        """(path, key) of key and everything under it, as an export lists them."""
        yield path, key
        for child in key.children.values():
            opened = self.followed(child)
            if opened is not None:
                yield from self.walk(opened, path + "\\" + child.name)

    # --- as reg query shows them ---

    def query(self, path):
        """The values of a key as {name: (type, data)}, in reg query's terms, or
        None when it is absent."""
        key = self.find(path)
        if key is None:
            return None
        return {name or "(Default)": (TYPE_NAMES.get(kind, f"REG_UNKNOWN({kind})"),
                                      queried(kind, data))
                for name, kind, data in key.values}

    def subtree(self, path):
        """Every key under path and itself, as reg query /s names them."""
        key = self.find(path)
        if key is None:
            return []
        start = ROOT + "\\" + "\\".join(p for p in path.split("\\")[1:] if p)
        return [name for name, _ in self.walk(key, start)]

    # --- as regedit exports them ---

    def export(self):
        sections = ["Windows Registry Editor Version 5.00"]
        for path, key in self.walk(self.root, ROOT):
            sections.append("\n".join([f"[{path}]"] + [exported(*v) for v in key.values]))
        return "\n\n".join(sections) + "\n\n"


def text_of(data):
    """A string value's text: its characters up to the first NUL."""
    return data[:len(data) // 2 * 2].decode("utf-16-le").split("\0")[0]


def queried(kind, data):
    if kind in (REG_SZ, REG_EXPAND_SZ):
        return text_of(data)
    if kind == REG_DWORD and len(data) == 4:
        return hex(int.from_bytes(data, "little"))
    if kind == REG_MULTI_SZ:
        return "\\0".join(data.decode("utf-16-le", errors="replace").rstrip("\0").split("\0"))
    return data.hex().upper()


def escaped(text):
    return (text.replace("\\", "\\\\").replace('"', '\\"').replace("\r", "\\r")
            .replace("\n", "\\n"))


def exported(name, kind, data):
    line = f'"{escaped(name)}"=' if name else "@="
    if kind == REG_SZ:
        # The export drops the last character, the terminating NUL as a rule.
        return line + '"' + escaped(text_of(data[:max(len(data) // 2 - 1, 0) * 2])) + '"'
    if kind == REG_DWORD and data:
        return line + "dword:%08x" % int.from_bytes(data[:4].ljust(4, b"\0"), "little")
    prefix = "hex:" if kind == REG_BINARY else f"hex({kind:x}):"
    return line + prefix + ",".join(f"{b:02x}" for b in data)


# --- settings written before the emulated system starts ---

def saved_string(text, specials='"'):
    """A name or string in the saved form's escapes."""
    return "".join("\\" + c if c == "\\" or c in specials else
                   c if 32 <= ord(c) < 127 else "\\x%04x" % ord(c) for c in text)


def with_values(saved, key, values, stamp):
    """The saved text of one branch (user.reg or system.reg) with values set under
    key (relative to the branch): {name: string, or None to remove it}. The
    emulator reads a key's second section as more of the same key."""
    sections = saved.rstrip("\n").split("\n\n")
    for i, section in enumerate(sections):
        if section.startswith("[") and unescape(section, 1, "]")[0].lower() == key.lower():
            sections[i] = without_values(section, {n.lower() for n in values})
    added = [f'"{saved_string(n)}"="{saved_string(d)}"' for n, d in values.items() if d is not None]
    if added:
        sections.append("\n".join([f"[{saved_string(key, '[]')}] {stamp}"] + added))
    return "\n\n".join(sections) + "\n"


def without_values(section, names):
    lines, kept, skipping = section.split("\n"), [], False
    for line in lines:
        if skipping:
            skipping = line.endswith("\\")
            continue
        named = line.startswith('"') and unescape(line, 1, '"')[0].lower() in names
        default = line.startswith("@=") and "" in names
        if named or default:
            skipping = line.endswith("\\")
            continue
        kept.append(line)
    return "\n".join(kept)
