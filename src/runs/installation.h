// The installation, from the welcome question to the restart offer.
#pragma once

#include <stdint.h>

#include "common/run_context.h"

// Installs the reader's software: the driver package, the device database
// reset, the smart card service, on Windows Me the hub's setup information
// file, the base components, the monitor's start, the setup's copy with its
// Add/Remove Programs entry; then an interactive run offers the restart.
// Returns the process status.
uint32_t RunInstallation(RunContext& run);
