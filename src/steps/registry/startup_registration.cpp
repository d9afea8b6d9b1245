#include "steps/registry/startup_registration.h"

#include "steps/registry/registry_values.h"

namespace {
const char kRunServicesOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";
}  // namespace

void RegisterMonitorStartup(const RunContext& run) {
  WriteFixedLengthString(run.system, kRunServicesOnce, "RDWatch",
                         run.state.WindowsDir + "\\system\\rdWatch.exe", 256);
}

void ForgetMonitorStartup(const RunContext& run) {
  RegKey key = 0;
  if (run.system.RegOpenKeyA(kHkeyLocalMachine, kRunServicesOnce, &key) != kErrorSuccess) return;
  run.system.RegDeleteValueA(key, "RDWatch");
  run.system.RegCloseKey(key);
}
