// The removal that Add/Remove Programs or "setup -u" asks for.
#pragma once

#include <stdint.h>

#include "common/run_context.h"

// Removes the reader's software: the package and its copies of the setup's
// own, the monitor's start, the driver database and the reader's device
// entries, the Add/Remove Programs entry and, last, the setup's own copy.
// What is in use goes at the next start, and an interactive removal then
// offers the restart. The smart card service's settings and the base
// components stay: other readers use them. Returns the process status.
uint32_t RunRemoval(RunContext& run);
