// Making the system forget the reader's device entries, so that the reader is
// detected afresh with the new driver. (The cached driver database files go
// with the driver files.)
#pragma once

#include "common/removal_outcome.h"
#include "common/run_context.h"

// Points the setup source path at the Windows inf directory and deletes the
// reader's USB device entries (the hub function's on Windows Me only).
// Nothing here stops the run.
void ResetDeviceEntries(const RunContext& run);

// Deletes the reader's USB device entries, as ResetDeviceEntries does,
// leaving the setup source path as it is; says whether one may stay.
RemovalOutcome ForgetTheReader(const RunContext& run);
