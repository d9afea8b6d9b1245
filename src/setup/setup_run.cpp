#include "setup/setup_run.h"

#include "basecomp/base_components.h"
#include "files/driver_files.h"
#include "registry/device_database.h"
#include "registry/removal_entry.h"
#include "registry/smart_card_service.h"
#include "registry/startup_registration.h"
#include "setup/directories.h"
#include "setup/exit_status.h"
#include "setup/messages.h"
#include "setup/removal_run.h"
#include "setup/single_setup.h"
#include "setup/windows_version.h"

namespace {
constexpr uint32_t kCurrentDirectoryBuffer = 256;
}  // namespace

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
  run.state.SilentMode = commandLine.silent;
  // Windows 9x files and settings would harm the NT family: it is told so
  // before anything is asked or changed. A failed query goes on.
  if (IsWindowsNt(system)) {
    ShowNotice(run, MsgNotWindows9x, SetupCaption);
    return static_cast<uint32_t>(ExitStatus::kNotWindows9x);
  }
  if (AnotherSetupIsRunning(system)) EndSetup(run, ExitStatus::kAnotherSetupRunning);
  if (commandLine.remove) return RunRemoval(run);
  if (!run.state.SilentMode && AskYesNo(run, MsgWelcome) == kIdNo) {
    EndSetup(run, ExitStatus::kCompleted);
  }

  ByteString currentDirectory;
  if (!QueryCurrentDirectory(system, kCurrentDirectoryBuffer, &currentDirectory)) {
    EndSetup(run, ExitStatus::kDirectoryUnreadable);
  }
  run.state.SourceDir = SourceDirFrom(system, currentDirectory);
  if (!QueryWindowsDirectory(system, &run.state.WindowsDir)) {
    EndSetup(run, ExitStatus::kDirectoryUnreadable);
  }

  PlaceDriverPackage(run);
  ResetDeviceDatabase(run);
  ConfigureSmartCardService(run);
  if (IsWindowsMe(system)) PlaceHubInf(run);
  if (!InstallBaseComponents(run)) {
    ShowNotice(run, MsgBaseComponentsFailed, SetupCaption);
    return static_cast<uint32_t>(ExitStatus::kBaseComponentsFailed);
  }
  RegisterMonitorStartup(run);
  bool removable = RegisterRemoval(run);
  if (!run.state.SilentMode) OfferRestart(run);
  return static_cast<uint32_t>(removable ? ExitStatus::kCompleted : ExitStatus::kNotRemovable);
}
