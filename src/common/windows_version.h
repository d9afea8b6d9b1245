#pragma once

#include "platform/system.h"

// True on Windows Me (platform 1, minor version 90), asked of the system
// afresh; a query that fails reads as false, and sets *unread when given.
bool IsWindowsMe(System& system, bool* unread = nullptr);

// True on Windows 95, 98 and Me (platform 1), asked of the system afresh.
bool IsWindows9x(System& system);

// True on the Windows NT family (platform 2: NT, 2000, XP and later), asked of the system afresh.
bool IsWindowsNt(System& system);
