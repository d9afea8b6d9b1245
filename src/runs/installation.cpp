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
  if (!run.state.silent && AskYesNo(run, MessageId::kWelcome) == kIdNo) {
    EndSetup(run, ExitStatus::kCompleted);
  }

  ByteString currentDirectory;
  if (!QueryCurrentDirectory(run.system, kMediaPathBuffer, &currentDirectory)) {
    EndSetup(run, ExitStatus::kDirectoryUnreadable);
  }
  run.state.sourceDir = SourceDirFrom(run.system, currentDirectory);
  if (!QueryWindowsDirectory(run.system, &run.state.windowsDir)) {
    EndSetup(run, ExitStatus::kDirectoryUnreadable);
  }

  // The first shortfall met names the status; none stops the run.
  ExitStatus status = ExitStatus::kCompleted;
  auto shortfall = [&status](bool met, ExitStatus named) {
    if (met && status == ExitStatus::kCompleted) status = named;
  };
  auto placed = [&shortfall](Placed placed) {
    shortfall(placed == Placed::kNot, ExitStatus::kPackageFileNotPlaced);
    shortfall(placed == Placed::kPlacedLeftoverStays, ExitStatus::kLeftoverStays);
  };
  placed(PlaceDriverPackage(run));
  RemoveDriverDatabase(run);
  ResetDeviceEntries(run);
  ConfigureSmartCardService(run);
  // Placed on Windows Me only: where the version cannot be read, it may be missing.
  bool versionUnread = false;
  if (IsWindowsMe(run.system, &versionUnread)) placed(PlaceHubInf(run));
  shortfall(versionUnread, ExitStatus::kPackageFileNotPlaced);
  BaseComponents baseComponents = InstallBaseComponents(run);
  if (baseComponents == BaseComponents::kNotStaged) {
    ShowNotice(run, MessageId::kBaseComponentsFailed, kSetupCaption);
    return static_cast<uint32_t>(ExitStatus::kBaseComponentsFailed);
  }
  shortfall(baseComponents == BaseComponents::kStagedCopyLeft, ExitStatus::kLeftoverStays);
  shortfall(!RegisterMonitorStartup(run), ExitStatus::kMonitorNotRegistered);
  ByteString copy = run.state.windowsDir + kOwnCopySuffix;
  Placed own = PlaceOwnCopy(run, copy);
  shortfall(own == Placed::kNot || !RegisterRemoval(run, copy), ExitStatus::kNotRemovable);
  shortfall(own == Placed::kPlacedLeftoverStays, ExitStatus::kLeftoverStays);
  if (!run.state.silent) OfferRestart(run);
  return static_cast<uint32_t>(status);
}
