#include "registry/startup_registration.h"

#include "registry/registry_values.h"
#include "setup/messages.h"

void RegisterMonitorStartup(const RunContext& run) {
  WriteFixedLengthString(run.system,
                         "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce", "RDWatch",
                         run.state.WindowsDir + "\\system\\rdWatch.exe", 256);
}

void OfferRestart(const RunContext& run) {
  if (AskYesNo(run, MsgRestart) == kIdYes) run.system.ExitWindowsEx(kEwxReboot, 0);
}
