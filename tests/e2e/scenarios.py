#!/usr/bin/env python3
"""The real setup.exe on an emulated Windows 98 or Me, one scenario per test.

    scenarios.py --build DIR --work DIR template     makes the template prefix
    scenarios.py --build DIR --work DIR NAME         runs one scenario
        [--simulator PATH]                           and compares its calls with
                                                     the simulated machine's
    scenarios.py --build DIR --twin DIR TEMPLATE --work DIR NAME
                                                     runs it on setup.exe and on its
                                                     64-bit twin, and compares their calls
    scenarios.py --list                              names the scenarios
    scenarios.py --list-core                         names the core set

Where its suite cannot run in this system (tools/host/host_route.py), a
scenario says why and ends with 77, which CTest reports as skipped.
"""

import argparse
import difflib
import hashlib
import re
import shutil
import sys
import time
from pathlib import Path

from tools.comparison import call_comparison
from tools.harness import wine_machine
from tools.host import host_route

SETUP_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Setup"
SERVICE_KEY = r"HKLM\System\CurrentControlSet\Services\SCardSvr"
READER_KEY = r"HKLM\Enum\USB\VID_1E2D&PID_4182"
HUB_KEY = r"HKLM\Enum\USB\VID_1E2D&PID_4181"
MARKER_KEY = r"HKLM\Software\Vantrel Test"
DISPLAY_NAME = "Vantrel USB Smart Card Reader"  # as Add/Remove Programs lists it
UNINSTALL_KEY = wine_machine.UNINSTALL + "\\" + DISPLAY_NAME
OWN_COPY = r"C:\windows\system\kt418Rmv.exe"
PLACED = {
    "kt418.sys": r"C:\windows\System32\Drivers\kt418.sys",
    "kt418.inf": r"C:\windows\inf\kt418.inf",
    "kt418.cat": r"C:\windows\inf\kt418.cat",
    "kt418Hub.cat": r"C:\windows\inf\kt418Hub.cat",
    "unPlug.exe": r"C:\windows\system\unPlug.exe",
    "rdWatch.exe": r"C:\windows\system\rdWatch.exe",
}
HUB_INF = r"C:\windows\inf\kt418Hub.inf"
STAGED = [r"C:\windows\temp\scbase", r"C:\windows\temp\smclib", r"C:\windows\temp\scbase.exe",
          r"C:\windows\temp\smclib.exe"]
WELCOME = "This program will install the driver of Vantrel USB Smart Card Reader\n"
RESTART = ("You must restart your computer before the new hardware will take effect. "
           "Do you want to reboot the system?")
BASE_FAILED = "SmartCard Base Component install Failed!.\n"
REMOVE = "Remove the Vantrel USB Smart Card Reader driver from this computer?\n"
NOT_WINDOWS_9X = ("This setup is for Windows 98 and Windows Me. Nothing has been changed on this "
                  "computer.\n")


def shown(value):
    """A value as a failure shows it: a long file content by its size and digest."""
    if isinstance(value, bytes) and len(value) > 80:
        return f"{len(value)} bytes, sha1 {hashlib.sha1(value).hexdigest()[:12]}"
    return repr(value)


class Checks:
    def __init__(self):
        self.failures = []

    def equal(self, actual, expected, what):
        if actual != expected:
            self.failures.append(f"{what}: expected {shown(expected)}, got {shown(actual)}")

    def same_text(self, actual, expected, what):
        if actual != expected:
            diff = difflib.unified_diff(expected.splitlines(), actual.splitlines(), "before",
                                        "after", lineterm="", n=1)
            self.failures.append(f"{what} differ:\n" + "\n".join(list(diff)[:40]))

    def true(self, condition, what):
        if not condition:
            self.failures.append(what)


class Scenario:
    def __init__(self, machine, media, checks):
        self.m = machine
        self.media = Path(media)
        self.check = checks

    # Facts the scenarios share.
    def package_placed(self, with_hub_inf):
        for name, target in PLACED.items():
            self.check.equal(self.content(target), self.content_on_media(name), target)
        self.check.equal(self.m.unix_path(HUB_INF).exists(), with_hub_inf, HUB_INF + " placed")

    def content(self, windows_path):
        path = self.m.unix_path(windows_path)
        return path.read_bytes() if path.exists() else None

    def content_on_media(self, name):
        return (self.media / "WIN98" / name).read_bytes()

    def registered(self, reader_gone, hub_gone, sections):
        registry = self.m.registry()
        source = (registry.query(SETUP_KEY) or {}).get("SourcePath")
        self.check.equal(source, ("REG_SZ", r"C:\windows\inf"), "SourcePath")
        service = registry.query(SERVICE_KEY) or {}
        self.check.equal(service.get("Start"), ("REG_DWORD", "0x2"), "SCardSvr Start")
        self.check.equal(service.get("DrvLoad"), ("REG_DWORD", "0x0"), "SCardSvr DrvLoad")
        self.check.equal(registry.find(READER_KEY) is None, reader_gone, "reader entries gone")
        self.check.equal(registry.find(HUB_KEY) is None, hub_gone, "hub entries gone")
        for package in ("scbase", "smclib"):
            marker = registry.query(MARKER_KEY + "\\" + package)
            self.check.equal(marker is not None and marker.get("Installed") == ("REG_SZ", "yes"),
                             sections, f"{package} DefaultInstall marker value")
            dll = self.m.unix_path(rf"C:\windows\system32\{package}.dll")
            self.check.equal(dll.exists(), sections, f"{package}.dll copied by its section")

    def monitor_value(self):
        return (self.m.query(wine_machine.RUN_SERVICES_ONCE) or {}).get("RDWatch")

    def staging_cleaned(self):
        gone = self.m.wait_until(lambda: not any(self.m.unix_path(p).exists() for p in STAGED))
        self.check.true(gone, "extraction folders and staged copies removed: " +
                        ", ".join(p for p in STAGED if self.m.unix_path(p).exists()))

    def boxes(self, run, expected):
        self.check.equal([(b.caption, b.text) for b in run.boxes], expected, "message boxes")


SCENARIOS = {}
# The core set: every kind of run once, what the shipped setup.exe runs in an
# emulated PC where its 64-bit twin runs the whole suite on the host.
CORE = []


def scenario(windows, scard98=True, core=False):
    """Declares a scenario on Windows windows ("98", "me", or "xp" for the NT
    family); CMake registers a test for each, in the core set where core."""
    def register(function):
        SCENARIOS[function.__name__] = (function, windows, scard98)
        if core:
            CORE.append(function.__name__)
        return function
    return register


@scenario("me", core=True)
def silent_full_run_on_windows_me(s):
    run = s.m.run_setup(s.media, ["-s"])
    s.check.equal(run.status, 0, "exit status")
    s.boxes(run, [])
    s.package_placed(with_hub_inf=True)
    s.registered(reader_gone=True, hub_gone=True, sections=True)
    s.staging_cleaned()
    s.check.equal(s.monitor_value(), ("REG_SZ", r"C:\windows\system\rdWatch.exe"), "RDWatch")


@scenario("98")
def silent_run_on_windows_98(s):
    run = s.m.run_setup(s.media, ["-s"])
    s.check.equal(run.status, 0, "exit status")
    s.boxes(run, [])
    s.package_placed(with_hub_inf=False)
    s.registered(reader_gone=True, hub_gone=False, sections=True)


@scenario("98", core=True)
def interactive_yes_yes_restarts_and_runs_the_monitor(s):
    run = s.m.run_setup(s.media, [], ["yes", "yes"])
    s.check.equal(run.status, 0, "exit status")
    s.boxes(run, [(wine_machine.SETUP_CAPTION, WELCOME), (wine_machine.SETUP_CAPTION, RESTART)])
    ran = s.m.wait_until(lambda: any(r[0] == "rdwatch" for r in s.m.standin_records()), 60)
    s.check.true(ran, "the restart started the monitor program")
    s.check.equal(s.monitor_value(), None, "RDWatch consumed by the restart")
    s.package_placed(with_hub_inf=False)


@scenario("me")
def interactive_no_changes_nothing(s):
    before_registry = wine_machine.without_emulator_keys(s.m.export_registry(s.m.workdir / "before.reg"))
    before_files = s.m.file_tree()
    run = s.m.run_setup(s.media, [], ["no"])
    s.check.equal(run.status, 0, "exit status")
    s.boxes(run, [(wine_machine.SETUP_CAPTION, WELCOME)])
    after_registry = wine_machine.without_emulator_keys(s.m.export_registry(s.m.workdir / "after.reg"))
    s.check.same_text(after_registry, before_registry,
                      "HKEY_LOCAL_MACHINE, exported before and after the run,")
    after_files = s.m.file_tree()
    changed = sorted(k for k in set(before_files) | set(after_files)
                     if before_files.get(k) != after_files.get(k))
    s.check.equal(changed, [], "files changed under C:")


@scenario("me")
def missing_driver_source_ends_with_status_1_and_keeps_the_earlier_driver(s):
    (s.media / "WIN98" / "kt418.sys").unlink()
    s.m.unix_path(PLACED["kt418.sys"]).write_bytes(b"earlier driver\n")
    run = s.m.run_setup(s.media, ["-s"])
    s.check.equal(run.status, 1, "exit status")
    s.boxes(run, [])
    s.check.equal(s.content(PLACED["kt418.sys"]), b"earlier driver\n", "earlier driver in place")
    s.check.equal(s.content(PLACED["kt418.inf"]), None, "later rows not placed")
    s.check.equal(s.m.standin_records(), [], "no program started")


@scenario("me", scard98=False)
def missing_scard98_shows_the_failure_even_when_silent(s):
    run = s.m.run_setup(s.media, ["-s"])
    s.check.equal(run.status, 2, "exit status")
    s.boxes(run, [(wine_machine.SETUP_CAPTION, BASE_FAILED)])
    s.check.equal(s.monitor_value(), None, "RDWatch not written")


@scenario("me")
def extraction_ending_with_status_2_ends_with_status_3(s):
    run = s.m.run_setup(s.media, ["-s"], exits={"smclib": 2})
    s.check.equal(run.status, 3, "exit status")
    s.registered(reader_gone=True, hub_gone=True, sections=False)
    s.check.equal(s.monitor_value(), None, "RDWatch not written")


@scenario("me")
def package_that_is_no_program_ends_with_status_3(s):
    (s.media / "SCard98" / "scbase.exe").write_bytes(b"a damaged copy, not a program\r\n" * 64)
    run = s.m.run_setup(s.media, ["-s"])
    s.check.equal(run.status, 3, "exit status")
    s.boxes(run, [])
    s.registered(reader_gone=True, hub_gone=True, sections=False)
    s.check.equal(s.monitor_value(), None, "RDWatch not written")
    started = [r[0] for r in s.m.standin_records() if r[0] != "deltree"]
    s.check.equal(started, [], "no extraction ran after the one that could not start")


@scenario("98")
def folder_at_the_auxiliary_programs_name_is_left_and_the_status_says_9(s):
    """A silent caller learns from the status alone that a file of the package
    is missing; the run goes on, and the folder of the user's stays."""
    folder = s.m.unix_path(PLACED["unPlug.exe"])
    folder.mkdir(parents=True)
    (folder / "notes.txt").write_bytes(b"the user's notes\n")
    run = s.m.run_setup(s.media, ["-s"])
    s.check.equal(run.status, 9, "exit status: a file of the package not placed")
    s.boxes(run, [])
    notes = folder / "notes.txt"
    s.check.equal(notes.read_bytes() if notes.exists() else None, b"the user's notes\n",
                  "the folder at the auxiliary program's name, with what it holds")
    s.check.equal(s.m.unix_path(PLACED["unPlug.exe"] + ".old").exists(), False,
                  "nothing set aside")
    for name in ("kt418.inf", "rdWatch.exe"):
        s.check.equal(s.content(PLACED[name]), s.content_on_media(name), f"{name} placed")
    s.check.equal(s.monitor_value(), ("REG_SZ", r"C:\windows\system\rdWatch.exe"), "RDWatch")


@scenario("me")
def read_only_earlier_driver_is_replaced(s):
    earlier = s.m.unix_path(PLACED["kt418.sys"])
    earlier.write_bytes(b"earlier driver\n")
    s.m.wine("attrib", "+r", PLACED["kt418.sys"])
    run = s.m.run_setup(s.media, ["-s"])
    s.check.equal(run.status, 0, "exit status")
    s.check.equal(s.content(PLACED["kt418.sys"]), s.content_on_media("kt418.sys"), "new driver")
    s.check.equal(s.m.unix_path(PLACED["kt418.sys"] + ".old").exists(), False, "no set-aside left")


@scenario("me")
def reinstall_from_a_cd_completes_twice_and_leaves_nothing_staged(s):
    wine_machine.press_on_cd(s.media)
    for number in (1, 2):
        s.m.open_desktop()  # the emulated desktop ends once its last program has
        run = s.m.run_setup(s.media, ["-s"])
        s.check.equal(run.status, 0, f"run {number}: exit status")
        s.boxes(run, [])
        s.staging_cleaned()
        s.package_placed(with_hub_inf=True)
    s.registered(reader_gone=True, hub_gone=True, sections=True)


@scenario("me")
def two_setups_started_together_one_installs_and_the_other_ends_with_5(s):
    # The first to start takes a few seconds to extract, so the other starts while it runs.
    statuses, boxes = s.m.run_setups_together(s.media, ["-s"], slow={"scbase": 3})
    s.check.equal(sorted(statuses), [0, 5], "exit statuses")
    s.check.equal([b.caption for b in boxes], [], "boxes shown")
    s.package_placed(with_hub_inf=True)
    s.registered(reader_gone=True, hub_gone=True, sections=True)
    s.staging_cleaned()
    extracted = [r[0] for r in s.m.standin_records() if r[0] in ("scbase", "smclib")]
    s.check.equal(extracted, ["scbase", "smclib"], "each package extracted once")


def monitor_runs(s):
    """The monitor's starts so far: (command line, size of the file it ran from)."""
    return [(r[1], r[2]) for r in s.m.standin_records() if r[0] == "rdwatch"]


def reinstall_over_the_running_monitor(s, arguments, answers, expected_boxes):
    """The earlier edition installed and started, its monitor running and holding
    its file; the setup from the new media; then the next start."""
    system = s.m.unix_path(r"C:\windows\system")
    before = {p.name.lower() for p in system.iterdir()}
    earlier = wine_machine.earlier_edition(s.media, s.m.workdir / "earlier-media")
    s.check.equal(s.m.run_setup(earlier, ["-s"]).status, 0, "the earlier edition's install")
    s.m.restart()
    monitor = PLACED["rdWatch.exe"]
    earlier_run = (monitor, (earlier / "WIN98" / "rdWatch.exe").stat().st_size)
    s.check.true(s.m.wait_until(lambda: monitor_runs(s) == [earlier_run], 60),
                 f"the start ran the earlier monitor: {monitor_runs(s)}")
    s.check.equal(s.m.running_programs(), [monitor], "programs running from the system folder")

    run = s.m.run_setup(s.media, arguments, answers)
    s.check.equal(run.status, 0, "exit status")
    s.boxes(run, expected_boxes)
    new_run = (monitor, (s.media / "WIN98" / "rdWatch.exe").stat().st_size)
    if answers[-1:] == ["yes"]:
        # The restart the setup asked for is the next start: on a slow host
        # its monitor may still be starting when the setup has ended.
        s.m.wait_until(lambda: new_run in monitor_runs(s), 60)
    s.m.restart()
    s.check.true(s.m.wait_until(lambda: monitor_runs(s) == [earlier_run, new_run], 60),
                 f"the next start ran the new monitor: {monitor_runs(s)}")
    s.package_placed(with_hub_inf=s.m.windows == "me")
    after = {p.name.lower() for p in system.iterdir()}
    s.check.equal(sorted(after - before), ["kt418rmv.exe", "rdwatch.exe", "unplug.exe"],
                  "the system folder holds nothing beyond the package and the setup's copy")
    s.check.equal(s.m.unix_path(r"C:\windows\wininit.ini").exists(), False, "WININIT.INI applied")
    s.check.equal(s.monitor_value(), None, "RDWatch consumed by the start")


@scenario("me")
def reinstall_while_the_earlier_monitor_runs_interactive(s):
    # Yes to the restart: the emulated system restarts at once, and the new
    # session after it starts nothing more.
    reinstall_over_the_running_monitor(
        s, [], ["yes", "yes"],
        [(wine_machine.SETUP_CAPTION, WELCOME), (wine_machine.SETUP_CAPTION, RESTART)])


@scenario("98", core=True)
def reinstall_while_the_earlier_monitor_runs_silent(s):
    reinstall_over_the_running_monitor(s, ["-s"], [], [])


@scenario("98")
def silent_install_then_the_next_start_runs_the_monitor_once(s):
    run = s.m.run_setup(s.media, ["-s"])
    s.check.equal(run.status, 0, "exit status")
    s.m.restart()
    placed = (PLACED["rdWatch.exe"], (s.media / "WIN98" / "rdWatch.exe").stat().st_size)
    s.check.true(s.m.wait_until(lambda: monitor_runs(s) == [placed], 60),
                 f"the start ran the monitor from its placed path: {monitor_runs(s)}")
    time.sleep(wine_machine.seconds(2))  # a second start of it would show by now
    s.check.equal(monitor_runs(s), [placed], "the monitor ran once")
    s.check.equal(s.monitor_value(), None, "RDWatch consumed by the start")


@scenario("me")
def quoted_dash_s_is_silent(s):
    run = s.m.run_setup(s.media, command_line='setup.exe "-s"')
    s.check.equal(run.status, 0, "exit status")
    s.boxes(run, [])
    s.package_placed(with_hub_inf=True)


@scenario("98")
def slash_s_is_interactive(s):
    run = s.m.run_setup(s.media, ["/s"], ["no"])
    s.check.equal(run.status, 0, "exit status")
    s.boxes(run, [(wine_machine.SETUP_CAPTION, WELCOME)])
    s.check.equal(s.content(PLACED["kt418.sys"]), None, "nothing placed after No")


@scenario("xp", core=True)
def windows_nt_family_is_told_why_and_nothing_changes(s):
    def registry(name):
        return wine_machine.without_emulator_keys(s.m.export_registry(s.m.workdir / name))
    files_before, registry_before = s.m.file_tree(), registry("before.reg")
    run = s.m.run_setup(s.media, [], ["ok"])
    s.check.equal(run.status, 6, "exit status")
    s.boxes(run, [(wine_machine.SETUP_CAPTION, NOT_WINDOWS_9X)])
    s.check.same_text(registry("after.reg"), registry_before, "HKEY_LOCAL_MACHINE")
    files_after = s.m.file_tree()
    changed = sorted(path for path in set(files_before) | set(files_after)
                     if files_before.get(path) != files_after.get(path))
    s.check.equal(changed, [], "files under drive C changed")


# What a removal leaves by design, or the emulator changes on its own across
# starts: the smart card service's settings and the setup source path, the
# base components (their sections' marker keys and files), the reader's
# device entries (the system makes them afresh), and the start's own files.
STAYS_KEYS = re.compile(r"^\[HKEY_LOCAL_MACHINE\\(System\\CurrentControlSet\\Services\\SCardSvr|"
                        r"Software\\Vantrel Test|Enum\\USB\\VID_1E2D)", re.I)
STAYS_FILES = {"windows/system32/scbase.dll", "windows/system32/smclib.dll",
               "windows/wininit.bak", "standin.log"}


def lasting_registry(s, name):
    export = wine_machine.without_emulator_keys(s.m.export_registry(s.m.workdir / name))
    sections = [section for section in export.split("\n\n") if not STAYS_KEYS.match(section)]
    return "\n".join(line for line in "\n\n".join(sections).split("\n")
                     if not line.startswith('"SourcePath"='))


def lasting_files(s):
    return {path: digest for path, digest in s.m.file_tree().items()
            if path.replace("\\", "/").lower() not in STAYS_FILES}


def removed_as_installed(s, files_before, registry_before, monitor_starts):
    """After the removal's next start: nothing of the package, its copy, its
    entry or its start-up registration is left, the monitor did not start
    again, and every other file and key is as before the installation."""
    for target in [*PLACED.values(), HUB_INF, OWN_COPY]:
        for own in ("", ".old", ".new"):
            s.check.equal(s.m.unix_path(target + own).exists(), False, target + own + " exists")
    s.check.equal(s.m.query(UNINSTALL_KEY) is not None, False,
                  "the Add/Remove Programs entry exists")
    s.check.equal(s.monitor_value(), None, "RDWatch registered")
    time.sleep(wine_machine.seconds(2))  # a start of the monitor would show by now
    s.check.equal(monitor_runs(s), monitor_starts, "the monitor's starts")
    s.check.equal(s.m.running_programs(), [], "programs running from the system folder")
    s.check.same_text(lasting_registry(s, "after.reg"), registry_before, "HKEY_LOCAL_MACHINE")
    files_after = lasting_files(s)
    changed = sorted(path for path in set(files_before) | set(files_after)
                     if files_before.get(path) != files_after.get(path))
    s.check.equal(changed, [], "files under drive C changed")


def installed_and_started(s):
    """A silent installation and the start after it, which runs the monitor;
    returns the files and registry before it, and the monitor's start."""
    files_before, registry_before = lasting_files(s), lasting_registry(s, "before.reg")
    s.check.equal(s.m.run_setup(s.media, ["-s"]).status, 0, "the installation's exit status")
    s.staging_cleaned()  # its detached deletions end before the restart
    s.m.restart()
    placed = (PLACED["rdWatch.exe"], (s.media / "WIN98" / "rdWatch.exe").stat().st_size)
    s.check.true(s.m.wait_until(lambda: monitor_runs(s) == [placed], 60),
                 f"the start ran the monitor: {monitor_runs(s)}")
    return files_before, registry_before, placed


@scenario("me", core=True)
def install_restart_remove_through_add_remove_programs_restart(s):
    files_before, registry_before, placed = installed_and_started(s)
    entry = s.m.query(UNINSTALL_KEY) or {}
    s.check.equal(entry.get("DisplayName"), ("REG_SZ", DISPLAY_NAME), "DisplayName")
    command = entry.get("UninstallString", ("", ""))[1]
    s.check.equal(command, OWN_COPY + " -u", "UninstallString")
    # As a person does: the entry found by its name in the system's own list,
    # removed by the system's own client, which runs the entry's command.
    run = s.m.remove_through_add_remove_programs(s.media, DISPLAY_NAME, answers=["yes", "no"])
    s.check.equal(run.status, 0, "the removal's exit status, setup.exe's own")
    s.boxes(run, [(wine_machine.SETUP_CAPTION, REMOVE), (wine_machine.SETUP_CAPTION, RESTART)])
    s.m.restart()
    removed_as_installed(s, files_before, registry_before, [placed])


@scenario("98")
def silent_removal_from_the_disc(s):
    # Add/Remove Programs gives no -s: a deployer types the silent removal.
    files_before, registry_before, placed = installed_and_started(s)
    run = s.m.run_setup(s.media, ["-U", "-s"])
    s.check.equal(run.status, 0, "the removal's exit status")
    s.boxes(run, [])
    s.m.restart()
    removed_as_installed(s, files_before, registry_before, [placed])


def compare_with_simulated_machine(machine, simulator, checks):
    """Each run's recorded calls against the same run on the simulated machine."""
    for number, run in enumerate(machine.runs, 1):
        description = run.started_on.with_answers(run.boxes)
        simulated, status = call_comparison.simulate(simulator, description, machine.workdir)
        checks.equal(status, run.status, f"run {number}: the simulated machine's exit status")
        parting = call_comparison.difference(run.calls, simulated, machine.windows)
        checks.true(parting is None, f"run {number}: the simulated machine's calls part from "
                                     f"the recorded ones:\n{parting}")
        if parting is None:
            print(f"run {number}: {len(simulated)} system calls, the same on the simulated machine")


def run_on_both(name, builds, work):
    """The scenario on the shipped setup.exe and on its 64-bit twin, each build
    with its template: both pass, and their calls, handles named and 32-bit
    values read as 32 bits, are the same, so that the twin's suite speaks for
    the shipped binary."""
    runs = {}
    for which, (folder, template) in zip(("shipped", "twin"), builds):
        wine_machine.make_template(template, wine_machine.arch_of(Path(folder) / "standin.exe"))
        status, runs[which] = run_scenario(name, folder, Path(work) / which, template=template,
                                           record_calls=True)
        if status != 0:
            return status
    differences = call_comparison.first_difference(runs["shipped"], runs["twin"])
    for difference in differences:
        print("FAILED:", difference)
    calls = sum(len(run.calls) for run in runs["shipped"])
    print(f"{name}: {calls} system calls, the same from the shipped setup.exe and its twin"
          if not differences else f"{name}: the twin's calls differ")
    return 1 if differences else 0


def run_scenario(name, build, work, simulator=None, record_calls=False, template=None):
    """The scenario's status (0 when every check held) and its runs."""
    function, windows, scard98 = SCENARIOS[name]
    workdir = Path(work) / name
    shutil.rmtree(workdir, ignore_errors=True)
    machine = wine_machine.WineMachine(workdir, template or Path(work) / "template",
                                       Path(build) / "standin.exe", windows)
    machine.record_calls = record_calls or simulator is not None
    machine.start_recorder = call_comparison.StartingState
    media = workdir / "media"
    wine_machine.copy_media(Path(build) / "sample-media", media, with_scard98=scard98)
    checks = Checks()
    machine.start(wine_machine.PLUGGED_IN)
    try:
        function(Scenario(machine, media, checks))
    except (wine_machine.BoxError, wine_machine.NotListed) as error:
        checks.failures.append(str(error))
    finally:
        machine.stop()
    for number, run in enumerate(machine.runs, 1):
        for problem in run.answer_problems():
            checks.failures.append(f"run {number}: {problem}")
    if simulator is not None:
        compare_with_simulated_machine(machine, simulator, checks)
    for failure in checks.failures:
        print("FAILED:", failure)
    if checks.failures:
        print(f"{name}: {len(checks.failures)} check(s) failed; screenshots and trace in {workdir}")
        return 1, machine.runs
    machine.remove()
    print(f"{name}: passed (Windows {windows}, {machine.arch})")
    return 0, machine.runs


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", help="the folder with setup.exe and standin.exe")
    parser.add_argument("--work", help="a folder for prefixes and results")
    parser.add_argument("--simulator", help="simulated_run: compare each run's recorded "
                                            "system calls with the simulated machine's")
    parser.add_argument("--twin", nargs=2, metavar=("BUILD", "TEMPLATE"),
                        help="the 64-bit twin's build folder and template: run the scenario "
                             "on both builds and compare their calls")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--list-core", action="store_true")
    parser.add_argument("name", nargs="?")
    args = parser.parse_args()
    if args.list or args.list_core:
        print(";".join(CORE if args.list_core else SCENARIOS))
        return 0
    arch = wine_machine.arch_of(Path(args.build) / "standin.exe")
    suite = "twin_calls" if args.twin else host_route.wine_suite_of(args.build)
    why_not = host_route.why_suite_cannot_run_here(suite)
    if why_not:
        print(f"{args.name}: skipped: {why_not}")
        return 77
    if args.name == "template":
        wine_machine.make_template(Path(args.work) / "template", arch)
        return 0
    if args.twin:
        twin, twin_template = args.twin
        return run_on_both(args.name, [(args.build, Path(args.work) / "template"),
                                       (twin, twin_template)], args.work)
    return run_scenario(args.name, args.build, args.work, args.simulator)[0]


if __name__ == "__main__":
    sys.exit(main())
