// Where Windows NT breaks a promise that Windows 9x keeps, these keep it.
#pragma once

#include <windows.h>

// RegDeleteKeyA as on Windows 9x: the key goes with every key beneath it (NT
// refuses to delete a key that has subkeys).
LONG DeleteKeyTree(HKEY key, const char* subKey);

// On NT, enables the shutdown privilege that a restart request needs; the
// functions are looked up at run time, since Windows 9x lacks some of them.
void EnableShutdownPrivilegeOnNt();
