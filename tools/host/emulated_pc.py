#!/usr/bin/env python3
"""An emulated x86-64 PC that runs the Wine parts where the host cannot.

A host whose kernel runs no 32-bit x86 program cannot start 32-bit Wine. This
module makes, once per machine, a Debian 12 system with 32-bit Wine and the
test tools (mmdebstrap), with a Wine template made in it, and boots it under
QEMU's PC emulator to run one command, with host folders shared in at the
same paths (virtio-9p). The Wine prefixes go on the guest's own disk
(WINE_PREFIXES), beside the Wine template whose libraries they link to: on a
share Wine is too slow to finish. What a run writes there is gone when the
PC is off.

    emulated_pc.py make            makes the guest unless made
    emulated_pc.py slowdown        how many times slower Wine runs in it
    emulated_pc.py run [--share DIR]... [--timeout S] [--cwd DIR] -- COMMAND...
                                   runs COMMAND in it, with its status; 125
                                   when the guest could not run it
"""

import argparse
import ctypes
import fcntl
import functools
import hashlib
import inspect
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from tools import ROOT
from tools.harness import wine_machine
from tools.host import host_packages

HOME = Path(os.environ.get("EMULATED_PC_HOME", "/var/cache/vantrel-setup/emulated-pc"))
# What the guest runs the Wine parts with: the Wine packages, QEMU's guest
# kernel, ctest, and what its start-up script calls.
BASE_PACKAGES = ["linux-image-amd64", "kmod", "mount", "iproute2", "procps", "cmake"]
# Of what Wine recommends, what its X11 driver draws the boxes with (XRender,
# the X extensions, its fonts); its sound, printing, video and GL nothing runs.
WINE_RECOMMENDED = [name + ":i386" for name in (
    "libxrender1", "libxrandr2", "libxcursor1", "libxi6", "libxcomposite1", "libxinerama1",
    "libxfixes3", "libxxf86vm1")] + ["fonts-wine"]
# Only what is named and what it needs, and no disk flushes while unpacking:
# the guest is made whole or thrown away.
MMDEBSTRAP_OPTIONS = ["--variant=apt", "--architectures=amd64,i386",
                      "--aptopt=APT::Install-Recommends \"false\"",
                      "--aptopt=Acquire::Check-Valid-Until \"false\"",
                      "--dpkgopt=force-unsafe-io"]
SUITES = ["bookworm", "bookworm-updates"]
MAKE_MINUTES = "2.5 to 9"  # measured on 2 cores, the downloads and Wine template included
IMAGE_GIB = 10         # the root file system's image (sparse)
FREE_GIB_NEEDED = 12   # the made system and its image side by side while making
RUN_GIB_NEEDED = 8     # the root disk's changes, Wine prefixes among them
BOOT_SECONDS = 300     # a guest that has not started the command by then hangs
SLOWDOWN = 8           # how many times longer Wine's work takes under the emulator
MEMORY_MIB = 6144
INIT = "/sbin/emulated-pc-init"
# A Wine template made once with the guest and kept in it, so that no run
# boots a new emulated Windows from nothing (half a minute or more each).
WINE_TEMPLATE = "/var/lib/emulated-pc/wine-template"
WINE_PREFIXES = "/var/lib/emulated-pc/prefixes"
TEMPLATE_SECONDS = 50  # measured, beside the test command's builds

# The guest's first and only program: it mounts what a command needs, the
# host's shares at their host paths, runs the command the host wrote and
# powers the PC off. Its output goes to the control share, where the host
# reads it as it grows.
INIT_SCRIPT = r"""#!/bin/sh
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs shm /dev/shm
mount -t tmpfs run /run
mount -t tmpfs tmp /tmp
hostname emulated-pc
ip link set lo up
modprobe 9pnet_virtio
modprobe 9p
options=trans=virtio,version=9p2000.L,msize=524288
mkdir -p /control
mount -t 9p -o $options control /control
while read -r tag path; do
  mkdir -p "$path" && mount -t 9p -o $options "$tag" "$path"
done < /control/shares
touch /control/booted
sh /control/command.sh > /control/output.log 2>&1 < /dev/null
echo $? > /control/status
sync
echo 1 > /proc/sys/kernel/sysrq
echo o > /proc/sysrq-trigger
sleep 60
"""


class GuestError(Exception):
    """The emulated PC could not be made or could not run the command."""


def packages():
    listed = (ROOT / "tools" / "host" / "wine-packages").read_text().split()
    return BASE_PACKAGES + listed + WINE_RECOMMENDED


def recipe_id():
    """Names the guest by what makes it, so that a changed list, option,
    start-up script or Wine template makes a new one."""
    recipe = "bookworm\n" + "\n".join(packages() + MMDEBSTRAP_OPTIONS) + "\n" + INIT_SCRIPT + \
        inspect.getsource(wine_machine.base_env) + inspect.getsource(wine_machine.boot_prefix)
    return hashlib.sha1(recipe.encode()).hexdigest()[:12]


def guest_folder():
    return HOME / f"guest-{recipe_id()}"


def die_with_this_process():
    """Run in a child before it starts: the system kills it when this process
    ends, however this one ends, so that no emulator or maker is left running."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def say(message):
    print(f"[{time.strftime('%H:%M:%S')}] {message}", flush=True)


class Lock:
    """An exclusive lock on a file for a with block: one maker of the guest at
    a time, and a mark that a run's folder is in use."""

    def __init__(self, path):
        self.path = path

    def __enter__(self):
        self.file = open(self.path, "w")
        fcntl.flock(self.file, fcntl.LOCK_EX)

    def __exit__(self, *exc):
        self.file.close()


def make_guest():
    """The guest for the current package list, made now unless made before.
    A guest is only ever used whole: it is made under a .partial name and
    renamed when complete, so an interrupted making is started again."""
    HOME.mkdir(parents=True, exist_ok=True)
    with Lock(HOME / "lock"):
        guest = guest_folder()
        if guest.is_dir():
            return guest
        for old in HOME.glob("guest-*"):  # half-made ones, and those of other lists
            remove_guest_folder(old)
        need_free_space(FREE_GIB_NEEDED, "making the emulated PC")
        say(f"making the emulated PC in {guest}: once for this machine, about {MAKE_MINUTES} "
            "minutes and 2.5 GB; later runs reuse it")
        partial = HOME / (guest.name + ".partial")
        try:
            make_into(partial)
        except GuestError:
            remove_guest_folder(partial)
            raise
        partial.rename(guest)
        return guest


def need_free_space(gib, what):
    free = shutil.disk_usage(HOME).free / 2**30
    if free < gib:
        raise GuestError(f"{what} needs {gib} GiB free in {HOME}, which has {free:.1f} GiB: "
                         "free some space, or set EMULATED_PC_HOME to a folder on a larger disk")


def remove_guest_folder(folder):
    """Removes a guest folder; a making cut short may have left the host's /proc
    or /dev mounted inside it, which must be let go of, never emptied."""
    inside = str(Path(folder).resolve()) + "/"
    mounts = [line.split()[4] for line in Path("/proc/self/mountinfo").read_text().splitlines()]
    for mount in sorted((m for m in mounts if m.startswith(inside)), key=len, reverse=True):
        subprocess.run(["umount", "--lazy", mount], capture_output=True)
    subprocess.run(["rm", "-rf", "--one-file-system", str(folder)], capture_output=True)


def guest_sources():
    """The guest's package sources: the suite and its updates, as the host is
    served them. The guest is offline and thrown away whole, so it needs no
    security suite, whose indexes the registry has served out of step for days."""
    lines = host_packages.debian_lines(SUITES)
    if not lines:
        raise GuestError("this host's package sources serve none of " + ", ".join(SUITES) +
                         ", which the emulated PC's system is made from")
    return lines


def make_into(folder):
    """Makes the guest's system with mmdebstrap; a making that fails on a
    download is tried once more."""
    root = folder / "root"
    folder.mkdir(parents=True)
    started = time.time()
    command = ["mmdebstrap", *MMDEBSTRAP_OPTIONS, "--include=" + ",".join(packages()),
               SUITES[0], str(root), *guest_sources()]
    log = folder / "mmdebstrap.log"
    for attempt in (1, 2):
        status = bootstrap(command, log, started)
        download_failed = re.search(r"Failed to fetch|Could not resolve|Temporary failure|"
                                    r"Unable to fetch|Could not connect",
                                    log.read_text(errors="replace"))
        if status == 0 or not download_failed or attempt == 2:
            break
        say("  a download failed: making it once more")
        remove_guest_folder(root)
    if status != 0:
        tail = log.read_text(errors="replace").splitlines()[-5:]
        raise GuestError("mmdebstrap could not make the emulated PC's system (status "
                         f"{status}):\n  " + "\n  ".join(tail))
    finish(folder, root)
    make_wine_template(folder)
    say(f"the emulated PC is made ({(time.time() - started) / 60:.1f} minutes)")


def bootstrap(command, log, started):
    """Runs mmdebstrap with its steps shown as they come; returns its status."""
    with open(log, "w") as out:
        process = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT,
                                   preexec_fn=die_with_this_process)
        shown, last_said = 0, time.time()
        while process.poll() is None:
            time.sleep(2)
            shown, said = relay_steps(log, shown, started)
            if said:
                last_said = time.time()
            elif time.time() - last_said > 60:  # no long step goes without a word
                say(f"  still working ({time.time() - started:.0f} s)")
                last_said = time.time()
    relay_steps(log, shown, started)
    return process.returncode


def finish(folder, root):
    """The kernel, its initial RAM disk and the disk image of the made system."""
    init = root / INIT.lstrip("/")
    init.write_text(INIT_SCRIPT)
    init.chmod(0o755)
    for pattern, name in (("vmlinuz-*", "vmlinuz"), ("initrd.img-*", "initrd.img")):
        found = sorted((root / "boot").glob(pattern))
        if not found:
            raise GuestError(f"the emulated PC's system has no /boot/{pattern}")
        shutil.copy(found[-1], folder / name)
    say("writing the emulated PC's disk image")
    result = subprocess.run(["mkfs.ext4", "-q", "-F", "-L", "root", "-d", str(root),
                             str(folder / "root.img"), f"{IMAGE_GIB}G"],
                            capture_output=True, text=True)
    remove_guest_folder(root)
    if result.returncode != 0:
        raise GuestError("mkfs.ext4 could not write the emulated PC's disk image: " +
                         result.stderr.strip())


def make_wine_template(folder):
    """Boots the made system once, keeping what it writes, to make the Wine
    template in it."""
    say(f"making the Wine template in it (about {TEMPLATE_SECONDS} s)")
    command = ["/usr/bin/python3", "-m", "tools.harness.wine_machine", "template", WINE_TEMPLATE]
    with open(folder / "template.log", "w") as log:
        status = boot(folder, command, [ROOT], ROOT, TEMPLATE_SECONDS * 20,
                      {"PYTHONUNBUFFERED": "1"}, log, keep_changes=True)
    if status != 0:
        raise GuestError(f"the Wine template could not be made in the emulated PC (status "
                         f"{status}); its output: {folder / 'template.log'}")


def relay_steps(log, shown, started):
    """Shows mmdebstrap's step lines since the last call, each with the time so
    far; returns how many lines the log has and whether any was shown."""
    lines = log.read_text(errors="replace").splitlines()
    steps = [line[3:] for line in lines[shown:] if line.startswith("I: ")]
    for step in steps:
        say(f"  {step} ({time.time() - started:.0f} s)")
    return len(lines), bool(steps)


@functools.lru_cache(maxsize=None)
def kvm():
    """Whether QEMU can run the PC under KVM here. /dev/kvm is not enough: in
    some virtual machines QEMU stops at once when it sets up the host's
    processor (an MSR the outer machine refuses). A PC with no disk that is
    still running after two seconds has passed that point."""
    if not os.access("/dev/kvm", os.R_OK | os.W_OK) or os.environ.get("EMULATED_PC_KVM") == "0":
        return False  # EMULATED_PC_KVM=0: measuring as on a host without KVM
    probe = subprocess.Popen(["qemu-system-x86_64", "-accel", "kvm", "-cpu", "host", "-nodefaults",
                              "-display", "none", "-no-reboot", "-m", "128"],
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL, preexec_fn=die_with_this_process)
    try:
        probe.wait(timeout=2)
        return False
    except subprocess.TimeoutExpired:
        probe.kill()
        probe.wait()
        return True


def slowdown():
    """How many times slower than natively Wine runs in the guest."""
    return 2 if kvm() else SLOWDOWN


def guest_environment():
    """What the Wine parts need to know inside the guest: how slow it is, where
    the Wine prefixes go, and that output goes out line by line."""
    return {"WINE_TIME_SCALE": str(slowdown()), "WINE_PREFIXES": WINE_PREFIXES,
            "WINE_TEMPLATE": WINE_TEMPLATE, "PYTHONUNBUFFERED": "1"}


def top_folders(folders):
    """The folders to share: each once, and none inside another."""
    chosen = []
    for folder in sorted({Path(f).resolve() for f in folders},
                         key=lambda p: (len(p.parts), str(p))):
        if not any(folder == c or c in folder.parents for c in chosen):
            chosen.append(folder)
    return chosen


def remove_abandoned_runs():
    """The folders of runs killed outright; a live run holds its folder's lock."""
    for folder in HOME.glob("run-*"):
        try:
            with open(folder / "lock") as lock:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                shutil.rmtree(folder, ignore_errors=True)
        except OSError:  # in use, or being made
            continue


def command_script(command, cwd, env):
    lines = [f"export {name}={shlex.quote(value)}" for name, value in sorted(env.items())]
    lines.append(f"cd {shlex.quote(str(cwd))}")
    lines.append("exec " + " ".join(shlex.quote(part) for part in command))
    return "\n".join(lines) + "\n"


def qemu_command(guest, control, shares, keep_changes=False):
    command = ["qemu-system-x86_64", "-nodefaults", "-display", "none", "-no-reboot",
               "-m", str(MEMORY_MIB), "-smp", "2",
               # QEMU 7.2's emulation of SMAP faults on a 32-bit program's return
               # from the kernel, which kills every Wine process.
               *(["-accel", "kvm", "-cpu", "host"] if kvm() else
                 ["-accel", "tcg,thread=multi", "-cpu", "max,-smap,-la57"]),
               "-kernel", str(guest / "vmlinuz"), "-initrd", str(guest / "initrd.img"),
               "-append", f"root=/dev/vda rw console=ttyS0 init={INIT} panic=-1 quiet",
               "-drive", f"file={guest / 'root.img'},format=raw,if=virtio,"
                         f"snapshot={'off' if keep_changes else 'on'}",
               "-serial", f"file:{control / 'console.log'}"]
    for tag, path in [("control", control)] + [(f"share{i}", p) for i, p in enumerate(shares)]:
        command += ["-virtfs", f"local,path={path},mount_tag={tag},security_model=none,"
                               "multidevs=remap"]
    return command


def run(command, shares, cwd, timeout):
    """Boots the guest, runs command in it with its output relayed, and returns
    its exit status. The PC is off again when this returns, however it ends."""
    guest = make_guest()
    need_free_space(RUN_GIB_NEEDED, "running the emulated PC")
    return boot(guest, command, shares, cwd, timeout, guest_environment(), sys.stdout)


def boot(guest, command, shares, cwd, timeout, env, relay, keep_changes=False):
    """Boots the guest folder's system to run command, its output relayed to
    relay (a file); returns its exit status. Unless keep_changes, whatever the
    command writes outside the shares is gone when the PC is off."""
    shares = top_folders(list(shares) + [cwd])
    remove_abandoned_runs()
    with tempfile.TemporaryDirectory(dir=HOME, prefix="run-") as work, Lock(Path(work) / "lock"):
        control = Path(work) / "control"
        control.mkdir()
        (control / "shares").write_text("".join(f"share{i} {p}\n" for i, p in enumerate(shares)))
        (control / "command.sh").write_text(command_script(command, cwd, env))
        with open(control / "qemu.log", "w") as log:
            qemu = subprocess.Popen(qemu_command(guest, control, shares, keep_changes),
                                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=log, preexec_fn=die_with_this_process)
        try:
            follow(qemu, control, timeout, relay)
        finally:
            if qemu.poll() is None:
                qemu.kill()
            qemu.wait()
            keep_console(control)
        status = control / "status"
        if not status.exists():
            raise GuestError("the emulated PC stopped before the command ended: "
                             f"{why_it_stopped(control)}; its console: {HOME / 'console.log'}")
        return int(status.read_text())


def follow(qemu, control, timeout, relay):
    """Relays the command's output until the PC is off; a PC that does not boot
    or a command that does not end in time is stopped with a message."""
    started = time.time()
    output, shown = control / "output.log", 0
    while qemu.poll() is None:
        time.sleep(1)
        if output.exists():
            with open(output, "rb") as out:
                out.seek(shown)
                data = out.read()
            shown += len(data)
            relay.write(data.decode("utf-8", errors="replace"))
            relay.flush()
        elapsed = time.time() - started
        if not (control / "booted").exists() and elapsed > BOOT_SECONDS:
            raise GuestError(f"the emulated PC did not boot within {BOOT_SECONDS} s; its "
                             f"console: {HOME / 'console.log'}")
        if elapsed > timeout:
            raise GuestError(f"the command in the emulated PC did not end within {timeout} s; "
                             "the PC was stopped")


def why_it_stopped(control):
    log = (control / "qemu.log").read_text(errors="replace").strip()
    return log.splitlines()[-1] if log else "QEMU ended"


def keep_console(control):
    console = control / "console.log"
    if console.exists():
        shutil.copy(console, HOME / "console.log")


def main(argv):
    parser = argparse.ArgumentParser(prog="emulated_pc.py")
    sub = parser.add_subparsers(dest="action", required=True)
    sub.add_parser("make")
    sub.add_parser("slowdown")
    running = sub.add_parser("run")
    running.add_argument("--share", action="append", default=[])
    running.add_argument("--cwd", default=os.getcwd())
    running.add_argument("--timeout", type=float, default=3600)
    running.add_argument("command", nargs="+")
    args = parser.parse_args(argv)
    try:
        if args.action == "make":
            make_guest()
        elif args.action == "slowdown":
            print(slowdown())
        else:
            return run(args.command, args.share, Path(args.cwd), args.timeout)
        return 0
    except GuestError as error:
        print(f"emulated PC: {error}", file=sys.stderr)
        return 125


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
