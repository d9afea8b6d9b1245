#!/usr/bin/env python3
"""Comparing recorded runs: with the simulated machine's, and the twin's with the shipped setup.exe's."""

import unittest

from tools.comparison import call_comparison
from tools.harness import call_trace, wine_machine


def calls(*texts):
    return [call_trace.Call(op, tuple(values.split("|")), result)
            for op, values, result in (text.split(" ") for text in texts)]


class ComparingRuns(unittest.TestCase):
    def test_the_same_calls_make_no_difference(self):
        run = calls("DeleteFileA a 1", "CopyFileA a|b|0 1")
        self.assertIsNone(call_comparison.difference(run, list(run), "me"))

    def test_a_difference_shows_both_sides_from_the_first_call_that_parts(self):
        shown = call_comparison.difference(calls("DeleteFileA a 1", "CopyFileA a|b|0 1"),
                                           calls("DeleteFileA a 1", "CopyFileA a|b|0 0"), "me")
        self.assertIn("=>   1 CopyFileA(a, b, 0) = 1", shown)
        self.assertIn("| CopyFileA(a, b, 0) = 0", shown)


class ComparingTheTwin(unittest.TestCase):
    def test_the_first_call_where_the_twin_parts_is_named(self):
        before = ["CloseHandle h1 1"] * 5
        shipped = wine_machine.Run(0, [], calls(*before, "WinExec deltree|0 started"))
        twin = wine_machine.Run(0, [], calls(*before, "WinExec deltree|0 2"))
        self.assertEqual(call_comparison.first_difference([shipped], [twin]), [
            "run 1, call 6: the shipped setup.exe made WinExec(deltree, 0) = started, its twin "
            "WinExec(deltree, 0) = 2"])
        self.assertEqual(call_comparison.first_difference([shipped], [shipped]), [])
        self.assertEqual(call_comparison.first_difference([shipped], []),
                         ["the shipped setup.exe ran 1 time(s), its twin 0"])


if __name__ == "__main__":
    unittest.main()
