#!/usr/bin/env python3
"""Reading a relay trace into the setup's system calls and its boxes."""

import unittest

from tools.harness import call_trace, wine_machine

# A run as Wine relays it: the thread starts inside the system, another
# process's thread interleaves, WinExec calls into user32 on its own, a
# process handle is given out again after it was closed, and exit never returns.
TRACE = r"""0130:Call KERNEL32.BaseThreadInitThunk(00000000,00401000,3fff1000) ret=7bc5ca07
0130:Call msvcrt.__getmainargs(0060fedc,0060fee0,0060fee4,00000000,0060fee8) ret=0040103a
0130:Ret  msvcrt.__getmainargs() retval=00000000 ret=0040103a
0130:Call user32.CharPrevA(01350e88 "D:\\WIN98",01350e90 "") ret=00402717
0138:Call KERNEL32.GetFileAttributesA(0061e713 "C:\\other") ret=00401656
0130:Ret  user32.CharPrevA() retval=01350e8f ret=00402717
0130:Call advapi32.RegOpenKeyA(80000002,004031f1 "Software\\Setup",0060fd9c) ret=00401151
0130:Ret  advapi32.RegOpenKeyA() retval=00000000 ret=00401151
0130:Call advapi32.RegCloseKey(0000005c) ret=00402965
0130:Ret  advapi32.RegCloseKey() retval=00000000 ret=00402965
0130:Call KERNEL32.CloseHandle(00000064) ret=00402b98
0130:Ret  KERNEL32.CloseHandle() retval=00000001 ret=00402b98
0130:Call KERNEL32.WaitForSingleObject(00000064,ffffffff) ret=00402b98
0130:Ret  KERNEL32.WaitForSingleObject() retval=00000000 ret=00402b98
0130:Call KERNEL32.WinExec(01350f20 "deltree /Y C:\\w\\temp",00000000) ret=00402bc8
0130:Call user32.WaitForInputIdle(00000084,00007530) ret=7b61a1da
0130:Ret  user32.WaitForInputIdle() retval=ffffffff ret=7b61a1da
0130:Ret  KERNEL32.WinExec() retval=00000021 ret=00402bc8
0130:Call user32.MessageBoxA(00000000,00403000 "Copy \"a\"\n",00403100 "Error!!!",00000000) ret=00401200
0130:Ret  user32.MessageBoxA() retval=00000001 ret=00401200
0130:Call msvcrt.exit(00000003) ret=00401040
"""


class ReadingARelayTrace(unittest.TestCase):
    def test_only_the_setups_own_calls_are_kept_in_order_with_their_handles_named(self):
        self.assertEqual([
            "CharPrevA(D:\\WIN98, 8) = 7",
            "RegOpenKeyA(HKLM, Software\\Setup) = 0",
            "RegCloseKey(HKLM\\Software\\Setup) = 0",
            "CloseHandle(h1) = 1",
            "WaitForSingleObject(h2, 0xFFFFFFFF) = 0x0",
            "WinExec(deltree /Y C:\\w\\temp, 0) = started",
            "MessageBoxA(Error!!!, Copy \"a\"\\n, 0) = 1",
            "ExitProcess(3) = -",
        ], [str(call) for call in call_trace.parse_relay(TRACE)])


# The same calls as the 64-bit twin's process relays them: pointers wider,
# HKEY_LOCAL_MACHINE sign-extended, and 32-bit values in registers whose upper
# half holds whatever it held.
TRACE_64 = r"""0140:Call msvcrt.__getmainargs(0021fda0,0021fda8,0021fdb0,00000000,0021fda4) ret=14000103f
0140:Ret  msvcrt.__getmainargs() retval=00000000 ret=14000103f
0140:Call user32.CharPrevA(00c81410 "D:\\WIN98",00c81418 "") ret=14000212f
0140:Ret  user32.CharPrevA() retval=00c81417 ret=14000212f
0140:Call advapi32.RegOpenKeyA(ffffffff80000002,1400045fd "Software\\Setup",0021faf8) ret=140001161
0140:Ret  advapi32.RegOpenKeyA() retval=00000000 ret=140001161
0140:Call advapi32.RegCloseKey(000000000000005c) ret=140002965
0140:Ret  advapi32.RegCloseKey() retval=00000000 ret=140002965
0140:Call KERNEL32.CloseHandle(0000000000000064) ret=140002b98
0140:Ret  KERNEL32.CloseHandle() retval=00000001 ret=140002b98
0140:Call KERNEL32.WaitForSingleObject(0000000000000064,1ffffffff) ret=140002b98
0140:Ret  KERNEL32.WaitForSingleObject() retval=100000000 ret=140002b98
0140:Call KERNEL32.WinExec(00c81520 "deltree /Y C:\\w\\temp",100000000) ret=140002bc8
0140:Ret  KERNEL32.WinExec() retval=00000021 ret=140002bc8
0140:Call user32.MessageBoxA(00000000,140004000 "Copy \"a\"\n",140004100 "Error!!!",00000000) ret=140001200
0140:Ret  user32.MessageBoxA() retval=00000001 ret=140001200
0140:Call msvcrt.exit(100000003) ret=140001040
"""


class ReadingTheTwinsTrace(unittest.TestCase):
    def test_a_64_bit_process_gives_the_calls_the_32_bit_setup_gives(self):
        self.assertEqual([str(c) for c in call_trace.parse_relay(TRACE_64)],
                         [str(c) for c in call_trace.parse_relay(TRACE)])


# Boxes as the trace shows them: two setups at once, each on its own thread,
# one box answered, one whose call failed, one still waiting.
BOX_TRACE = r"""0130:Call user32.MessageBoxA(00000000,00403000 "Remove?\n",00403100 "Setup",00000004) ret=1
0138:Call user32.MessageBoxA(00000000,00403000 "Failed!.\n",00403100 "Error!!!",00000000) ret=1
0130:trace:msgbox:MSGBOX_OnInit L"Remove?\n"
0138:trace:msgbox:MSGBOX_OnInit L"Failed!.\n"
0138:Ret  user32.MessageBoxA() retval=ffffffff ret=00401200
0130:Ret  user32.MessageBoxA() retval=00000007 ret=00401200
0130:Call user32.MessageBoxA(00000000,00403000 "Restart?",00403100 "Setup",00000004) ret=1
0130:trace:msgbox:MSGBOX_OnInit L"Restart?"
"""


class ReadingBoxesFromATrace(unittest.TestCase):
    def test_each_box_has_its_text_kind_and_the_return_on_its_own_thread(self):
        self.assertEqual(
            [(b.text, b.asks, b.returned) for b in wine_machine.traced_boxes(BOX_TRACE)[0]],
            [("Remove?\n", True, 7), ("Failed!.\n", False, -1), ("Restart?", True, None)])

    def test_a_box_asked_for_that_never_opened_is_known_by_its_text(self):
        self.assertEqual(wine_machine.traced_boxes(BOX_TRACE)[1], [])
        self.assertEqual(wine_machine.traced_boxes(BOX_TRACE.split("0130:trace")[0])[1],
                         ["Remove?\n", "Failed!.\n"])

    def test_a_box_is_named_by_its_text_whatever_path_it_names(self):
        for text, name in [
            ('Copy file "D:\\WIN98\\kt418.sys" to "C:\\W\\kt418.sys" failed\n', "copy failure"),
            ("Remove the Vantrel USB Smart Card Reader driver from this computer?\n",
             "removal question"),
            ("Remove the Vantrel USB Smart Card Reader driver from this computer?", None),
        ]:
            self.assertEqual(wine_machine.box_name(text), name, text)


if __name__ == "__main__":
    unittest.main()
