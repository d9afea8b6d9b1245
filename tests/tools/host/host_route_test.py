#!/usr/bin/env python3
"""Where the Wine parts run (tools/host_route.py) and the emulated PC's own
promises (tools/emulated_pc.py): a failed making or boot leaves nothing
behind, and nothing of the host's is removed with a half-made guest."""

import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path
from unittest import mock

from tools.host import emulated_pc, host_route
from tools.host.host_route import Host


class RouteChoice(unittest.TestCase):
    def test_the_route_follows_what_the_host_offers(self):
        # runs_i386, through_user_emulation, pc_emulator, pc_asked -> route, reason holds
        table = [
            (Host(True, False, False, False), "direct", ""),
            (Host(True, False, True, False), "direct", ""),
            (Host(False, False, True, False), "emulated-pc", "runs no 32-bit x86 program"),
            (Host(True, True, True, False), "emulated-pc", "user-mode emulator"),
            (Host(True, False, True, True), "emulated-pc", "EMULATED_PC=1"),
            (Host(False, False, False, False), "none", "install those two packages"),
            (Host(True, True, False, False), "none", "user-mode emulator"),
            (Host(True, False, False, True), "none", "EMULATED_PC=1"),
        ]
        for host, route, reason in table:
            with self.subTest(host=host):
                chosen, why = host_route.choose(host)
                self.assertEqual(chosen, route)
                self.assertIn(reason, why)

    @unittest.skipUnless(Path("/lib/ld-linux.so.2").exists(), "no 32-bit x86 loader to compare")
    def test_the_probe_runs_where_the_32_bit_loader_runs(self):
        loader = subprocess.run(["sh", "-c", "/lib/ld-linux.so.2 --version"], capture_output=True)
        self.assertEqual(host_route.runs_i386(), loader.returncode == 0)


class RouteTable(unittest.TestCase):
    def test_each_route_runs_its_suites_where_they_can_run(self):
        # route -> beyond the suites every route runs: on the host, in the
        # emulated PC, on the host after the PC's part
        table = [
            ("direct", {"wine", "pages", "twin_calls"}, set(), set()),
            ("emulated PC beside the twin", {"twin"}, {"core"}, {"pc"}),
            ("emulated PC alone", set(), {"wine"}, {"pc", "pages"}),
            ("none", set(), set(), set()),
        ]
        self.assertEqual(sorted(host_route.ROUTES), sorted(row[0] for row in table))
        for name, host, pc, after_pc in table:
            with self.subTest(route=name):
                route = host_route.ROUTES[name]
                self.assertEqual(set(route.host) - set(host_route.EVERYWHERE), host)
                self.assertEqual((set(route.pc), set(route.after_pc)), (pc, after_pc))
                ran = route.host + route.pc + route.after_pc
                self.assertEqual(len(ran), len(set(ran)), "a suite runs once")
                self.assertLessEqual(set(ran), set(host_route.SUITES))
                if name != "direct":  # a host without 32-bit Wine runs no suite that needs it
                    self.assertEqual([s for s in route.host + route.after_pc
                                      if "32-bit Wine" in host_route.SUITES[s]], [])

    def test_the_wine_route_and_the_twin_choose_the_row(self):
        for wine_route, twin_runs, row in [("direct", True, "direct"),
                                           ("emulated-pc", True, "emulated PC beside the twin"),
                                           ("emulated-pc", False, "emulated PC alone"),
                                           ("none", True, "none")]:
            self.assertEqual(host_route.route_of(wine_route, twin_runs), row)

    def test_a_skip_names_the_feature_the_suite_lacks(self):
        with mock.patch.dict(host_route.FEATURES, {"32-bit Wine": lambda: "no 32-bit code",
                                                   "64-bit Wine": lambda: None}):
            self.assertIsNone(host_route.why_suite_cannot_run_here("twin"))
            self.assertEqual(host_route.why_suite_cannot_run_here("wine"),
                             "needs 32-bit Wine: no 32-bit code")
            self.assertEqual(host_route.why_suite_cannot_run_here("twin_calls"),
                             "needs 32-bit Wine: no 32-bit code")


class EmulatedPc(unittest.TestCase):
    def setUp(self):
        self.home = Path(tempfile.mkdtemp())
        patcher = mock.patch.object(emulated_pc, "HOME", self.home)
        patcher.start()
        self.addCleanup(patcher.stop)
        self.addCleanup(shutil.rmtree, self.home, ignore_errors=True)

    def test_shared_folders_are_each_shared_once(self):
        self.assertEqual(emulated_pc.top_folders(["/a/b", "/a", "/a/b/c", "/ab", "/a/"]),
                         [Path("/a"), Path("/ab")])

    def test_an_interrupted_making_is_never_used_and_made_again(self):
        guest = emulated_pc.guest_folder()
        partial = self.home / (guest.name + ".partial")
        (partial / "root").mkdir(parents=True)  # what an interrupted making left
        made = []

        def failing(folder):
            folder.mkdir()
            raise emulated_pc.GuestError("no room left")

        with mock.patch.object(emulated_pc, "make_into", side_effect=failing):
            with self.assertRaises(emulated_pc.GuestError):
                emulated_pc.make_guest()
        self.assertEqual(sorted(p.name for p in self.home.iterdir()), ["lock"])
        with mock.patch.object(emulated_pc, "make_into", side_effect=lambda f: made.append(f) or
                               f.mkdir()):
            self.assertEqual(emulated_pc.make_guest(), guest)
            self.assertEqual(emulated_pc.make_guest(), guest)
        self.assertEqual(len(made), 1, "the made guest is reused")

    def test_a_disk_too_full_is_said_before_anything_is_made(self):
        with mock.patch.object(emulated_pc.shutil, "disk_usage", return_value=mock.Mock(
                free=3 * 2**30)), mock.patch.object(emulated_pc, "make_into") as make_into:
            with self.assertRaisesRegex(emulated_pc.GuestError, "needs 12 GiB free in .* has 3.0"):
                emulated_pc.make_guest()
        make_into.assert_not_called()

    @unittest.skipUnless(os.geteuid() == 0, "mounting needs root")
    def test_a_folder_mounted_inside_a_half_made_guest_is_let_go_of_not_emptied(self):
        hosts_own = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, hosts_own, ignore_errors=True)
        (hosts_own / "device").write_text("the host's\n")
        mount_point = self.home / "guest.partial" / "root" / "dev"
        mount_point.mkdir(parents=True)
        subprocess.run(["mount", "--bind", str(hosts_own), str(mount_point)], check=True)
        emulated_pc.remove_guest_folder(self.home / "guest.partial")
        self.assertFalse((self.home / "guest.partial").exists())
        self.assertEqual((hosts_own / "device").read_text(), "the host's\n")

    @unittest.skipUnless(shutil.which("qemu-system-x86_64"), "QEMU's PC emulator is not here")
    def test_a_guest_that_cannot_boot_is_a_clear_error_and_leaves_nothing_running(self):
        guest = emulated_pc.guest_folder()
        guest.mkdir()
        for name in ("vmlinuz", "initrd.img", "root.img"):
            (guest / name).write_bytes(b"not what its name says\n")
        with self.assertRaises(emulated_pc.GuestError) as raised:
            emulated_pc.run(["true"], [], self.home, timeout=60)
        self.assertIn("the emulated PC stopped before the command ended", str(raised.exception))
        left = subprocess.run(["pgrep", "-f", f"qemu-system-x86_64.*{self.home}"],
                              capture_output=True, text=True).stdout
        self.assertEqual(left, "")
        self.assertEqual(list(self.home.glob("run-*")), [], "the run's folder is removed")


if __name__ == "__main__":
    unittest.main()
