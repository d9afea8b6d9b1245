#include "runs/installation.h"

#include "common/exit_status.h"
#include "common/messages.h"
#include "common/path_queries.h"
#include "common/windows_version.h"
#include "steps/basecomp/base_components.h"
#include "steps/files/driver_files.h"
#include "steps/registry/device_database.h"
#include "steps/registry/removal_entry.h"
#include "steps/registry/smart_card_service.h"
#include "steps/registry/startup_registration.h"

uint32_t RunInstallation(RunContext& run) {
  if (!run.state.SilentMode && AskYesNo(run, MsgWelcome) == kIdNo) {
    EndSetup(run, ExitStatus::kCompleted);
  }

  ByteString currentDirectory;
  if (!QueryCurrentDirectory(run.system, kMediaPathBuffer, &currentDirectory)) {
    EndSetup(run, ExitStatus::kDirectoryUnreadable);
  }
  run.state.SourceDir = SourceDirFrom(run.system, currentDirectory);
  if (!QueryWindowsDirectory(run.system, &run.state.WindowsDir)) {
    EndSetup(run, ExitStatus::kDirectoryUnreadable);
  }

  PlaceDriverPackage(run);
  RemoveDriverDatabase(run);
  ResetDeviceEntries(run);
  ConfigureSmartCardService(run);
  if (IsWindowsMe(run.system)) PlaceHubInf(run);
  if (!InstallBaseComponents(run)) {
    ShowNotice(run, MsgBaseComponentsFailed, SetupCaption);
    return static_cast<uint32_t>(ExitStatus::kBaseComponentsFailed);
  }
  RegisterMonitorStartup(run);
  ByteString copy = run.state.WindowsDir + kOwnCopySuffix;
  bool removable = PlaceOwnCopy(run, copy) && RegisterRemoval(run, copy);
  if (!run.state.SilentMode) OfferRestart(run);
  return static_cast<uint32_t>(removable ? ExitStatus::kCompleted : ExitStatus::kNotRemovable);
}
