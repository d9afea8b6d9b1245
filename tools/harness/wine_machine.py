"""An emulated Windows 98 or Me machine (Wine) to run setup.exe on.

The shipped setup.exe runs in a 32-bit prefix; its 64-bit twin, which the
tests build where the kernel runs no 32-bit code, in a 64-bit prefix laid out
as Windows 98 and Me lay out theirs.

One machine is one Wine prefix, copied from a template, with its own Wine
session and its own virtual display. The session is kept from before the run
to after the checks: a new session would boot the emulated system, which runs
and removes the RunServicesOnce entries the checks look at.
"""

import dataclasses
import fcntl
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from tools.harness import call_trace, wine_registry

SETUP_CAPTION = "Vantrel USB Smart Card Reader Setup Utility"
BOX_CAPTIONS = (SETUP_CAPTION, "Error!!!", "Warning!!!")
KEYS = {"yes": "y", "no": "n", "ok": "Return"}
# The system's own key whose values its next start runs, each once, and removes.
RUN_SERVICES_ONCE = r"HKLM\Software\Microsoft\Windows\CurrentVersion\RunServicesOnce"
# The system's own list of what Add/Remove Programs can remove.
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
WINE64_LOADER = "/usr/lib/wine/wine64"  # Debian's wine64, off the PATH
MARLETT = Path("/usr/share/wine/fonts/marlett.ttf")  # Debian's fonts-wine, which wine needs
# How many times slower than natively Wine runs here: in an emulated PC
# (emulated_pc.py) every wait for the emulated system stretches by it.
SLOWDOWN = float(os.environ.get("WINE_TIME_SCALE", "1"))


def seconds(native):
    """A wait that takes native seconds where Wine runs natively."""
    return native * SLOWDOWN


def prefix_folder(path):
    """Where the Wine prefix meant for path lives: there, or at the same path
    under WINE_PREFIXES, a folder on the system's own disk (in an emulated PC,
    whose shared folders are too slow for Wine)."""
    home = os.environ.get("WINE_PREFIXES")
    path = Path(path).resolve()
    return Path(home + str(path)) if home else path


def arch_of(program):
    """"win64" for a 64-bit Windows program (the twin and its stand-ins), else "win32"."""
    with open(program, "rb") as exe:
        header = exe.read(4096)
    pe = int.from_bytes(header[0x3C:0x40], "little")
    return "win64" if header[pe + 4:pe + 6] == b"\x64\x86" else "win32"


def loader(arch):
    """The command that starts a program of arch: in a 64-bit prefix the 64-bit
    loader itself, so that the system's own programs (reg) are 64-bit ones and
    see the registry as the twin does, also where 32-bit Wine is installed."""
    return WINE64_LOADER if arch == "win64" and Path(WINE64_LOADER).exists() else "wine"


def base_env(prefix, arch="win32"):
    env = dict(os.environ)
    env.update(WINEPREFIX=str(prefix), WINEARCH=arch, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    env.pop("DISPLAY", None)
    return env


def make_template(prefix, arch="win32"):
    """A fresh prefix, booted once; copies of it start every machine.
    Made once, under a lock, however many runs ask for it at the same time; in
    an emulated PC, the one made with it (WINE_TEMPLATE), linked."""
    prefix = prefix_folder(prefix)
    prefix.parent.mkdir(parents=True, exist_ok=True)
    with open(prefix.parent / (prefix.name + ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if (prefix / ".complete").exists():
            return
        if prefix.is_symlink():
            prefix.unlink()
        shutil.rmtree(prefix, ignore_errors=True)
        made = os.environ.get("WINE_TEMPLATE")  # a 32-bit one, on the machines' disk
        if made and arch == "win32" and (Path(made) / ".complete").exists():
            prefix.symlink_to(made)  # machines link to its libraries there
            return
        boot_prefix(prefix, arch)
        (prefix / ".complete").touch()


# The folders of the emulator's own libraries, nine tenths of a prefix, which
# nothing the tests run writes to: a machine links to the template's files there.
LINKED_FOLDERS = ("drive_c/windows/system32/", "drive_c/windows/syswow64/")


def copy_prefix(template, prefix):
    """A machine's prefix from the template: the emulator's libraries linked,
    every other file copied (the registry files are written in place)."""
    subprocess.run(["cp", "-al", str(template), str(prefix)], check=True)
    for folder, _, files in os.walk(prefix):  # never into a drive's link
        inside = Path(folder).relative_to(prefix).as_posix() + "/"
        if inside.startswith(LINKED_FOLDERS):
            continue
        for name in files:
            path = Path(folder) / name
            if not path.is_symlink():
                copy = path.with_name(name + ".copy")
                shutil.copy2(path, copy)
                copy.replace(path)


def boot_prefix(prefix, arch="win32"):
    """Makes a fresh prefix and boots it once: what a template is. A 64-bit
    prefix gets the Windows directory's system folder, which Windows 98 and Me
    have and a 64-bit prefix lacks where no 32-bit Wine is installed."""
    env = base_env(prefix, arch)
    subprocess.run(["wineboot", "-i"], env=env, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, check=True)
    (Path(prefix) / "drive_c" / "windows" / "system").mkdir(exist_ok=True)


def copy_media(source, media, with_scard98=True):
    """A working copy of installation media laid out as D:\ (WIN98, SCard98)."""
    shutil.rmtree(media, ignore_errors=True)
    shutil.copytree(source, media, symlinks=False)
    if not with_scard98:
        shutil.rmtree(Path(media) / "SCard98", ignore_errors=True)


def earlier_edition(media, folder):
    """The media with an earlier edition of the driver package: every file of
    WIN98 but setup.exe differs, the monitor in size too (a stand-in with bytes
    after it still runs)."""
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(media, folder)
    for path in (Path(folder) / "WIN98").iterdir():
        if path.is_file() and path.name.lower() != "setup.exe":
            path.chmod(path.stat().st_mode | 0o200)
            path.write_bytes(path.read_bytes() + b"\r\nan earlier edition\r\n")
    return Path(folder)


def rename_lines(path):
    """The [rename] lines of a WININIT.INI (or the WININIT.BAK it became)."""
    lines, inside = [], False
    text = Path(path).read_text(encoding="latin-1") if Path(path).exists() else ""
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("["):
            inside = line.lower() == "[rename]"
        elif inside and line:
            lines.append(line)
    return lines


def press_on_cd(media):
    """Makes every file of the media read-only, as every file on a CD is: the
    emulator shows a file no one may write as read-only."""
    for path in Path(media).rglob("*"):
        if path.is_file():
            path.chmod(path.stat().st_mode & ~0o222)


# The reader and its hub as a system knows them once they were plugged in.
PLUGGED_IN = [(r"HKLM\Enum\USB\VID_1E2D&PID_4182\5&1A2B&0&1", "Driver", "USB"),
              (r"HKLM\Enum\USB\VID_1E2D&PID_4181\5&1A2B&0&2", "Driver", "USB")]

# Keys the emulator writes on its own: its display driver's when a program
# first opens a window, its service manager's count when a service starts, and
# its devices' and drives' when a new session starts.
EMULATOR_KEYS = re.compile(r"^\[HKEY_LOCAL_MACHINE\\(System\\CurrentControlSet\\Control\\Video|"
                           r"Hardware\\DEVICEMAP\\VIDEO|"
                           r"System\\CurrentControlSet\\Control\\ServiceCurrent\]|"
                           r"System\\CurrentControlSet\\Control\\Class\\|"
                           r"System\\MountedDevices\])", re.I)


def without_emulator_keys(export):
    """A registry export less the keys the emulator writes on its own."""
    sections = export.split("\n\n")
    return "\n\n".join(s for s in sections if not EMULATOR_KEYS.match(s))


# The setup's boxes by their texts ("%s" stands for a path), so that an
# account of a run names each box.
BOX_TEXTS = {
    "This program will install the driver of Vantrel USB Smart Card Reader\n": "welcome question",
    'Warning!!!   Change file "%s" attribute failed!': "attribute warning",
    'Copy file "%s" to "%s" failed\n': "copy failure",
    "SmartCard Base Component install Failed!.\n": "base components failure",
    "You must restart your computer before the new hardware will take effect. Do you want to "
    "reboot the system?": "restart question",
    "This setup is for Windows 98 and Windows Me. Nothing has been changed on this computer.\n":
        "refusal on Windows NT",
    "Remove the Vantrel USB Smart Card Reader driver from this computer?\n": "removal question",
    "The Vantrel USB Smart Card Reader driver is not installed on this computer.\n":
        "nothing to remove",
}
# What MessageBoxA returns, as the answers are named.
RESULTS = {1: "ok", 2: "cancel", 6: "yes", 7: "no"}
MB_YESNO = 4
# Each box's text as the box draws it, and MessageBoxA's calls and returns;
# and, so that setup.exe's own status is known however it was started, the
# C runtime's calls that name its thread and end it.
BOX_TRACE = "trace+msgbox,+relay"
TRACED_CALLS = "user32.MessageBoxA;msvcrt.__getmainargs;msvcrt.exit"
TRACE_EXIT = r"^{thread}:Call (?:msvcrt\.exit|KERNEL32\.ExitProcess)\(([0-9a-f]+)\)"


def exit_status(trace):
    """setup.exe's exit status as its trace records it: the status it ended
    with on the thread that asked the C runtime for its arguments, its only
    thread; None while it has not ended that way."""
    main = re.search(r"^([0-9a-f]+):Call msvcrt\.__getmainargs\(", trace, re.M)
    if main is None:
        return None
    ends = re.findall(TRACE_EXIT.format(thread=main.group(1)), trace, re.M)
    return int(ends[-1], 16) & 0xFFFFFFFF if ends else None  # an int, in a 64-bit process too


class NotListed(Exception):
    """Add/Remove Programs' own list has no entry of that name; the message says so."""


class StartedByTheClient:
    """setup.exe as the system's Add/Remove Programs client started it: running
    while the client or setup.exe's own process runs, and ended with setup.exe's
    own status, which its trace records: the client ends with 0 whatever the
    removal ended with, and may return before the program it started."""

    def __init__(self, machine, client, program, trace):
        self.machine, self.client, self.program, self.trace = machine, client, program, trace

    def poll(self):
        if self.client.poll() is None or self.machine.is_running(self.program):
            return None
        return self.returncode

    @property
    def returncode(self):
        return exit_status(self.trace.read_text(errors="replace"))

    def kill(self):
        self.client.kill()
        subprocess.run(["wineserver", "-k"], env=self.machine.env(), capture_output=True)


def box_name(text):
    for pattern, name in BOX_TEXTS.items():
        if re.fullmatch(".*".join(re.escape(part) for part in pattern.split("%s")), text,
                        re.S):
            return name
    return None


def windows_arguments(command_line, with_program=False):
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
    return words if with_program else words[1:]


class BoxError(Exception):
    """A box that could not be answered as meant; the message names it."""


@dataclasses.dataclass
class TracedBox:
    thread: str
    text: str
    asks: bool            # Yes/No, not OK
    returned: int = None  # what MessageBoxA returned; None while it waits


TRACE_CALL = re.compile(r"^([0-9a-f]+):Call user32\.MessageBoxA\((.*)\) ret=[0-9a-f]+$")
TRACE_OPEN = re.compile(r'^([0-9a-f]+):trace:msgbox:MSGBOX_OnInit L"(.*)"\s*$')
TRACE_RETURN = re.compile(r"^([0-9a-f]+):Ret  user32\.MessageBoxA\(\) retval=([0-9a-f]+) ")


def traced_boxes(trace):
    """The boxes a run's trace shows opened, in the order they opened, each
    with its return once MessageBoxA has returned on its thread; and the
    texts of the boxes asked for that have not opened yet."""
    boxes, asked, waiting = [], {}, {}
    for line in trace.splitlines():
        call, opened, returned = (TRACE_CALL.match(line), TRACE_OPEN.match(line),
                                  TRACE_RETURN.match(line))
        if call:
            arguments = call_trace.relay_arguments(call.group(2))
            asked[call.group(1)] = (arguments[1][1], arguments[3])
        elif opened:
            thread = opened.group(1)
            _, box_type = asked.pop(thread, (None, MB_YESNO))
            box = TracedBox(thread, call_trace.decode_debug_string(opened.group(2), 4),
                            box_type & 0xF == MB_YESNO)
            boxes.append(box)
            waiting[thread] = box
        elif returned and returned.group(1) in waiting:
            value = int(returned.group(2), 16) & 0xFFFFFFFF  # an int, in a 64-bit process too
            waiting.pop(returned.group(1)).returned = value - (1 << 32) if value >> 31 else value
    return boxes, [text for text, _ in asked.values()]


@dataclasses.dataclass
class Box:
    caption: str
    text: str
    intended: str         # the answer given: "yes", "no" or "ok"
    screenshot: Path
    name: str             # what the box is, by its text
    returned: int = None  # what the system returned for it

    @property
    def answer(self):
        """The answer the system got."""
        return RESULTS.get(self.returned, f"none ({self.returned})")


@dataclasses.dataclass
class Run:
    status: int
    boxes: list
    calls: list = None        # the setup's system calls, when recorded
    started_on: object = None  # what the machine's start_recorder kept of the start
    unused_answers: list = dataclasses.field(default_factory=list)

    def answer_problems(self):
        """Each box whose answer the system got otherwise than meant, and any
        answers meant for boxes that never showed."""
        problems = [f"box {i} ({b.name}): answered {b.intended.capitalize()}, the system got "
                    f"{b.answer.capitalize()}"
                    for i, b in enumerate(self.boxes, 1) if b.answer != b.intended]
        if self.unused_answers:
            problems.append(f"{len(self.boxes) + len(self.unused_answers)} answers were given "
                            f"and {len(self.boxes)} boxes shown: "
                            f"{', '.join(self.unused_answers)} not used")
        return problems


class WineMachine:
    def __init__(self, workdir, template, standin, windows="me"):
        self.workdir = Path(workdir).resolve()
        self.standin = Path(standin)
        self.saver = self.standin.with_name("registry_saver.exe")
        self.arch = arch_of(self.standin)
        self.prefix = prefix_folder(self.workdir / "prefix")
        self.template = prefix_folder(template)
        self.windows = windows
        self.display = None
        self.xvfb = None
        self.standin_log = self.workdir / "standins.log"
        self.screenshots = self.workdir / "boxes"
        self.record_calls = False
        # With record_calls: called as start_recorder(machine, media, arguments,
        # command_line, exits) just before each run, its result kept with the run.
        self.start_recorder = None
        self.just_read = None  # a registry read that the next registry() may reuse, once
        self.runs = []
        self.digests = {}  # file_tree's, by file status

    # --- life cycle ---

    def start(self, values=()):
        """Starts the machine's session, with (key, name, data) values in its
        registry from the start."""
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.workdir.mkdir(parents=True, exist_ok=True)
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        copy_prefix(self.template.resolve(), self.prefix)
        self.screenshots.mkdir(exist_ok=True)
        self.preset([
            (r"HKCU\Software\Wine", "Version",
             {"98": "win98", "me": "winme", "xp": "winxp"}[self.windows]),
            # Windows draws its own frames and caption bars, as Windows 98 and
            # Me do, so that a box's screenshot shows its caption: no window
            # manager runs on the virtual display to draw them.
            (r"HKCU\Software\Wine\X11 Driver", "Decorated", "N"),
            # The trace shows each box's calls and return, and with
            # record_calls every call the setup makes.
            *(call_trace.RECORDING if self.record_calls else
              [(r"HKCU\Software\Wine\Debug", "RelayInclude", TRACED_CALLS)]),
            *values])
        self.start_display()
        subprocess.run(["wineserver", "-p"], env=self.env(), check=True)
        # The deletion command the setup finds on the system's search path.
        shutil.copy(self.standin, self.windows_dir() / "deltree.exe")
        # The glyphs of the caption buttons (the close button's cross) come
        # from the Marlett font, which the emulator ships but loads only from
        # the system's Fonts folder; without it the close button shows "r".
        if MARLETT.exists():
            shutil.copy(MARLETT, self.windows_dir() / "Fonts" / MARLETT.name)
        self.open_desktop()

    def open_desktop(self):
        """Brings the emulated desktop up with a first window before setup.exe
        runs, so that its boxes show. Under load the desktop's start can outlast
        a first window's wait: the window is tried again, a second apart, for
        up to two minutes (scaled), and the emulator's last complaint says why
        the display did not come up."""
        shutil.copy(self.standin, self.workdir / "window.exe")
        deadline = time.monotonic() + seconds(120)
        while True:
            result = self.wine(str(self.workdir / "window.exe"), WINEDEBUG="-all,err+all")
            if result.returncode == 0:
                return
            complaints = [line for line in result.stderr.splitlines() if ":err:" in line]
            if time.monotonic() > deadline:
                raise RuntimeError("the emulated display does not come up: " + (
                    complaints[-1] if complaints else f"a first window ended with "
                                                      f"{result.returncode}"))
            time.sleep(seconds(1))

    def start_display(self):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0",
                                      "1024x768x24", "-nolisten", "tcp"],
                                     pass_fds=(write,), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as pipe:
            self.display = ":" + pipe.readline().strip()

    def preset(self, values):
        """Writes (key, name, data) values, data None for one removed, into the
        registry files of the prefix while no session runs: a reg command would
        be a program start for each."""
        stamp = int(time.time())
        by_key = {}
        for key, name, data in values:
            by_key.setdefault(key, {})[name] = data
        for hive, branch in (("HKCU\\", "user.reg"), ("HKLM\\", "system.reg")):
            path = self.prefix / branch
            saved = path.read_text(encoding="latin-1")
            for key, named in by_key.items():
                if key.startswith(hive):
                    saved = wine_registry.with_values(saved, key[len(hive):], named, stamp)
            path.write_text(saved, encoding="latin-1")

    def restart(self):
        """The system's next start: every program of the session ends, and a
        new session boots the emulated system, which applies WININIT.INI and
        starts what RunServicesOnce names (the monitor stays running)."""
        subprocess.run(["wineserver", "-k"], env=self.env(), capture_output=True)
        subprocess.run(["wineserver", "-w"], env=self.env(), capture_output=True)
        subprocess.run(["wineserver", "-p"], env=self.env(), check=True)
        self.open_desktop()

    def session_programs(self):
        """The Windows paths of the programs this machine's session runs."""
        running = []
        for proc in Path("/proc").iterdir():
            try:
                environ = (proc / "environ").read_bytes().split(b"\0")
                argv0 = (proc / "cmdline").read_bytes().split(b"\0")[0].decode("latin-1")
            except OSError:
                continue
            if ("WINEPREFIX=" + str(self.prefix)).encode() in environ:
                running.append(argv0)
        return running

    def running_programs(self):
        """The Windows paths of the programs of this machine's session that
        run from the Windows directory's system folder, as the monitor does."""
        return sorted({program for program in self.session_programs()
                       if program.lower().startswith("c:\\windows\\system\\")})

    def is_running(self, program):
        """Whether a program of this session runs from the Windows path program."""
        return program.lower() in (path.lower() for path in self.session_programs())

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env(), capture_output=True)
        if self.xvfb is not None:
            self.xvfb.terminate()
            self.xvfb.wait()

    def remove(self):
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.saved_registry().unlink(missing_ok=True)

    def env(self, **extra):
        env = base_env(self.prefix, self.arch)
        if self.display:
            env["DISPLAY"] = self.display
        env["STANDIN_LOG"] = "Z:" + str(self.standin_log).replace("/", "\\")
        env.update(extra)
        return env

    # --- the emulated system ---

    def windows_dir(self):
        return self.prefix / "drive_c" / "windows"

    def unix_path(self, windows_path):
        """The file behind a C:\\... path, found without regard to case."""
        assert windows_path[:3].upper() == "C:\\", windows_path
        path = self.prefix / "drive_c"
        for part in windows_path[3:].split("\\"):
            if not part:
                continue
            match = [p for p in path.iterdir() if p.name.lower() == part.lower()] \
                if path.is_dir() else []
            path = match[0] if match else path / part
        return path

    def map_drive(self, letter, folder):
        link = self.prefix / "dosdevices" / f"{letter.lower()}:"
        if link.is_symlink() or link.exists():
            link.unlink()
        link.symlink_to(Path(folder).resolve())

    def wine(self, *args, **env):
        """Runs a program of the session (with these settings added to its
        environment) and returns its status, output and the emulator's messages."""
        # Output goes through files, not pipes: the first program of a session
        # starts the system's services, which keep a pipe open for ever.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run([loader(self.arch), *args], env=self.env(**env), stdout=out,
                                    stderr=err)
            out.seek(0)
            err.seek(0)
            result.stdout = out.read().decode("utf-8", errors="replace").replace("\r\n", "\n")
            result.stderr = err.read().decode("utf-8", errors="replace")
        return result

    def reg(self, *args):
        return self.wine("reg", *args)

    def registry(self):
        """HKEY_LOCAL_MACHINE as it stands, saved whole by one program start, or
        as just_read holds it, read a moment ago with nothing run since (once)."""
        if self.just_read is not None:
            registry, self.just_read = self.just_read, None
            return registry
        saved = self.saved_registry()
        result = self.wine(str(self.saver), "Z:" + str(saved).replace("/", "\\"))
        if result.returncode != 0:
            raise RuntimeError("the emulated registry could not be saved: error "
                               f"{result.returncode}")
        return wine_registry.Registry(saved.read_text(encoding="latin-1"))

    def saved_registry(self):
        return self.prefix.with_name(self.prefix.name + ".registry")

    def query(self, key):
        """The values of a key as {name: (type, data)}, or None when it is absent."""
        return self.registry().query(key)

    def export_registry(self, path):
        """HKEY_LOCAL_MACHINE as the system's regedit exports it (less its
        volatile keys, which the emulator alone writes), kept in path, for
        before/after comparisons."""
        export = self.registry().export()
        Path(path).write_text(export, encoding="utf-16")
        return export

    def file_tree(self):
        """Every file under drive C as {relative path: (size, digest)}. A file is
        read again only when its status changed since an earlier tree: any write
        changes its change time (half a gigabyte, seconds in an emulated PC)."""
        tree = {}
        root = self.prefix / "drive_c"
        for path in root.rglob("*"):
            if path.is_file() and not path.is_symlink():
                status = path.stat()
                known = (str(path), status.st_ino, status.st_size, status.st_mtime_ns,
                         status.st_ctime_ns)
                if known not in self.digests:
                    self.digests[known] = hashlib.sha1(path.read_bytes()).hexdigest()
                tree[str(path.relative_to(root))] = (status.st_size, self.digests[known])
        return tree

    def standin_records(self):
        records = []
        for log in (self.standin_log, self.prefix / "drive_c" / "standin.log"):
            if log.exists():
                for line in log.read_text(errors="replace").splitlines():
                    name, command, status = line.split("|")
                    records.append((name, command, int(status)))
        return records

    def wait_until(self, condition, native_seconds=20.0):
        deadline = time.time() + seconds(native_seconds)
        while time.time() < deadline:
            if condition():
                return True
            time.sleep(0.25)
        return condition()

    # --- running setup.exe ---

    def run_setup(self, media, arguments=(), answers=(), exits=None, command_line=None,
                  timeout=120):
        """Runs D:\\WIN98\\setup.exe with media as drive D:, answering each box
        with the next of answers ("yes", "no", "ok"; an OK box is answered "ok"
        when none is left), or, answers being {box name: answer}, with its
        own. Each box's answer is the one the system returned;
        Run.answer_problems() tells where that is not the one meant. With
        record_calls set on the machine, the run's system calls are recorded
        (call_trace), and what the start_recorder kept of the machine it started on.

        command_line: run through the starter stand-in with this exact Windows
        command line, so that quotation marks reach setup.exe as written."""
        win98 = Path(media) / "WIN98"
        if command_line is None:
            argv = ["setup.exe", *arguments]
        else:
            shutil.copy(self.standin, win98 / "starter.exe")
            argv = ["starter.exe", command_line]
        return self.run_started(media, arguments, command_line, exits, answers, timeout,
                                lambda start: start(argv))

    def remove_through_add_remove_programs(self, media, display_name, answers=(),
                                           timeout=120):
        """Removes display_name as a person does: finds its entry by the name
        Add/Remove Programs' own list shows, and has the system's own client
        (uninstaller --remove KEY) run the entry's UninstallString, with media
        as drive D:. The boxes are answered and the run recorded as run_setup
        does; its status is setup.exe's own, and it lasts until setup.exe's own
        process has ended. NotListed where the list has no such entry."""
        self.log("listing Add/Remove Programs' entries")
        listed = self.wine("uninstaller", "--list").stdout.splitlines()
        self.log(f"listed: {listed}")
        keys = [key for key, _, name in (line.partition("|||") for line in listed)
                if name == display_name]
        if not keys:
            raise NotListed(f"Add/Remove Programs' own list lacks the {display_name}: it "
                            f"lists {len(listed)} entr{'y' if len(listed) == 1 else 'ies'}, "
                            "none of that name")
        registry = self.registry()
        command = (registry.query(UNINSTALL + "\\" + keys[0]) or {}).get("UninstallString")
        if not command or not command[1].strip():
            raise NotListed(f"Add/Remove Programs lists the {display_name}, but its entry "
                            "names no command to remove it with (no UninstallString)")
        command = command[1]
        program = windows_arguments(command, with_program=True)[0]
        self.just_read = registry  # the start recorder's read, nothing having run since
        return self.run_started(
            media, (), command, None, answers, timeout,
            lambda start: StartedByTheClient(self, start(["uninstaller", "--remove", keys[0]]),
                                             program, self.workdir / "trace.txt"))

    def run_started(self, media, arguments, command_line, exits, answers, timeout, start):
        """Runs what start starts, given a function that starts a program of the
        session with the run's settings, from D:\\WIN98 with media as drive D:;
        answers its boxes and returns the run."""
        self.map_drive("d", media)
        win98 = Path(media) / "WIN98"
        started_on = None
        if self.record_calls and self.start_recorder is not None:
            started_on = self.start_recorder(self, media, arguments, command_line, exits)
        self.just_read = None
        env = self.env(WINEDEBUG=BOX_TRACE)
        for name, status in (exits or {}).items():
            env[f"STANDIN_EXIT_{name.upper()}"] = str(status)
        trace = self.workdir / "trace.txt"
        self.log("starting the run")
        with open(trace, "w") as trace_file:
            process = start(lambda argv: subprocess.Popen(
                [loader(self.arch), *argv], cwd=win98, env=env, stdout=subprocess.DEVNULL,
                stderr=trace_file))
        boxes, unused = self.answer_boxes_until_ended([process], trace, answers, timeout)
        self.log(f"the run ended with {process.returncode}")
        if "nodrv_CreateWindow" in trace.read_text(errors="replace"):
            raise RuntimeError(f"the emulated display failed during the run (see {trace})")
        run = Run(process.returncode, boxes, unused_answers=unused)
        if self.record_calls:
            run.calls = call_trace.parse_relay(trace.read_text(errors="replace"))
            run.started_on = started_on
        self.runs.append(run)
        return run

    def run_setups_together(self, media, arguments, count=2, slow=None, timeout=120):
        """Starts setup.exe count times at once, as a double click on a slow
        drive does, and returns their exit statuses in the order they were
        started and any boxes that showed, each OK box answered OK. slow:
        {package: seconds} its extraction takes, so that the runs overlap."""
        self.map_drive("d", media)
        env = self.env(WINEDEBUG=BOX_TRACE)
        for name, seconds in (slow or {}).items():
            env[f"STANDIN_SECONDS_{name.upper()}"] = str(seconds)
        trace = self.workdir / "trace.txt"
        with open(trace, "w") as trace_file:
            processes = [subprocess.Popen([loader(self.arch), "setup.exe", *arguments],
                                          cwd=Path(media) / "WIN98", env=env,
                                          stdout=subprocess.DEVNULL, stderr=trace_file)
                         for _ in range(count)]
        boxes, _ = self.answer_boxes_until_ended(processes, trace, [], timeout)
        return [p.returncode for p in processes], boxes

    def answer_boxes_until_ended(self, processes, trace, answers, timeout):
        """Answers each box the trace shows opening, once it is drawn, with its
        answer (as run_setup takes them), until every process has ended;
        returns the boxes, each with the answer the system returned, and the
        answers left unused. A box that cannot be answered ends the run with
        BoxError."""
        started, boxes = time.time(), []
        by_name = answers if isinstance(answers, dict) else None
        pending = [] if by_name is not None else list(answers)
        timeout = seconds(timeout)

        def stop(error):
            for p in processes:
                p.kill()
            raise error

        while any(p.poll() is None for p in processes):
            traced, unopened = traced_boxes(trace.read_text(errors="replace"))
            if len(traced) > len(boxes):
                box = traced[len(boxes)]
                number = len(boxes) + 1
                name = box_name(box.text)
                if name is None:
                    stop(BoxError(f"box {number} shows a text the setup does not have: "
                                  f"{box.text!r}"))
                intended = by_name.get(name) if by_name is not None else \
                    pending.pop(0) if pending else None
                if intended is None and box.asks:
                    stop(BoxError(f"box {number} ({name}) asks Yes or No, and no answer is "
                                  "left for it"))
                try:
                    boxes.append(self.answer_box(box, intended or "ok", number, name, trace))
                except BoxError as error:
                    stop(error)
            elif time.time() - started > timeout:
                if unopened:
                    stop(BoxError(f"box {len(boxes) + 1} "
                                  f"({box_name(unopened[0]) or repr(unopened[0])}) was asked "
                                  f"for and never appeared within {timeout} s"))
                stop(TimeoutError(f"setup.exe did not end within {timeout} s"))
            time.sleep(0.15)
        traced, _ = traced_boxes(trace.read_text(errors="replace"))
        for box, answered in zip(traced, boxes):
            answered.returned = box.returned
        return boxes, pending

    def answer_box(self, box, intended, number, name, trace):
        """Captures the box once it is drawn, then presses the answer's key once.
        The emulator takes about 2 s to act on a key sent to a box. Only while
        the trace says the box still waits, long after that, and the box is
        still shown, is the key pressed again: a key pressed after a box has
        returned would stay queued and answer the next box. Each press goes
        to the harness log beside the trace."""
        window = self.wait_for_box_window(box, number, name)
        shot = self.screenshots / f"box{number}.png"
        time.sleep(seconds(0.3))  # let the box draw before it is captured
        for _ in range(10):
            subprocess.run(["import", "-display", self.display, "-window", window, str(shot)],
                           capture_output=True)
            if shot.exists():
                break
            time.sleep(seconds(0.3))
        caption = self.window_name(window)
        for press in range(1, 4):
            self.log(f"box {number} ({name}): pressing {KEYS[intended]} in window {window}, "
                     f"press {press}")
            subprocess.run(["xdotool", "key", "--window", window, KEYS[intended]],
                           env=self.env(), capture_output=True)
            if self.wait_until(lambda: self.has_returned(trace, number), 20):
                self.log(f"box {number}: returned")
                return Box(caption, box.text, intended, shot, name)
            shown = self.box_windows()
            self.log(f"box {number}: not returned; box windows shown: {shown}")
            if window not in shown:
                break
        raise BoxError(f"box {number} ({name}) did not take its answer, {intended}, in "
                       f"{press} press(es): {'still shown' if window in shown else 'gone'}, and "
                       f"the system did not return from it (see {self.workdir / 'harness.log'})")

    def log(self, line):
        with open(self.workdir / "harness.log", "a") as log:
            log.write(f"{time.strftime('%H:%M:%S')} {line}\n")

    def wait_for_box_window(self, box, number, name):
        """The window of the box the trace shows opening: an earlier box's has
        gone by then, since its call has returned."""
        found = []

        def shown():
            found[:] = self.box_windows()
            return bool(found)

        if not self.wait_until(shown, 20):
            raise BoxError(f"box {number} ({name}) opened but never showed on the screen")
        return found[0]

    @staticmethod
    def has_returned(trace, number):
        traced, _ = traced_boxes(trace.read_text(errors="replace"))
        return len(traced) >= number and traced[number - 1].returned is not None

    def box_windows(self):
        """The message boxes on the screen now; Wine may keep a closed box's window unmapped."""
        found = []
        for caption in BOX_CAPTIONS:
            result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                     "^" + re.escape(caption) + "$"],
                                    env=self.env(), capture_output=True, text=True)
            found += [w for w in result.stdout.split() if w not in found]
        return found

    def window_name(self, window):
        result = subprocess.run(["xdotool", "getwindowname", window], env=self.env(),
                                capture_output=True, text=True)
        return result.stdout.rstrip("\n")


if __name__ == "__main__":
    # python3 -m tools.harness.wine_machine template PATH: makes a 32-bit template prefix at PATH.
    if sys.argv[1:2] != ["template"] or len(sys.argv) != 3:
        sys.exit("usage: python3 -m tools.harness.wine_machine template PATH")
    make_template(sys.argv[2])
