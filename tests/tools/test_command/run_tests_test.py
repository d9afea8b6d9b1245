#!/usr/bin/env python3
"""What the test command reads of a ctest run: each test's result and output
from its JUnit report, the skips that fail it under CI, and the counts."""

import tempfile
import unittest
from pathlib import Path

from tools.test_command import run_tests

REPORT = """<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="(empty)" tests="3" failures="1" disabled="0" skipped="1">
  <testcase name="FaultSweep.Pairs" classname="x" time="2.5" status="run">
    <system-out>pairs of faults swept: 40
faults followed by a power cut swept: 7
</system-out>
  </testcase>
  <testcase name="twin.e2e.template" classname="x" time="0.1" status="notrun">
    <skipped message="SKIP_RETURN_CODE=77"/>
    <system-out>template: skipped: needs 64-bit Wine: it is not installed
</system-out>
  </testcase>
  <testcase name="e2e.silent_run_on_windows_98" classname="x" time="3.5" status="fail">
    <failure message=""/>
    <system-out>FAILED: exit status</system-out>
  </testcase>
</testsuite>
"""


class ReadingARun(unittest.TestCase):
    def setUp(self):
        folder = Path(tempfile.mkdtemp())
        (folder / "run.xml").write_text(REPORT)
        self.run = run_tests.SuiteRun("on this host", 8, run_tests.results_of(folder / "run.xml"))

    def test_each_test_has_its_result_and_time(self):
        self.assertEqual([(t.name, t.result, t.seconds) for t in self.run.results],
                         [("FaultSweep.Pairs", "Passed", 2.5),
                          ("twin.e2e.template", "Skipped", 0.1),
                          ("e2e.silent_run_on_windows_98", "Failed", 3.5)])

    def test_a_skip_is_named_with_the_reason_the_test_gave(self):
        self.assertEqual(run_tests.skipped([self.run]), [
            "twin.e2e.template on this host: template: skipped: needs 64-bit Wine: it is not "
            "installed"])

    def test_the_counts_are_added_up_by_name_and_run(self):
        self.assertEqual(run_tests.counts([self.run, self.run]), [
            "faults followed by a power cut swept (on this host): 14",
            "pairs of faults swept (on this host): 80"])

    def test_only_the_wine_tests_are_timed_the_longest_first(self):
        self.assertEqual(run_tests.wine_test_times([self.run]), [
            "     3.5 s  e2e.silent_run_on_windows_98  (Failed)",
            "     0.1 s  twin.e2e.template  (Skipped)"])

    def test_a_run_that_left_no_report_has_no_results(self):
        self.assertEqual(run_tests.results_of(Path(tempfile.mkdtemp()) / "none.xml"), [])


if __name__ == "__main__":
    unittest.main()
