// The run: from the command line to the last installation step.
#pragma once

#include <stdint.h>

#include "platform/system.h"

// What another installer, Add/Remove Programs or the user asks for.
struct CommandLine {
  bool silent;
  bool remove;
};

// "-s" alone: a silent installation; "-u" alone: a removal; "-u" and "-s", in
// either order: a silent removal; each letter in either case. Any other
// command line: an interactive installation.
CommandLine ReadCommandLine(int argc, const char* const* argv);

// Runs the setup on the system with the argument vector the platform split
// (element 0 is the program's name) and returns the process status.
uint32_t RunSetup(int argc, const char* const* argv, System& system);
