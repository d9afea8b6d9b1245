// One setup at a time: a second one started while the first runs (a double
// click on a slow CD drive, or two installers at once) would copy, clear and
// extract over the first one's files.
#pragma once

#include "platform/system.h"

// The name every setup of the reader claims for its whole run.
extern const char kSetupMutexName[];

// Claims the name for this process, which keeps it until it ends, however it
// ends. True when another setup holds it already. A name that cannot be
// claimed at all lets the setup run: better than refusing every install.
bool AnotherSetupIsRunning(System& system);
