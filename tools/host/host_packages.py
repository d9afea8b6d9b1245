#!/usr/bin/env python3
"""Installs Debian packages on this host, as root, through a registry that
serves some of its indexes wrongly.

The registry can serve one index out of step with its release file for days.
`apt-get update` then fails although every other list came, and on a host
with the i386 architecture the amd64 lists of the failing suite offer library
versions whose i386 twins cannot be had, so that an install of 32-bit
packages fails as "held broken packages". So a failing update is tried once
more; if it still fails, the suites whose indexes failed are left out, for
every architecture, in lists of this install's own (the host's lists stay as
they are), and the packages are installed from the rest. Only a package that
cannot be installed stops it, with one line that names the package and why.

    host_packages.py PACKAGE...   installs those not installed; a name ending
                                  in ":i386" adds the i386 architecture first
"""

import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path

APT_ETC = Path("/etc/apt")


class InstallError(Exception):
    """One line: which package cannot be installed, and why."""


def apt_env():
    return dict(os.environ, DEBIAN_FRONTEND="noninteractive", LC_ALL="C")


def run_quiet(command, run):
    """The command's status and its output, both streams in one text."""
    result = run(command, env=apt_env(), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                 text=True)
    return result.returncode, result.stdout or ""


def missing(packages, run):
    return [p for p in packages
            if "ok installed" not in run(["dpkg-query", "-W", "-f=${Status}", p],
                                         capture_output=True, text=True).stdout]


def failed_suites(update_output):
    """The suites whose indexes the update could not fetch."""
    return sorted(set(re.findall(r"Failed to fetch \S+/dists/([^/\s]+)/", update_output)))


def unreachable_hosts(update_output):
    return sorted(set(re.findall(r"(?:Could not resolve|Temporary failure resolving|"
                                 r"Could not connect to) '?([\w.-]+)", update_output)))


def sources_without(suites, etc=APT_ETC):
    """The host's package sources with those suites taken out, as
    {file name: text}, for a SourceParts folder of this install's own."""
    files = {}
    parts = sorted((etc / "sources.list.d").glob("*.list")) + \
        sorted((etc / "sources.list.d").glob("*.sources"))
    main_list = etc / "sources.list"
    for path in ([main_list] if main_list.exists() else []) + parts:
        text = path.read_text(errors="replace")
        if path.suffix == ".sources":
            files[path.name] = "\n\n".join(
                s for s in (stanza_without(s, suites) for s in re.split(r"\n\s*\n", text)) if s)
        else:
            files[path.name + ("" if path.suffix == ".list" else ".list")] = "\n".join(
                line for line in text.splitlines() if not one_line_names(line, suites))
    return files


def debian_lines(suites, etc=APT_ETC):
    """One-line sources ("deb URI SUITE COMPONENTS") for those of suites that
    the host's package sources serve, from the host's own entries."""
    entries = []
    for path in [etc / "sources.list", *sorted((etc / "sources.list.d").glob("*.list"))]:
        if path.exists():
            for line in path.read_text(errors="replace").splitlines():
                words = re.sub(r"\[[^\]]*\]", "", line.split("#", 1)[0]).split()
                if len(words) >= 4 and words[0] == "deb":
                    entries.append((words[1], [words[2]], words[3:]))
    for path in sorted((etc / "sources.list.d").glob("*.sources")):
        for stanza in re.split(r"\n\s*\n", path.read_text(errors="replace")):
            fields = dict((k.strip().lower(), v.split()) for k, v in
                          (line.split(":", 1) for line in stanza.splitlines()
                           if ":" in line and not line.startswith(("#", " "))))
            if "deb" in fields.get("types", []) and fields.get("uris"):
                entries.append((fields["uris"][0], fields.get("suites", []),
                                fields.get("components", ["main"])))
    return [f"deb {uri} {suite} {' '.join(components)}"
            for uri, served, components in entries for suite in served if suite in suites]


def stanza_without(stanza, suites):
    """A deb822 stanza less the suites; None when it keeps none."""
    lines = stanza.strip().splitlines()
    for i, line in enumerate(lines):
        if line.lower().startswith("suites:"):
            kept = [s for s in line.split(":", 1)[1].split() if s not in suites]
            if not kept:
                return None
            lines[i] = "Suites: " + " ".join(kept)
    return "\n".join(lines) + "\n"


def one_line_names(line, suites):
    """Whether a one-line source ("deb [options] URI SUITE ...") names one of the suites."""
    words = re.sub(r"\[[^\]]*\]", "", line.split("#", 1)[0]).split()
    return len(words) >= 3 and words[0] in ("deb", "deb-src") and words[2] in suites


def install_failure(packages, output, update_problem):
    """The one line that says which package cannot be installed, and why."""
    located = re.search(r"Unable to locate package (\S+)", output)
    candidate = re.search(r"Package '?([^'\s]+)'? has no installation candidate", output)
    if located or candidate:
        name = (located or candidate).group(1)
        cause = "it is in none of the package lists" if located else \
            "no version of it can be installed"
    else:
        unmet = re.search(r"^ ?(\S+) : (Depends: .*)$", output, re.M)
        errors = [line[3:] for line in output.splitlines() if line.startswith("E: ")]
        name = unmet.group(1) if unmet else " ".join(packages)
        cause = unmet.group(2).strip() if unmet else (errors[-1] if errors else
                                                      "apt-get install failed")
    if update_problem:
        cause += f" ({update_problem})"
    return f"cannot install {name}: {cause}"


def install(packages, run=subprocess.run, etc=APT_ETC):
    """Installs those of packages that are not installed; returns their names
    and what went wrong on the way, if anything. Raises InstallError when one
    cannot be installed."""
    wanted = missing(packages, run)
    if not wanted:
        return [], ""
    if any(p.endswith(":i386") for p in wanted):
        foreign = run(["dpkg", "--print-foreign-architectures"], capture_output=True,
                      text=True).stdout.split()
        if "i386" not in foreign:
            added = run(["dpkg", "--add-architecture", "i386"], capture_output=True, text=True)
            if added.returncode != 0:
                raise InstallError("cannot add the i386 architecture: " +
                                   (added.stderr.strip() or f"dpkg ended with {added.returncode}"))
    with tempfile.TemporaryDirectory() as own:
        options, update_problem = updated_lists(run, Path(own), etc)
        status, output = run_quiet(["apt-get", *options, "install", "-y", "-q", *wanted], run)
    if status != 0:
        raise InstallError(install_failure(wanted, output, update_problem))
    return wanted, update_problem


def updated_lists(run, own, etc):
    """Updates the package lists, tried twice; when some indexes still fail,
    fetches lists of this install's own into own without their suites.
    Returns the apt options that use the lists, and what went wrong, if anything."""
    for _ in range(2):
        status, output = run_quiet(["apt-get", "update", "-q"], run)
        if status == 0:
            return [], ""
    hosts = unreachable_hosts(output)
    if hosts:
        return [], "the package registry cannot be reached: " + ", ".join(hosts)
    suites = failed_suites(output)
    if not suites:
        return [], "apt-get update failed"
    (own / "sources").mkdir()
    (own / "lists" / "partial").mkdir(parents=True)
    for name, text in sources_without(suites, etc).items():
        (own / "sources" / name).write_text(text)
    options = ["-o", f"Dir::Etc::SourceParts={own / 'sources'}",
               "-o", "Dir::Etc::SourceList=/dev/null",
               "-o", f"Dir::State::Lists={own / 'lists'}"]
    run_quiet(["apt-get", *options, "update", "-q"], run)
    return options, "without " + ", ".join(suites) + ", whose indexes the registry serves wrongly"


def main(argv):
    try:
        installed, problem = install(argv)
    except InstallError as error:
        print(f"host_packages: {error}", file=sys.stderr)
        return 1
    if installed:
        print("installed " + " ".join(installed) + (f" ({problem})" if problem else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
