#!/usr/bin/env python3
"""The install step (tools/host_packages.py) against what the package
registry may do: it goes on as long as the packages install, and a package
that cannot be installed is named in one line."""

import subprocess
import tempfile
import unittest
from pathlib import Path

from tools.host import host_packages

SOURCES = """Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
"""
BAD_INDEX = ("E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/"
             "main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). "
             "Mirror sync in progress?\n")
UNREACHABLE = "W: Failed to fetch http://deb.debian.org/debian/dists/bookworm/InRelease  " \
              "Temporary failure resolving 'deb.debian.org'\n"
HELD = ("The following packages have unmet dependencies:\n"
        " wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be "
        "installed\nE: Unable to correct problems, you have held broken packages.\n")


class Registry:
    """apt-get and dpkg as a registry would have them answer: update's
    answers in turn, and install's answer for the lists it is given."""

    def __init__(self, updates, install, install_with_own_lists=None):
        self.updates = list(updates)
        self.install = install
        self.own_lists_install = install_with_own_lists or install
        self.commands = []
        self.sources_seen = None

    def __call__(self, command, **_):
        self.commands.append(command)
        if command[0] == "dpkg-query":
            return subprocess.CompletedProcess(command, 1, "", "")
        if command[0] == "dpkg":
            return subprocess.CompletedProcess(command, 0, "", "")
        own = [c.split("=", 1)[1] for c in command if c.startswith("Dir::Etc::SourceParts=")]
        if own and self.sources_seen is None:
            self.sources_seen = {p.name: p.read_text() for p in Path(own[0]).iterdir()}
        if "update" in command:
            status, output = self.updates.pop(0) if not own else (0, "")
        else:
            status, output = self.own_lists_install if own else self.install
        return subprocess.CompletedProcess(command, status, output, None)


class InstallStep(unittest.TestCase):
    def setUp(self):
        self.etc = Path(tempfile.mkdtemp())
        (self.etc / "sources.list.d").mkdir()
        (self.etc / "sources.list.d" / "debian.sources").write_text(SOURCES)

    def test_what_the_registry_does_and_what_the_step_says(self):
        ok = (0, "")
        # updates' answers, install's, with its own lists -> installed, or the failure's words
        table = [
            ("all well", [ok], ok, None, "", None),
            ("an update that fails once is tried again", [(100, BAD_INDEX), ok], ok, None,
             "", None),
            ("one bad index: its suite left out, for every architecture",
             [(100, BAD_INDEX)] * 2, (100, HELD), ok,
             "without bookworm-security, whose indexes the registry serves wrongly", None),
            ("one bad index and a dependency that cannot be met", [(100, BAD_INDEX)] * 2,
             (100, HELD), (100, HELD), None,
             "cannot install wine32:i386: Depends: libwine:i386 (= 8.0~repack-4) but it is not "
             "going to be installed (without bookworm-security, whose indexes the registry "
             "serves wrongly)"),
            ("a package missing", [ok], (100, "E: Unable to locate package wine33\n"), None, None,
             "cannot install wine33: it is in none of the package lists"),
            ("a package without a version to install", [ok],
             (100, "E: Package 'wine32:i386' has no installation candidate\n"), None, None,
             "cannot install wine32:i386: no version of it can be installed"),
            ("the registry cannot be reached", [(100, UNREACHABLE)] * 2,
             (100, "E: Unable to locate package xvfb\n"), None, None,
             "cannot install xvfb: it is in none of the package lists (the package registry "
             "cannot be reached: deb.debian.org)"),
        ]
        for name, updates, install, own_install, problem, failure in table:
            with self.subTest(name):
                registry = Registry(updates, install, own_install)
                try:
                    installed, said = host_packages.install(["xvfb", "wine32:i386"], registry,
                                                            self.etc)
                except host_packages.InstallError as error:
                    self.assertEqual(str(error), failure)
                    continue
                self.assertIsNone(failure, "installed, where a failure was expected")
                self.assertEqual((installed, said), (["xvfb", "wine32:i386"], problem))

    def test_the_failing_suite_is_left_out_and_the_others_kept(self):
        registry = Registry([(100, BAD_INDEX)] * 2, (100, HELD), (0, ""))
        host_packages.install(["wine32:i386"], registry, self.etc)
        self.assertEqual(registry.sources_seen, {"debian.sources": (
            "Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\n"
            "Components: main\n")})
        self.assertIn(["dpkg", "--add-architecture", "i386"], registry.commands)

    def test_nothing_is_asked_of_the_registry_when_all_is_installed(self):
        def installed(command, **_):
            return subprocess.CompletedProcess(command, 0, "install ok installed", "")
        self.assertEqual(host_packages.install(["xvfb"], installed, self.etc), ([], ""))

    def test_a_one_line_source_of_the_failing_suite_goes(self):
        (self.etc / "sources.list").write_text(
            "deb http://deb.debian.org/debian bookworm main\n"
            "deb [arch=amd64] http://deb.debian.org/debian-security bookworm-security main\n")
        files = host_packages.sources_without(["bookworm-security"], self.etc)
        self.assertEqual(files["sources.list"], "deb http://deb.debian.org/debian bookworm main")


if __name__ == "__main__":
    unittest.main()
