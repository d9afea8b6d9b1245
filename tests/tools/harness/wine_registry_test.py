#!/usr/bin/env python3
"""Reading the emulator's saved registry as its regedit and reg query show it,
and writing values into it before a session starts."""

import unittest

from tools.harness import wine_registry

LINK = ",".join(f"{b:02x}" for b in "\\Registry\\Machine\\Software\\Zones".encode("utf-16-le"))
# Keys with values only (parents are implied), a fixed-length string padded
# with NULs as the setup writes one, escapes, a folded binary value, an
# expandable string and a symbolic link whose target comes later.
SAVED = rf"""WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win32

[Software\\Run\\Once] 1796880393
#time=1dd886704fa6b80
"RDWatch"="C:\\windows\\rdWatch.exe\0\0\0"
"Say \"hi\""="a\nb\x00e9c"
@="default"
"Path"=str(2):"%SystemRoot%"
"Start"=dword:00000002
"Blob"=hex:01,02,\
  03

[Software\\Time Zones] 1796880393
#link
"SymbolicLinkValue"=hex(6):{LINK}

[Software\\Zones\\UTC] 1796880393
"Display"="UTC"
"""

EXPORT = r"""Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE]

[HKEY_LOCAL_MACHINE\Software]

[HKEY_LOCAL_MACHINE\Software\Run]

[HKEY_LOCAL_MACHINE\Software\Run\Once]
"RDWatch"="C:\\windows\\rdWatch.exe"
"Say \"hi\""="a\nb""" + "\u00e9" + r"""c"
@="default"
"Path"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,00,00,00
"Start"=dword:00000002
"Blob"=hex:01,02,03

[HKEY_LOCAL_MACHINE\Software\Time Zones]

[HKEY_LOCAL_MACHINE\Software\Time Zones\UTC]
"Display"="UTC"

[HKEY_LOCAL_MACHINE\Software\Zones]

[HKEY_LOCAL_MACHINE\Software\Zones\UTC]
"Display"="UTC"

"""


class ReadingTheSavedRegistry(unittest.TestCase):
    def setUp(self):
        self.registry = wine_registry.Registry(SAVED)

    def test_the_export_lists_every_key_and_shows_each_value_as_the_emulators_regedit_does(self):
        self.assertEqual(self.registry.export(), EXPORT)

    def test_queries_show_values_as_reg_query_does_and_absent_keys_as_none(self):
        cases = [
            (r"HKLM\software\run\ONCE", {
                "RDWatch": ("REG_SZ", r"C:\windows\rdWatch.exe"),
                'Say "hi"': ("REG_SZ", "a\nb\u00e9c"),
                "(Default)": ("REG_SZ", "default"),
                "Path": ("REG_EXPAND_SZ", "%SystemRoot%"),
                "Start": ("REG_DWORD", "0x2"),
                "Blob": ("REG_BINARY", "010203")}),
            (r"HKLM\Software\Run", {}),
            (r"HKLM\Software\Time Zones\UTC", {"Display": ("REG_SZ", "UTC")}),
            (r"HKLM\Software\Absent", None),
        ]
        for key, expected in cases:
            with self.subTest(key=key):
                self.assertEqual(self.registry.query(key), expected)

    def test_a_subtree_is_named_as_asked_and_its_subkeys_as_stored(self):
        self.assertEqual(self.registry.subtree(r"HKLM\software\time zones"),
                         [r"HKEY_LOCAL_MACHINE\software\time zones",
                          r"HKEY_LOCAL_MACHINE\software\time zones\UTC"])
        self.assertEqual(self.registry.subtree(r"HKLM\Software\Absent"), [])


class WritingValuesBeforeTheStart(unittest.TestCase):
    def test_values_are_set_and_removed_and_the_rest_kept(self):
        saved = wine_registry.with_values(SAVED, r"software\run\once",
                                          {"rdwatch": None, "Blob": None, "New": 'x\\"y'}, 7)
        saved = wine_registry.with_values(saved, r"Software\Fresh Key", {"Driver": "USB"}, 7)
        registry = wine_registry.Registry(saved)
        self.assertEqual(sorted(registry.query(r"HKLM\Software\Run\Once")),
                         ["(Default)", "New", "Path", "Say \"hi\"", "Start"])
        self.assertEqual(registry.query(r"HKLM\Software\Run\Once")["New"], ("REG_SZ", 'x\\"y'))
        self.assertEqual(registry.query(r"HKLM\Software\Fresh Key"), {"Driver": ("REG_SZ", "USB")})
        self.assertEqual(registry.query(r"HKLM\Software\Zones\UTC"), {"Display": ("REG_SZ", "UTC")})


if __name__ == "__main__":
    unittest.main()
