// The monitor program's start at the next start of the system.
#pragma once

#include "common/run_context.h"

// Enters the monitor program under RunServicesOnce, when that key exists, so
// that the next start runs it once.
void RegisterMonitorStartup(const RunContext& run);

// Takes the monitor program's entry out of RunServicesOnce, when it is there.
void ForgetMonitorStartup(const RunContext& run);
