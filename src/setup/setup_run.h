// The run: from the command line to the last installation step.
#pragma once

#include <stdint.h>

#include "platform/system.h"

// True only for exactly one argument that is "-s" or "-S".
bool IsSilentCommandLine(int argc, const char* const* argv);

// Runs the setup on the system with the argument vector the platform split
// (element 0 is the program's name) and returns the process status.
uint32_t RunSetup(int argc, const char* const* argv, System& system);
