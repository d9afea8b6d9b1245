#include "runs/front_door.h"

#include "common/exit_status.h"
#include "common/messages.h"
#include "common/windows_version.h"
#include "runs/installation.h"
#include "runs/removal.h"
#include "runs/single_setup.h"

namespace {

// The option "-" letter, in either case: of all bytes, only the letter's two
// cases map to it with the lower-case bit set.
bool IsOption(const char* argument, char letter) {
  return argument[0] == '-' && (argument[1] | 0x20) == letter && argument[2] == '\0';
}

}  // namespace

CommandLine ReadCommandLine(int argc, const char* const* argv) {
  CommandLine line{false, false};
  // Each option once, in any order; anything else makes it an interactive installation.
  for (int i = 1; i < argc; ++i) {
    if (!line.silent && IsOption(argv[i], 's')) {
      line.silent = true;
    } else if (!line.remove && IsOption(argv[i], 'u')) {
      line.remove = true;
    } else {
      return {false, false};
    }
  }
  return line;
}

uint32_t RunSetup(int argc, const char* const* argv, System& system) {
  RunContext run{system, SetupState()};
  CommandLine commandLine = ReadCommandLine(argc, argv);
  run.state.silent = commandLine.silent;
  // Windows 9x files and settings would harm the NT family: it is told so
  // before anything is asked or changed. A failed query goes on.
  if (IsWindowsNt(system)) {
    ShowNotice(run, MessageId::kNotWindows9x, kSetupCaption);
    return static_cast<uint32_t>(ExitStatus::kNotWindows9x);
  }
  if (AnotherSetupIsRunning(system)) EndSetup(run, ExitStatus::kAnotherSetupRunning);
  return commandLine.remove ? RunRemoval(run) : RunInstallation(run);
}
