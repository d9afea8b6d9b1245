#include "setup/single_setup.h"

const char kSetupMutexName[] = "Vantrel USB Smart Card Reader Setup";

bool AnotherSetupIsRunning(System& system) {
  Handle mutex = system.CreateMutexA(kSetupMutexName);
  return mutex != 0 && system.GetLastError() == kErrorAlreadyExists;
}
