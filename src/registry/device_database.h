// Making the system forget what it knew about the reader, so that the reader
// is detected afresh with the new driver.
#pragma once

#include "setup/setup_state.h"

// Removes the cached driver database, points the setup source path at the
// Windows inf directory and deletes the reader's USB device entries (the hub
// function's on Windows Me only). Nothing here stops the run.
void ResetDeviceDatabase(const RunContext& run);

// Removes the cached driver database and the reader's USB device entries, as
// ResetDeviceDatabase does, leaving the setup source path as it is.
void ForgetTheReader(const RunContext& run);
