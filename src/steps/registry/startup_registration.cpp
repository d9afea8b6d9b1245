#include "steps/registry/startup_registration.h"

#include "steps/registry/registry_values.h"

namespace {
const char kRunServicesOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";
}  // namespace

bool RegisterMonitorStartup(const RunContext& run) {
  return WriteFixedLengthString(run.system, kRunServicesOnce, "RDWatch",
                                run.state.windowsDir + "\\system\\rdWatch.exe", 256);
}

Removed ForgetMonitorStartup(const RunContext& run) {
  RegKey key = 0;
  int32_t opened = run.system.RegOpenKeyA(kHkeyLocalMachine, kRunServicesOnce, &key);
  if (opened != kErrorSuccess) return RemovedBy(opened);
  Removed removed = RemovedBy(run.system.RegDeleteValueA(key, "RDWatch"));
  run.system.RegCloseKey(key);
  return removed;
}
