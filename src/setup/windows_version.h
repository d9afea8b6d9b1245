#pragma once

#include "platform/system.h"

// True on Windows Me (platform 1, minor version 90), asked of the system afresh.
bool IsWindowsMe(System& system);
