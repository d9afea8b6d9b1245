// The state of one run and the context every step receives.
#pragma once

#include "platform/byte_string.h"
#include "platform/system.h"

struct SetupState {
  ByteString SourceDir;   // the media directory holding the driver package, no trailing backslash
  ByteString WindowsDir;  // the Windows directory, as the system gives it
  bool SilentMode = false;
};

// What the steps of a run share: the system they act on and the run's state,
// which is complete before the first installation step and read-only after it.
struct RunContext {
  System& system;
  SetupState state;
};
