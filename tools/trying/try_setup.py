"""Tries setup.exe on a fresh emulated Windows 98 or Me and reports what it did.

Run through ./try-setup at the top of the repository; --help tells the options.
"""

import argparse
import concurrent.futures
import dataclasses
import datetime
import hashlib
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

from tools import ROOT
from tools.harness import wine_machine
from tools.host import emulated_pc, host_packages, host_route
from tools.trying import disc_image, try_report

BUILD_PACKAGES = ["cmake", "make", "g++", "python3", "g++-mingw-w64-i686"]
WINE_PACKAGES = (ROOT / "tools" / "host" / "wine-packages").read_text().split()


class Phases:
    """One line per phase, with its time, so that no long phase is silent."""

    def __init__(self):
        self.started = None
        self.name = None

    def begin(self, name):
        self.end()
        self.name, self.started = name, time.time()
        print(f"[{time.strftime('%H:%M:%S')}] {name} ...", flush=True)

    def end(self, note=""):
        if self.name:
            print(f"           {self.name}: {time.time() - self.started:.1f} s {note}".rstrip(),
                  flush=True)
        self.name = None


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="try-setup",
        description="Runs setup.exe on a fresh emulated Windows 98 or Me (32-bit Wine) with "
                    "installation media as drive D:, answers its message boxes, and reports "
                    "what it did to the system: report.md and report.html in the output folder.",
        epilog="try-setup ends with 0 when it ran setup.exe and wrote the report, whatever "
               "setup.exe ended with (the report says; --expect-status makes that try-setup's "
               "own); 1 when a run could not go on, or a box did not get the answer meant for "
               "it; 2 for bad input, before anything is built or started; 3 when setup.exe did "
               "not end with the status --expect-status names. On a host whose kernel runs no "
               "32-bit x86 program it runs the same way inside an emulated PC, made once for "
               "the machine; EMULATED_PC=1 chooses that on any host.")
    parser.add_argument("--windows", choices=["98", "me"],
                        help="the emulated system (default: me)")
    parser.add_argument("--silent", action="store_true",
                        help='start setup.exe with "-s", as another installer would')
    parser.add_argument("--matrix", action="store_true",
                        help="run on Windows 98 and Me, interactive and silent, a second "
                             "silent run on Windows Me, an interactive upgrade and an "
                             "interactive removal on Windows Me, and on Wine's Windows "
                             "XP mode silent, and write overview.md and overview.html beside "
                             "the eight reports")
    parser.add_argument("--answer-welcome", choices=["yes", "no"], default="yes",
                        help="the answer to the welcome question, or to the removal's "
                             "(default: yes)")
    parser.add_argument("--answer-restart", choices=["yes", "no"], default="yes",
                        help="the answer to the restart question (default: yes)")
    parser.add_argument("--media", metavar="DIR|IMAGE",
                        help="installation media laid out as D:\\: DIR/WIN98 with the driver "
                             "package (and setup.exe, else the one built here is used), "
                             "DIR/SCard98 with scbase.exe and smclib.exe; or the disc's image "
                             "(ISO 9660, with or without Joliet), read as the drive reads the "
                             "pressed disc (default: the sample media the build makes)")
    parser.add_argument("--expect-status", type=int, metavar="N",
                        help="end with status 3 when setup.exe's last run does not end with N, "
                             "so that a script fails on it")
    parser.add_argument("--twice", action="store_true",
                        help="run setup.exe a second time on the same system, as a reinstall "
                             "from the disc does, and report both runs")
    parser.add_argument("--upgrade", action="store_true",
                        help="install an earlier edition of the media first (silently, every "
                             "package file differing), restart the emulated system, then run "
                             "setup.exe from the media while the earlier monitor runs, and "
                             "restart again; the report shows both runs and each start")
    parser.add_argument("--remove", action="store_true",
                        help="install silently first and restart the emulated system, then "
                             "remove as a person does, through the system's own Add/Remove "
                             "Programs list (--answer-welcome answers the removal's "
                             "question), or with --silent as a deployer does, typing the "
                             "entry's command with \"-s\", which Add/Remove Programs cannot "
                             "give; and restart again; the report shows both runs and each "
                             "start")
    parser.add_argument("--writable-media", action="store_true",
                        help="serve the media as they are, not read-only as from a CD")
    parser.add_argument("--out", metavar="DIR",
                        help="the folder for the report (default: build/try-setup/TIME)")
    parser.add_argument("--build", metavar="DIR",
                        help="use this existing Windows build folder, installing and building "
                             "nothing (for tests)")

    def error(message):  # one line, status 2, before anything is built or started
        print(f"try-setup: {message}", file=sys.stderr)
        sys.exit(2)

    parser.error = lambda message: error(f"{message} (try-setup --help lists the options)")
    layout = ("media are laid out as the disc's D:\\: DIR/WIN98 with the driver package, "
              "DIR/SCard98 with scbase.exe and smclib.exe")
    args = parser.parse_args(argv)
    if args.matrix and (args.windows or args.silent or args.twice or args.upgrade or args.remove):
        error("--matrix runs every system and mode: --windows, --silent, --twice, --upgrade "
              "and --remove do not go with it")
    if args.twice + args.upgrade + args.remove > 1:
        error("--twice, --upgrade and --remove each run setup.exe twice: choose one")
    if args.matrix and args.expect_status is not None:
        error("--expect-status names the status of one run: --matrix makes eight")
    args.windows = args.windows or "me"
    args.image = None
    if args.media is not None:
        media = Path(args.media)
        if media.is_file():
            try:
                args.image = disc_image.DiscImage(media)
            except (disc_image.NotAnImage, OSError) as problem:
                error(f"--media {args.media}: not a disc image: {problem}; {layout}, or the "
                      "disc's ISO 9660 image")
            if args.image.find("WIN98") not in args.image.folders:
                error(f"--media {args.media}: the image has no WIN98 folder; {layout}")
            if args.writable_media:
                error("--writable-media serves a folder as it is: an image is a pressed disc, "
                      "read-only")
        elif not media.is_dir():
            error(f"--media {args.media}: no such folder or disc image; {layout}")
        elif not (media / "WIN98").is_dir():
            error(f"--media {args.media}: it has no WIN98 folder; {layout}")
    if args.build is not None:
        # What a Windows build folder holds that a run uses.
        needed = ["setup.exe", "standin.exe", "registry_saver.exe"] + (
            [] if args.media else ["sample-media"])
        missing = [name for name in needed if not (Path(args.build) / name).exists()]
        if missing:
            error(f"--build {args.build}: no {', '.join(missing)} there; a Windows build folder "
                  "such as build/win32 holds them")
    return args


def install_tools(packages):
    """What the phase line says of the install: raises InstallError when a
    package cannot be installed."""
    installed, problem = host_packages.install(packages)
    if not installed:
        return "(all present)"
    return "(installed " + " ".join(installed) + (f"; {problem}" if problem else "") + ")"


def build():
    build_dir = ROOT / "build" / "win32"
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build_dir),
                    f"-DCMAKE_TOOLCHAIN_FILE={ROOT}/cmake/i686-w64-mingw32.cmake",
                    "-DCMAKE_BUILD_TYPE=MinSizeRel"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build_dir)], check=True, stdout=subprocess.DEVNULL)
    return build_dir


# --- comparing the system before and after ---

def parse_export(text):
    """A registry export as {key: {value name: data as exported}}."""
    keys, key, pending = {}, None, ""
    for line in text.splitlines():
        if pending:
            line, pending = pending + line.strip(), ""
        if line.endswith("\\") and key is not None and "=" in line:
            pending = line[:-1]
            continue
        header = re.match(r"^\[(.*)\]$", line)
        if header:
            key = header.group(1)
            keys[key] = {}
            continue
        value = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
        if key is not None and value:
            name = "(default)" if value.group(1) == "@" else value.group(1)[1:-1]
            keys[key][name.replace("\\\\", "\\")] = value.group(2)
    return keys


def readable(data):
    """Exported data as a person reads it: strings without the export's escapes."""
    if data.startswith('"') and data.endswith('"'):
        return data[1:-1].replace('\\"', '"').replace("\\\\", "\\")
    return data


def registry_changes(before, after):
    changes = []
    for key in sorted(set(before) | set(after), key=str.lower):
        if key not in before:
            changes.append(("key created", key, ""))
        elif key not in after:
            changes.append(("key deleted", key, ""))
            continue
        old, new = before.get(key, {}), after[key]
        for name in sorted(set(old) | set(new), key=str.lower):
            if name not in new:
                changes.append(("value deleted", f"{key} \"{name}\"", readable(old[name])))
            elif old.get(name) != new[name]:
                changes.append(("value set", f"{key} \"{name}\"", readable(new[name])))
    return changes


def file_changes(before, after):
    changes = []
    for path in sorted(set(before) | set(after), key=str.lower):
        windows_path = "C:\\" + path.replace("/", "\\")
        if path not in before:
            changes.append(("placed", windows_path, after[path][0]))
        elif path not in after:
            changes.append(("removed", windows_path, before[path][0]))
        elif before[path] != after[path]:
            changes.append(("replaced", windows_path, after[path][0]))
    return changes


def marker_package(value):
    """The package a stand-in's marker value names: ...\\Vantrel Test\\scbase "Installed"."""
    return value.split(' "')[0].rsplit("\\", 1)[-1]


def exit_status_meanings():
    """The exit status table of docs/behaviour.md, as {status: (for an
    installation, for a removal)}."""
    text = (ROOT / "docs" / "behaviour.md").read_text()
    table = text.split("## Exit status", 1)[1].split("\n## ", 1)[0]
    return {int(m.group(1)): (m.group(2).strip(), m.group(3).strip())
            for m in re.finditer(r"^\| (\d+) \| (.*?) \| (.*?) \|$", table, re.M)}


def status_meaning(status, removal, boxes):
    """What the status says of this kind of run: of the table's alternatives
    ("; or "), the one the run's boxes show it met."""
    kind = "a removal" if removal else "an installation"
    cells = exit_status_meanings().get(status)
    if cells is None:
        return "not in the exit status table"
    if cells[removal] == "—":
        return f"not a status {kind} ends with"
    answers = {box.name: box.answer for box in boxes}
    first_question = "removal question" if removal else "welcome question"
    alternatives = cells[removal].split("; or ")
    for alternative in alternatives:
        if alternative.startswith("declined") and answers.get(first_question) == "no":
            return alternative
        if alternative == "nothing to remove" and "nothing to remove" in answers:
            return alternative
    return alternatives[0]


MARKER_KEY = r"HKLM\Software\Vantrel Test"
SYSTEMS = {"98": "98", "me": "Me", "xp": "XP (Wine's NT mode)"}
# The matrix: (folder, system, silent, what runs before); the first is the one
# the others are compared with. A row with a run before it shows its own run:
# "again" runs the same media first, "upgrade" an earlier edition and a start,
# "remove" a silent installation and a start, and is itself the removal.
MATRIX = [("me-interactive", "me", False, None), ("me-silent", "me", True, None),
          ("me-silent-again", "me", True, "again"), ("me-upgrade", "me", False, "upgrade"),
          ("me-remove", "me", False, "remove"),
          ("98-interactive", "98", False, None), ("98-silent", "98", True, None),
          ("xp-silent", "xp", True, None)]
BACKUP = r"C:\windows\wininit.bak"  # what a start that applied WININIT.INI leaves
DISPLAY_NAME = "Vantrel USB Smart Card Reader"  # as Add/Remove Programs lists it
UNINSTALL_KEY = wine_machine.UNINSTALL + "\\" + DISPLAY_NAME
STARTED_BY_THE_CLIENT = ("from Add/Remove Programs' own list: the system's client ran the "
                         "entry's command")


class Quiet:
    """Phases of a run in the matrix, which prints one line per run instead."""

    def begin(self, name):
        pass

    def end(self, note=""):
        pass


def try_once(windows, silent, args, build_dir, template, out, phases, before=None):
    """Runs setup.exe on a fresh copy of the prepared system, once, or after a
    run of the same media ("again") or of an earlier edition followed by a start
    ("upgrade"), or its removal after a silent installation and a start
    ("remove"), writes the report in out, and returns what each run did."""
    shutil.rmtree(out / "machine", ignore_errors=True)
    out.mkdir(parents=True, exist_ok=True)
    media = out / "media"
    own_setup = lay_out_media(args, build_dir, media)
    if not args.writable_media:
        wine_machine.press_on_cd(media)
    machine = wine_machine.WineMachine(out / "machine", template, build_dir / "standin.exe",
                                       windows)
    machine.record_calls = True
    machine.start(wine_machine.PLUGGED_IN)
    try:
        runs = []
        if before == "upgrade":
            earlier = wine_machine.earlier_edition(media, out / "earlier-media")
            runs.append(run_and_collect(machine, earlier, True, args, out, phases, 1, True))
        elif before == "again":
            runs.append(run_and_collect(machine, media, silent, args, out, phases, 1))
        elif before == "remove":
            runs.append(run_and_collect(machine, media, True, args, out, phases, 1, True))
        runs.append(run_and_collect(machine, media, silent, args, out, phases, len(runs) + 1,
                                    before in ("upgrade", "remove"), before == "remove"))
    finally:
        machine.stop()

    command = runs[-1]["command"]
    names, title = what_was_tried(windows, silent, args.writable_media, before)
    for run, name in zip(runs, names):
        run["name"] = name
    facts = {
        "title": title,
        "command": command,
        "media": media_account(args, own_setup, build_dir),
    }
    if before == "upgrade":
        facts["media"] += "; an earlier edition of it installed and started first"
    if before == "remove":
        facts["media"] += "; installed silently from it and started first"
    report = try_report.write_report(out, facts, runs)
    machine.remove()
    return runs, report


def lay_out_media(args, build_dir, media):
    """The media as drive D: will show them, in media: the folder's copy, or the
    image's files as its file system names them. Returns the path of the
    media's own setup.exe, or None where this checkout's build stands in."""
    shutil.rmtree(media, ignore_errors=True)
    if args.image is not None:
        args.image.extract(media)
        # Windows finds D:\\WIN98 whatever its case; the harness starts it by that name.
        (media / args.image.find("WIN98")).rename(media / "WIN98")
    else:
        wine_machine.copy_media(Path(args.media) if args.media else build_dir / "sample-media",
                                media)
    own = next((p for p in (media / "WIN98").iterdir() if p.name.lower() == "setup.exe"), None)
    if own is None:
        shutil.copy(build_dir / "setup.exe", media / "WIN98" / "setup.exe")
    return own


def media_account(args, own_setup, build_dir):
    """What the report says of the media: where they came from, how they were
    served, and whether an image's setup.exe is this checkout's build."""
    if args.image is None:
        return (args.media or "sample media") + (
            "" if args.writable_media else ", read-only as on a CD")
    names = "Joliet's names" if args.image.joliet else "ISO 9660's upper-case names, no Joliet"
    if own_setup is None:
        setup = "it holds no setup.exe, so this checkout's build ran"
    else:
        built = (build_dir / "setup.exe").read_bytes()
        setup = (f"its {own_setup.name} has the same bytes as this checkout's build"
                 if own_setup.read_bytes() == built else
                 f"its {own_setup.name} differs from this checkout's build (sha1 "
                 f"{hashlib.sha1(own_setup.read_bytes()).hexdigest()[:12]} against "
                 f"{hashlib.sha1(built).hexdigest()[:12]})")
    return (f"the disc image {args.media} ({names}), read as the drive reads the pressed "
            f"disc, read-only; {setup}")


def what_was_tried(windows, silent, writable_media, before):
    """Each run's name by its kind, and the report's title, which names the
    last run and what ran before it."""
    source = "from the media folder" if writable_media else "from the CD"
    manner = "silent" if silent else "interactive"
    system = f"on Windows {SYSTEMS[windows]}"

    def titled(text):  # an interactive run is the usual one, left unmarked
        return f"Silent {text[0].lower()}{text[1:]}" if silent else text

    installation = f"Installation ({manner}, {source})"
    if before == "again":
        return ([installation, f"Reinstallation ({manner}, {source})"],
                titled(f"Reinstallation {source} {system}, after the same installation"))
    if before == "upgrade":
        return ([f"Installation of an earlier edition (silent, {source})",
                 f"Upgrade while the earlier monitor runs ({manner}, {source})"],
                titled(f"Upgrade {source} while the earlier monitor runs, {system}, after a "
                       "silent installation of an earlier edition"))
    if before == "remove" and silent:  # Add/Remove Programs gives no -s: a deployer types it
        return ([f"Installation (silent, {source})",
                 "Removal (the entry's command with -s, silent)"],
                f"Silent removal by the Add/Remove Programs entry's command {system}, after a "
                f"silent installation {source}")
    if before == "remove":
        return ([f"Installation (silent, {source})", f"Removal (Add/Remove Programs, {manner})"],
                titled(f"Removal through Add/Remove Programs {system}, after a silent "
                       f"installation {source}"))
    return [installation], titled(f"Installation {source} {system}")


@dataclasses.dataclass
class SystemState:
    """What the report compares of the emulated system before and after a run."""
    registry: dict     # parse_export's {key: {value name: data}}
    files: dict        # file_tree's {relative path: (size, digest)}
    records: int       # how many starts the stand-ins have logged
    backup_stamp: int  # WININIT.BAK's change time, or None


def system_state(machine, export):
    """The system as it stands, its registry exported to export."""
    backup = machine.unix_path(BACKUP)
    return SystemState(parse_export(wine_machine.without_emulator_keys(
                           machine.export_registry(export))),
                       machine.file_tree(), len(machine.standin_records()),
                       backup.stat().st_mtime_ns if backup.exists() else None)


def run_and_collect(machine, media, silent, args, out, phases, number, start_after=False,
                    removal=False):
    """Runs setup.exe on the machine as it stands, or, for a removal, the
    command Add/Remove Programs runs, and returns what that run did: its boxes
    (their screenshots kept in out), the files and registry values it changed,
    the programs it started, the sections it installed, and what the next
    start did with its work when one followed (start_after: the system is
    restarted when the run did not restart it)."""
    # The stand-in packages' sections mark their installation with a value; a
    # run after one that installed them shows its own installation only when
    # the earlier marks are gone.
    if number > 1:
        machine.reg("delete", MARKER_KEY, "/f")
        machine.open_desktop()  # the emulated desktop ends once its last program has
    before = system_state(machine, out / "machine" / f"before{number}.reg")
    phases.end()
    command, run, started = start_setup(machine, media, silent, args, phases, number, removal)
    not_started = started if run is None else None
    run = run or wine_machine.Run(None, [])
    phases.end("(not started)" if not_started else f"(exit status {run.status})")
    restarted = restart_as_asked(machine, run, before, phases, start_after, removal)
    phases.begin("collecting")
    after = system_state(machine, out / "machine" / f"after{number}.reg")
    records = machine.standin_records()[before.records:]
    applied = rename_lines_applied(machine, before)
    prefix = "" if number == 1 else f"run{number}-"
    for box in run.boxes:
        kept = out / (prefix + box.screenshot.name)
        if box.screenshot.exists():
            shutil.copy(box.screenshot, kept)
        box.screenshot = kept
    did = what_the_run_did(command, run, before, after, records, applied, restarted,
                           start_after, removal)
    did["started"] = None if not_started else started
    if not_started:
        did["meaning"] = f"not started: {not_started}"
    return did


def start_setup(machine, media, silent, args, phases, number, removal):
    """Runs setup.exe, or for a removal the entry's command; returns the
    command, the run and how it was started (None for setup.exe from the
    media), or, where Add/Remove Programs does not list the reader, no run
    and why it was not started."""
    answers = {} if silent else {"welcome question": args.answer_welcome,
                                 "removal question": args.answer_welcome,
                                 "restart question": args.answer_restart}
    if removal and not silent:
        phases.begin("removing through Add/Remove Programs")
        entry = (machine.query(UNINSTALL_KEY) or {}).get("UninstallString")
        try:
            run = machine.remove_through_add_remove_programs(media, DISPLAY_NAME, answers)
        except wine_machine.NotListed as error:
            return entry[1] if entry else "", None, str(error)
        return entry[1], run, STARTED_BY_THE_CLIENT
    if removal:
        # Add/Remove Programs gives no -s: a deployer types the entry's command
        # with it; without an entry, the same removal from the disc.
        entry = (machine.query(UNINSTALL_KEY) or {}).get("UninstallString")
        command = (entry[1] if entry else "setup.exe -u") + " -s"
        phases.begin("removing silently with the entry's command")
        return command, machine.run_setup(media, answers=answers, command_line=command), (
            "by the Add/Remove Programs entry's command with -s, as a deployer types it "
            "(Add/Remove Programs gives no -s)")
    phases.begin("running setup.exe" + (" again" if number > 1 else ""))
    return ("setup.exe" + (" -s" if silent else ""),
            machine.run_setup(media, ["-s"] if silent else [], answers), None)


def restart_question(run):
    return next((b for b in run.boxes if b.name == "restart question"), None)


def rename_lines_applied(machine, before):
    """The [rename] lines a start applied since before: it leaves WININIT.INI
    as a new WININIT.BAK."""
    backup = machine.unix_path(BACKUP)
    if backup.exists() and backup.stat().st_mtime_ns != before.backup_stamp:
        return wine_machine.rename_lines(backup)
    return None


def restart_as_asked(machine, run, before, phases, start_after, removal):
    """Waits for the restart the run was answered Yes for, or restarts the
    system when start_after asks; else waits for the setup's last deletions.
    Returns whether the run's own restart came."""
    def monitor_runs():
        return sum(r[0] == "rdwatch" for r in machine.standin_records()[before.records:])

    restart_box = restart_question(run)
    if restart_box is not None and restart_box.answer == "yes":
        phases.begin("restarting the emulated system")
        # After a removal no monitor starts: WININIT.INI applied shows the start.
        restarted = machine.wait_until(lambda: monitor_runs() > 0 or (
            removal and rename_lines_applied(machine, before) is not None), 60)
        phases.end()
        return restarted
    if start_after:
        phases.begin("restarting the emulated system (a new session)")
        monitor_registered = "RDWatch" in (machine.query(wine_machine.RUN_SERVICES_ONCE) or {})
        machine.restart()
        machine.wait_until(lambda: monitor_runs() > 0 or not monitor_registered, 60)
        phases.end()
        return False
    # The setup's last deletions run on after it; the report shows their end.
    machine.wait_until(lambda: not any(
        machine.unix_path(rf"C:\windows\temp\{name}").exists()
        for name in ("scbase", "smclib", "scbase.exe", "smclib.exe")), 10)
    return False


def what_the_run_did(command, run, before, after, records, applied, restarted, start_after,
                     removal):
    """The report's account of one run, from the system before and after it
    and the stand-ins' records of what started."""
    registry = registry_changes(before.registry, after.registry)
    # The stand-in packages' setup information files mark their installation
    # with a value under "Vantrel Test"; real packages leave their own traces.
    sections = [f"{marker_package(key)}.inf, section DefaultInstall (its marker value {key} "
                "is set)"
                for change, key, _ in registry
                if change == "value set" and "\\Vantrel Test\\" in key]
    # What the setup offered and was answered, then what restarted the system.
    restart_box = restart_question(run)
    restart = f"offered, answered {restart_box.answer.capitalize()}" if restart_box \
        else "not offered"
    if restarted:
        restart += "; the system restarted" + (
            "" if removal else ": the monitor program ran at the next start")
    elif restart_box is not None and restart_box.answer == "yes":
        restart += "; the emulated system did not restart within a minute"
    elif start_after:
        restart += "; try-setup then restarted the emulated system to show the next start"
    # The setup's own programs end; the monitor, started by the restart, keeps
    # running; the harness's own launcher is not the setup's.
    programs = [(name, line, status) for name, line, status in records
                if name not in ("rdwatch", "starter")]
    next_start = None
    if restarted or start_after:
        next_start = {
            "applied": applied or [],
            "programs": [(line, size) for name, line, size in records if name == "rdwatch"],
        }
    return {
        "command": command,
        "status": run.status,
        "meaning": status_meaning(run.status, removal, run.boxes) if run.status is not None
        else "not known: setup.exe's end is not in its trace",
        "restart": restart,
        "boxes": run.boxes,
        "files": [c for c in file_changes(before.files, after.files)
                  if c[1].lower().startswith("c:\\windows\\")],
        "registry": registry,
        "programs": programs,
        "sections": sections,
        "next_start": next_start,
        "calls": run.calls or [],
        "answer_problems": run.answer_problems(),
    }


def run_matrix(args, build_dir, template, out):
    """The runs, two at a time, each on its own copy of the prepared system."""
    def one(entry):
        name, windows, silent, before = entry
        started = time.time()
        runs, _ = try_once(windows, silent, args, build_dir, template, out / name, Quiet(),
                           before)
        label = (f"Windows {SYSTEMS[windows]}, {'silent' if silent else 'interactive'}" +
                 {None: "", "again": ", reinstallation", "upgrade": ", upgrade",
                  "remove": ", removal"}[before])
        print(f"[{time.strftime('%H:%M:%S')}] {label}: exit status {runs[-1]['status']} "
              f"({time.time() - started:.1f} s)", flush=True)
        return name, label, runs

    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        rows = list(pool.map(one, MATRIX))
    try_report.write_overview(out, [(name, label, runs[-1]) for name, label, runs in rows],
                              MATRIX[0][0])
    return [f"{label}: {problem}" for _, label, runs in rows for problem in answer_problems(runs)]


def answer_problems(runs):
    """Where the system got another answer than the one given, run by run."""
    return [(f"run {number}, " if len(runs) > 1 else "") + problem
            for number, run in enumerate(runs, 1) for problem in run["answer_problems"]]


def said_wrongly(problems):
    """Each box the system got another answer for, one line each; 1 if any."""
    for problem in problems:
        print(f"try-setup: {problem}", file=sys.stderr)
    return 1 if problems else 0


def guest_arguments(args, build_dir, out):
    """The options that give the same runs inside the emulated PC."""
    options = ["--build", str(build_dir), "--out", str(out),
               "--answer-welcome", args.answer_welcome, "--answer-restart", args.answer_restart]
    options += ["--matrix"] if args.matrix else ["--windows", args.windows]
    options += [flag for flag, on in (("--silent", args.silent), ("--twice", args.twice),
                                      ("--upgrade", args.upgrade), ("--remove", args.remove),
                                      ("--writable-media", args.writable_media)) if on]
    if args.media:
        options += ["--media", str(Path(args.media).resolve())]
    if args.expect_status is not None:
        options += ["--expect-status", str(args.expect_status)]
    return options


def try_in_emulated_pc(args, build_dir, out, phases):
    """The same try-setup, run inside an emulated PC with this host's folders
    shared in; its phase lines and report show here as it goes."""
    phases.begin("preparing the emulated PC (made once for this machine)")
    emulated_pc.make_guest()
    phases.end()
    print(f"[{time.strftime('%H:%M:%S')}] booting the emulated PC; inside it Wine runs about "
          f"{emulated_pc.slowdown():g} times slower than on a host that runs it directly",
          flush=True)
    command = ["/usr/bin/python3", "-m", "tools.trying.try_setup",
               *guest_arguments(args, build_dir, out)]
    media = Path(args.media).resolve() if args.media else None
    shares = [ROOT, build_dir, out] + ([media.parent if media.is_file() else media]
                                       if media else [])
    return emulated_pc.run(command, shares, ROOT, timeout=emulated_pc.slowdown() * 600)


def failed(phases, error):
    """Ends the phase as failed and says in one line where and why; returns the status."""
    where = f"{phases.name}: " if phases.name else ""
    phases.end("(failed)")
    print(f"try-setup: {where}{error}", file=sys.stderr)
    return 1


# What stops a run part-way: a box, the emulated system, or a program of the host's.
CANNOT_GO_ON = (wine_machine.BoxError, RuntimeError, TimeoutError, OSError,
                subprocess.CalledProcessError)


def main(argv):
    args = parse_arguments(argv)
    phases = Phases()
    if not args.build:
        phases.begin("installing tools")
    # Installs the PC emulator where the host needs one. The tests' 64-bit twin
    # (never a person's choice) runs here, under 64-bit Wine.
    if args.build and wine_machine.arch_of(Path(args.build) / "standin.exe") == "win64":
        route, reason = "direct", ""
    else:
        route, reason = host_route.choose(host_route.this_host(install=not args.build))
    if route == "none":
        return failed(phases, f"the emulated Windows cannot run here: {reason}")
    if args.build:
        build_dir = Path(args.build).resolve()
    else:
        try:
            installed = install_tools(BUILD_PACKAGES +
                                      (WINE_PACKAGES if route == "direct" else []))
        except host_packages.InstallError as error:
            return failed(phases, error)
        phases.end(installed)
        phases.begin("building setup.exe")
        build_dir = build()
        phases.end()

    stamp = datetime.datetime.now().strftime("%Y%m%d-%H%M%S")
    out = Path(args.out or ROOT / "build" / "try-setup" / stamp).resolve()
    out.mkdir(parents=True, exist_ok=True)
    if route == "emulated-pc":
        print(f"[{time.strftime('%H:%M:%S')}] running in an emulated PC: {reason}", flush=True)
        try:
            return try_in_emulated_pc(args, build_dir, out, phases)
        except emulated_pc.GuestError as error:
            return failed(phases, error)

    try:
        return try_here(args, build_dir, out, phases)
    except CANNOT_GO_ON as error:
        return failed(phases, error)


def try_here(args, build_dir, out, phases):
    arch = wine_machine.arch_of(build_dir / "standin.exe")
    template = ROOT / "build" / "try-setup" / f"template-{arch}"
    if args.matrix:
        phases.begin("preparing the emulated system")
        wine_machine.make_template(template, arch)
        phases.end()
        print(f"[{time.strftime('%H:%M:%S')}] running setup.exe {len(MATRIX)} times ...",
              flush=True)
        problems = run_matrix(args, build_dir, template, out)
        print(f"Overview: {out / 'overview.md'} and {out / 'overview.html'}")
        return said_wrongly(problems)

    phases.begin(f"preparing the emulated Windows {args.windows}")
    wine_machine.make_template(template, arch)
    before = ("again" if args.twice else "upgrade" if args.upgrade else
              "remove" if args.remove else None)
    runs, report = try_once(args.windows, args.silent, args, build_dir, template, out, phases,
                            before)
    phases.end()
    print()
    print(report)
    print(f"Report: {out / 'report.md'} and {out / 'report.html'}")
    if runs[-1]["meaning"].startswith("not started: "):  # the report says so too
        print(f"try-setup: {runs[-1]['meaning']}", file=sys.stderr)
        return 1
    if args.expect_status is not None and runs[-1]["status"] != args.expect_status:
        print(f"try-setup: setup.exe ended with {runs[-1]['status']}, not the "
              f"{args.expect_status} expected", file=sys.stderr)
        return max(3, said_wrongly(answer_problems(runs)))
    return said_wrongly(answer_problems(runs))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
