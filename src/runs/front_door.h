// The front door: reads the command line, makes sure the setup may run here
// and now, and hands over to the installation or the removal.
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
