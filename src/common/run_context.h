// The state of one run and the context every step receives.
#pragma once

#include "platform/byte_string.h"
#include "platform/system.h"

struct SetupState {
  ByteString sourceDir;   // the media directory holding the driver package, no trailing backslash
  ByteString windowsDir;  // the Windows directory, as the system gives it
  bool silent = false;
};

// What the steps of a run share: the system they act on and the run's state,
// which is complete before the first installation step and read-only after it.
struct RunContext {
  System& system;
  SetupState state;
};
