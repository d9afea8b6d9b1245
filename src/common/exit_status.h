// How a run ends: the process status another installer sees.
#pragma once

#include <stdint.h>

#include "common/run_context.h"

enum class ExitStatus : uint32_t {
  kCompleted = 0,             // done, nothing to remove, or the first question answered No
  kDriverFileNotPlaced = 1,   // the driver or its setup information file could not be placed
  kBaseComponentsFailed = 2,  // the base component packages could not be staged
  kExtractionFailed = 3,      // a base component extraction could not be run, or ended non-zero
  kDirectoryUnreadable = 4,   // the current or Windows directory could not be read whole
  kAnotherSetupRunning = 5,   // another setup was running: nothing was changed or shown
  kNotWindows9x = 6,   // the Windows NT family, which the media are not for: nothing was changed
  kNotRemovable = 7,   // installed, but not entered in Add/Remove Programs
  kNotAllRemoved = 8,  // removal: something could be neither removed nor entered for the next
                       // start, or a failed query left the removal unable to tell
  kPackageFileNotPlaced = 9,   // installed, but a catalog, a program or the hub's setup
                               // information file could not be placed
  kMonitorNotRegistered = 10,  // installed, but the monitor is not entered for the next start
  kLeftoverStays = 11,         // installed, but a file of the setup's own stays: a staged
                               // package, or an earlier file set aside or waiting; or a
                               // failed query left it unable to tell that none does
  kRemovalNotAsked = 12,       // removal: the question could not be shown: nothing was changed
};

// An installation that falls short in more than one of the ways 7, 9, 10 and
// 11 name ends with the status of the shortfall it met first.

// Ends the process at once: nothing of the run follows and nothing done is undone.
[[noreturn]] void EndSetup(const RunContext& run, ExitStatus status);
