// The program's entry on Windows. It takes the place of the C runtime's
// start-up code, which is built for later processors than Windows 98 runs on:
// it asks the system's C runtime for the argument vector, runs the setup and
// ends through the runtime's normal exit.
#include <stdlib.h>

#include "platform/win32_system.h"
#include "runs/front_door.h"

namespace {
struct StartupRecord {
  int newMode;
};
}  // namespace

extern "C" {

// MSVCRT.DLL's splitting of the command line, as every program it starts uses.
int __cdecl __getmainargs(int* argc, char*** argv, char*** environment, int expandWildcards,
                          StartupRecord* startup);

// Called only if an abstract method were ever called, which the interface rules out.
void __cxa_pure_virtual() { abort(); }

void __stdcall SetupEntry() {
  int argc = 0;
  char** argv = nullptr;
  char** environment = nullptr;
  StartupRecord startup = {0};
  // Early runtimes return nothing; without arguments the setup simply runs interactively.
  __getmainargs(&argc, &argv, &environment, 0, &startup);
  if (argv == nullptr) argc = 0;
  Win32System system;
  exit(static_cast<int>(RunSetup(argc, argv, system)));
}

}  // extern "C"
