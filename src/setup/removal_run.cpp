#include "setup/removal_run.h"

#include "files/driver_files.h"
#include "registry/device_database.h"
#include "registry/removal_entry.h"
#include "registry/startup_registration.h"
#include "setup/directories.h"
#include "setup/exit_status.h"
#include "setup/messages.h"

uint32_t RunRemoval(RunContext& run) {
  // Only a Yes removes: a box that cannot be shown is no consent.
  if (!run.state.SilentMode && AskYesNo(run, MsgRemove) != kIdYes) {
    return static_cast<uint32_t>(ExitStatus::kCompleted);
  }
  if (!QueryWindowsDirectory(run.system, &run.state.WindowsDir)) {
    return static_cast<uint32_t>(ExitStatus::kDirectoryUnreadable);
  }
  ByteString copy = run.state.WindowsDir + kOwnCopySuffix;
  if (!PackageIsPresent(run) && !RemovalIsRegistered(run) &&
      WhatStandsAt(run.system, copy) != Existing::kFile) {
    ShowNotice(run, MsgNothingToRemove, SetupCaption);
    return static_cast<uint32_t>(ExitStatus::kCompleted);
  }

  RemovalOutcome outcome = RemovePackage(run);
  ForgetMonitorStartup(run);
  ForgetTheReader(run);
  if (!DeleteRemovalEntry(run)) outcome.stays = true;
  // The copy is the running program when Add/Remove Programs started it: it goes at the next start.
  outcome.Add(RemoveLeftover(run, ReplacementPath(copy)));
  outcome.Add(RemoveLeftover(run, SetAsidePath(copy)));
  outcome.Add(RemoveLeftover(run, copy));
  if (!run.state.SilentMode && outcome.atNextStart) OfferRestart(run);
  return static_cast<uint32_t>(outcome.stays ? ExitStatus::kNotAllRemoved : ExitStatus::kCompleted);
}
