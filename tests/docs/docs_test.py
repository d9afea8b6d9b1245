#!/usr/bin/env python3
"""The documents a newcomer reads: every link resolves, to a file and to a
heading in it, and every command they show takes the options it is shown with."""

import re
import subprocess
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
DOCUMENTS = [ROOT / "README.md", ROOT / "ARCHITECTURE.md", *sorted((ROOT / "docs").glob("*.md"))]
LINK = re.compile(r"\]\(([^)\s]+)\)")
COMMANDS = {"./try-setup": ["./try-setup", "--help"], "./run-tests": ["./run-tests", "--help"],
            "tools.trying.report_picture": ["python3", "-m", "tools.trying.report_picture",
                                            "--help"],
            "tools.benchmark.benchmark_setup": ["python3", "-m", "tools.benchmark.benchmark_setup",
                                                "--help"]}


def program(line):
    """The command a shown line runs, the module a "python3 -m" line names, and
    what follows it."""
    words = line.split(" ")
    if words[:2] == ["python3", "-m"] and len(words) > 2:
        return words[2], " ".join(words[3:])
    return words[0], " ".join(words[1:])


def anchors(document):
    """The anchors of a document's headings, as the repository's pages make them."""
    found = set()
    for line in document.read_text().splitlines():
        heading = re.match(r"#+ (.*)", line)
        if heading:
            text = re.sub(r"[`*]", "", heading.group(1)).strip().lower()
            found.add(re.sub(r"[^\w\- ]", "", text).replace(" ", "-"))
    return found


def shown_commands(document):
    """The command lines a document shows in its code blocks, continuations joined."""
    text = re.sub(r"\\\n\s*", " ", document.read_text())
    return [line.strip() for line in text.splitlines()
            if line.startswith("    ") and program(line.strip())[0] in COMMANDS]


class Documents(unittest.TestCase):
    def test_every_link_resolves_to_a_file_and_a_heading_in_it(self):
        for document in DOCUMENTS:
            for target in LINK.findall(document.read_text()):
                if re.match(r"\w+:", target):
                    continue  # a page outside the repository
                path, _, anchor = target.partition("#")
                linked = (document.parent / path).resolve() if path else document
                with self.subTest(document=document.name, link=target):
                    self.assertTrue(linked.exists(), f"{linked} does not exist")
                    if anchor:
                        self.assertIn(anchor, anchors(linked))

    def test_every_command_shown_takes_the_options_it_is_shown_with(self):
        helps = {name: subprocess.run(command, cwd=ROOT, capture_output=True, text=True,
                                      timeout=60).stdout
                 for name, command in COMMANDS.items()}
        for document in DOCUMENTS:
            for line in shown_commands(document):
                name, rest = program(line)
                for option in re.findall(r"(?<!\S)(--?[a-zA-Z][\w-]*)", rest):
                    with self.subTest(document=document.name, command=line):
                        self.assertRegex(helps[name], r"(?<![\w-])" + re.escape(option) + r"\b")


def statuses(document, heading):
    """The status numbers of the table under the heading of a document."""
    section = document.read_text().split(f"## {heading}", 1)[1].split("\n## ", 1)[0]
    return [int(n) for n in re.findall(r"^\| (\d+) \|", section, re.M)]


class Figures(unittest.TestCase):
    def test_the_readmes_short_table_has_every_status_of_the_full_one(self):
        self.assertEqual(
            statuses(ROOT / "README.md", "Deployers: the command line and the exit status"),
            statuses(ROOT / "docs" / "behaviour.md", "Exit status"))

    def test_the_size_limit_stated_is_the_one_the_check_holds(self):
        check = (ROOT / "tests" / "windows" / "check_setup_exe.py").read_text()
        limit = eval(re.search(r"^MAX_SIZE = ([\d *+]+)$", check, re.M).group(1))
        stated = re.search(r"([\d,]+) bytes, the most it may be",
                           (ROOT / "docs" / "behaviour.md").read_text()).group(1)
        self.assertEqual(int(stated.replace(",", "")), limit)


if __name__ == "__main__":
    unittest.main()
