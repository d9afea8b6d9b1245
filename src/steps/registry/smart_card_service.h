#pragma once

#include "common/run_context.h"

// Sets the smart card service SCardSvr to start automatically ("Start" 2,
// "DrvLoad" 0), creating its key when absent; other values are left alone.
void ConfigureSmartCardService(const RunContext& run);
