"""Tries setup.exe on a fresh emulated Windows 98 or Me and reports what it did.

Run through ./try-setup at the top of the repository; --help tells the options.
"""

import argparse
import base64
import datetime
import html
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

import wine_machine

ROOT = Path(__file__).resolve().parents[1]
NOISE_NOTE = ("Keys the emulator writes on its own (its display driver's, its service "
              "manager's count) are left out.")
PACKAGES = ["cmake", "make", "g++", "python3", "g++-mingw-w64-i686", "wine", "wine32:i386",
            "xvfb", "xdotool", "imagemagick"]


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
                    "what it did to the system: report.md and report.html in the output folder.")
    parser.add_argument("--windows", choices=["98", "me"], default="me",
                        help="the emulated system (default: me)")
    parser.add_argument("--silent", action="store_true",
                        help='start setup.exe with "-s", as another installer would')
    parser.add_argument("--answer-welcome", choices=["yes", "no"], default="yes",
                        help="the answer to the welcome question (default: yes)")
    parser.add_argument("--answer-restart", choices=["yes", "no"], default="yes",
                        help="the answer to the restart question (default: yes)")
    parser.add_argument("--media", metavar="DIR",
                        help="installation media laid out as D:\\: DIR/WIN98 with the driver "
                             "package (and setup.exe, else the one built here is used), "
                             "DIR/SCard98 with scbase.exe and smclib.exe (default: the sample "
                             "media the build makes)")
    parser.add_argument("--out", metavar="DIR",
                        help="the folder for the report (default: build/try-setup/TIME)")
    parser.add_argument("--build", metavar="DIR",
                        help="use this existing Windows build folder, installing and building "
                             "nothing (for tests)")

    def error(message):  # one line, status 2, before anything is built or started
        print(f"try-setup: {message}", file=sys.stderr)
        sys.exit(2)

    parser.error = error
    args = parser.parse_args(argv)
    if args.media is not None:
        media = Path(args.media)
        if not media.is_dir():
            error(f"--media {args.media}: no such folder")
        if not (media / "WIN98").is_dir():
            error(f"--media {args.media}: it has no WIN98 folder with the driver package")
    if args.build is not None and not (Path(args.build) / "setup.exe").is_file():
        error(f"--build {args.build}: no setup.exe there")
    return args


def install_tools():
    missing = [p for p in PACKAGES if subprocess.run(
        ["dpkg-query", "-W", "-f=${Status}", p], capture_output=True, text=True
    ).stdout.find("ok installed") < 0]
    if not missing:
        return "(all present)"
    foreign = subprocess.run(["dpkg", "--print-foreign-architectures"], capture_output=True,
                             text=True).stdout.split()
    if "i386" not in foreign:
        subprocess.run(["dpkg", "--add-architecture", "i386"], check=True)
    subprocess.run(["apt-get", "update", "-qq"], check=True)
    subprocess.run(["apt-get", "install", "-y", "-qq", *missing], check=True,
                   env={"DEBIAN_FRONTEND": "noninteractive", "PATH": "/usr/sbin:/usr/bin:/sbin:/bin"},
                   stdout=subprocess.DEVNULL)
    return "(installed " + " ".join(missing) + ")"


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
    """The exit status table of the README, as {status: meaning}."""
    text = (ROOT / "README.md").read_text()
    table = text.split("## Exit status", 1)[1].split("\n## ", 1)[0]
    return {int(m.group(1)): m.group(2).strip()
            for m in re.finditer(r"^\| (\d+) \| (.*) \|$", table, re.M)}


# --- the report ---

def table(headers, rows):
    lines = ["| " + " | ".join(headers) + " |", "|" + "---|" * len(headers)]
    for row in rows:
        cells = [str(c).replace("|", "\\|").replace("\n", "\\n") for c in row]
        lines.append("| " + " | ".join(cells) + " |")
    return lines if rows else ["(none)"]


def write_report(out, facts):
    md = [f"# What setup.exe did on Windows {facts['windows']}", ""]
    md += [f"- Command line: `{facts['command']}`",
           f"- Media: `{facts['media']}`",
           f"- Exit status: **{facts['status']}**: {facts['meaning']}",
           f"- Restart: {facts['restart']}", ""]
    md += ["## Message boxes", ""]
    md += table(["#", "caption", "text", "answer", "screenshot"],
                [(i + 1, b.caption, b.text, b.answer, b.screenshot.name)
                 for i, b in enumerate(facts["boxes"])])
    md += ["", "## Files under the Windows directory", ""]
    md += table(["change", "path", "size"], facts["files"])
    md += ["", "## Registry", "", NOISE_NOTE, ""]
    md += table(["change", "key or value", "data"], facts["registry"])
    md += ["", "## Programs started", ""]
    md += table(["program", "command line", "exit status"], facts["programs"])
    md += ["", "## Sections installed", ""]
    md += [f"- {s}" for s in facts["sections"]] or ["(none)"]
    md.append("")
    (out / "report.md").write_text("\n".join(md))

    def cells(row, tag="td"):
        return "".join(f"<{tag}>{html.escape(str(c))}</{tag}>" for c in row)

    def html_table(headers, rows):
        if not rows:
            return "<p>(none)</p>"
        body = "".join(f"<tr>{cells(r)}</tr>" for r in rows)
        return f"<table><tr>{cells(headers, 'th')}</tr>{body}</table>"

    boxes = []
    for i, box in enumerate(facts["boxes"]):
        image = ""
        if box.screenshot.exists():
            data = base64.b64encode(box.screenshot.read_bytes()).decode()
            image = f'<img alt="box {i + 1}" src="data:image/png;base64,{data}">'
        boxes.append(f"<div class=box><h3>{i + 1}. {html.escape(box.caption)}</h3>"
                     f"<pre>{html.escape(box.text)}</pre><p>Answered: <b>{box.answer}</b></p>"
                     f"{image}</div>")
    page = f"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>setup.exe on Windows {facts['windows']}</title>
<style>body{{font-family:sans-serif;margin:2em}} table{{border-collapse:collapse}}
td,th{{border:1px solid #999;padding:3px 8px;text-align:left;font-family:monospace}}
.box{{border:1px solid #ccc;padding:0 1em 1em;margin:1em 0}} pre{{white-space:pre-wrap}}</style>
</head><body>
<h1>What setup.exe did on Windows {facts['windows']}</h1>
<ul><li>Command line: <code>{html.escape(facts['command'])}</code></li>
<li>Media: <code>{html.escape(str(facts['media']))}</code></li>
<li>Exit status: <b>{facts['status']}</b>: {html.escape(facts['meaning'])}</li>
<li>Restart: {html.escape(facts['restart'])}</li></ul>
<h2>Message boxes</h2>{''.join(boxes) or '<p>(none)</p>'}
<h2>Files under the Windows directory</h2>{html_table(['change', 'path', 'size'], facts['files'])}
<h2>Registry</h2><p>{NOISE_NOTE}</p>{html_table(['change', 'key or value', 'data'], facts['registry'])}
<h2>Programs started</h2>{html_table(['program', 'command line', 'exit status'],
                                     facts['programs'])}
<h2>Sections installed</h2><ul>{''.join(f'<li>{html.escape(s)}</li>' for s in facts['sections'])
                              or '<li>(none)</li>'}</ul>
</body></html>
"""
    (out / "report.html").write_text(page)
    return "\n".join(md)


def main(argv):
    args = parse_arguments(argv)
    phases = Phases()
    if args.build:
        build_dir = Path(args.build).resolve()
    else:
        phases.begin("installing tools")
        phases.end(install_tools())
        phases.begin("building setup.exe")
        build_dir = build()
        phases.end()

    stamp = datetime.datetime.now().strftime("%Y%m%d-%H%M%S")
    out = Path(args.out or ROOT / "build" / "try-setup" / stamp).resolve()
    shutil.rmtree(out / "machine", ignore_errors=True)
    out.mkdir(parents=True, exist_ok=True)

    phases.begin(f"preparing the emulated Windows {args.windows}")
    template = ROOT / "build" / "try-setup" / "template"
    wine_machine.make_template(template)
    media = out / "media"
    wine_machine.copy_media(Path(args.media) if args.media else build_dir / "sample-media", media)
    if not (media / "WIN98" / "setup.exe").exists():
        shutil.copy(build_dir / "setup.exe", media / "WIN98" / "setup.exe")
    machine = wine_machine.WineMachine(out / "machine", template, build_dir / "standin.exe",
                                       args.windows)
    machine.start()
    try:
        for key in (r"HKLM\Enum\USB\VID_1E2D&PID_4182\5&1A2B&0&1",
                    r"HKLM\Enum\USB\VID_1E2D&PID_4181\5&1A2B&0&2"):
            machine.add_key_value(key, "Driver", "USB")
        registry_before = parse_export(wine_machine.without_emulator_keys(
            machine.export_registry(out / "machine" / "before.reg")))
        files_before = machine.file_tree()
        phases.end()

        phases.begin("running setup.exe")
        arguments = ["-s"] if args.silent else []
        answers = [] if args.silent else [args.answer_welcome, args.answer_restart]
        run = machine.run_setup(media, arguments, answers)
        phases.end(f"(exit status {run.status})")

        restart_asked = any("reboot the system?" in b.text for b in run.boxes)
        restarted = False
        if restart_asked and args.answer_restart == "yes":
            phases.begin("restarting the emulated system")
            restarted = machine.wait_until(
                lambda: any(r[0] == "rdwatch" for r in machine.standin_records()), 60)
            phases.end()
        else:
            # The setup's last deletions run on after it; the report shows their end.
            machine.wait_until(lambda: not any(
                machine.unix_path(rf"C:\windows\temp\{name}").exists()
                for name in ("scbase", "smclib", "scbase.exe", "smclib.exe")), 10)

        phases.begin("collecting")
        registry_after = parse_export(wine_machine.without_emulator_keys(
            machine.export_registry(out / "machine" / "after.reg")))
        files_after = machine.file_tree()
        records = machine.standin_records()
    finally:
        machine.stop()

    for box in run.boxes:
        kept = out / box.screenshot.name
        if box.screenshot.exists():
            shutil.copy(box.screenshot, kept)
        box.screenshot = kept
    registry = registry_changes(registry_before, registry_after)
    # The stand-in packages' setup information files mark their installation
    # with a value under "Vantrel Test"; real packages leave their own traces.
    sections = [f"{marker_package(key)}.inf, section DefaultInstall (its marker value {key} "
                "is set)"
                for change, key, _ in registry
                if change == "value set" and "\\Vantrel Test\\" in key]
    programs = [(name, f"{name} {command}".strip(), status) for name, command, status in records]
    if restarted:
        restart = "requested and performed: the monitor program ran at the next start"
    elif restart_asked:
        restart = "offered and declined"
    else:
        restart = "not offered"
    meanings = exit_status_meanings()
    facts = {
        "windows": {"98": "98", "me": "Me"}[args.windows],
        "command": "setup.exe" + (" -s" if args.silent else ""),
        "media": args.media or "sample media",
        "status": run.status,
        "meaning": meanings.get(run.status, "not in the exit status table"),
        "restart": restart,
        "boxes": run.boxes,
        "files": [c for c in file_changes(files_before, files_after)
                  if c[1].lower().startswith("c:\\windows\\")],
        "registry": registry,
        "programs": programs,
        "sections": sections,
    }
    report = write_report(out, facts)
    phases.end()
    print()
    print(report)
    print(f"Report: {out / 'report.md'} and {out / 'report.html'}")
    shutil.rmtree(out / "machine" / "prefix", ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
