// The monitor program's start at the next start of the system.
#pragma once

#include "common/removal_outcome.h"
#include "common/run_context.h"

// Enters the monitor program under RunServicesOnce, when that key exists, so
// that the next start runs it once; false when it is not entered.
bool RegisterMonitorStartup(const RunContext& run);

// Takes the monitor program's entry out of RunServicesOnce, when it is there.
Removed ForgetMonitorStartup(const RunContext& run);
