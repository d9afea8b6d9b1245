// The last steps of a run: the monitor program for the next start, and the restart offer.
#pragma once

#include "setup/setup_state.h"

// Enters the monitor program under RunServicesOnce, when that key exists, so
// that the next start runs it once.
void RegisterMonitorStartup(const RunContext& run);

// Takes the monitor program's entry out of RunServicesOnce, when it is there.
void ForgetMonitorStartup(const RunContext& run);

// Asks whether to restart now and requests the restart on Yes.
void OfferRestart(const RunContext& run);
