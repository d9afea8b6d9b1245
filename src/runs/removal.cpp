#include "runs/removal.h"

#include "common/exit_status.h"
#include "common/file_primitives.h"
#include "common/messages.h"
#include "common/path_queries.h"
#include "steps/files/driver_files.h"
#include "steps/registry/device_database.h"
#include "steps/registry/removal_entry.h"
#include "steps/registry/startup_registration.h"

uint32_t RunRemoval(RunContext& run) {
  // Only a Yes removes: a box that cannot be shown is no consent.
  if (!run.state.silent) {
    int answer = AskYesNo(run, MessageId::kRemove);
    if (answer == 0) return static_cast<uint32_t>(ExitStatus::kRemovalNotAsked);
    if (answer != kIdYes) return static_cast<uint32_t>(ExitStatus::kCompleted);
  }
  if (!QueryWindowsDirectory(run.system, &run.state.windowsDir)) {
    EndSetup(run, ExitStatus::kDirectoryUnreadable);
  }
  RemovalOutcome outcome = RemovePackage(run);
  outcome.Add(DeleteRemovalEntry(run));
  ByteString copy = run.state.windowsDir + kOwnCopySuffix;
  if (!outcome.found && !MayHoldFile(WhatStandsAt(run.system, copy))) {
    ShowNotice(run, MessageId::kNothingToRemove, kSetupCaption);
    return static_cast<uint32_t>(ExitStatus::kCompleted);
  }
  outcome.Add(ForgetMonitorStartup(run));
  RemoveDriverDatabase(run);
  outcome.Add(ForgetTheReader(run));
  // The copy goes last: while it stands, a removal cut short and retried
  // finishes. Started from Add/Remove Programs, it is the running program and
  // goes at the next start.
  RemovePlacedFile(run, copy, &outcome);
  if (!run.state.silent && outcome.atNextStart) OfferRestart(run);
  return static_cast<uint32_t>(outcome.stays ? ExitStatus::kNotAllRemoved : ExitStatus::kCompleted);
}
