#include "runs/single_setup.h"

const char kSetupMutexName[] = "Vantrel USB Smart Card Reader Setup";

bool AnotherSetupIsRunning(System& system) {
  // Whether creating a new name clears the last error is not documented for
  // Windows 9x: a code left by the start-up must not read as the name's.
  system.SetLastError(0);
  Handle mutex = system.CreateMutexA(kSetupMutexName);
  return mutex != 0 && system.GetLastError() == kErrorAlreadyExists;
}
