#include "steps/registry/device_database.h"

#include "common/windows_version.h"
#include "steps/registry/registry_values.h"

void ResetDeviceEntries(const RunContext& run) {
  WriteFixedLengthString(run.system, "Software\\Microsoft\\Windows\\CurrentVersion\\Setup",
                         "SourcePath", run.state.windowsDir + "\\inf", 260);
  ForgetTheReader(run);
}

RemovalOutcome ForgetTheReader(const RunContext& run) {
  RemovalOutcome outcome;
  RegKey usb = 0;
  int32_t opened = run.system.RegOpenKeyA(kHkeyLocalMachine, "Enum\\USB", &usb);
  if (opened != kErrorSuccess) {
    outcome.Add(RemovedBy(opened));
    return outcome;
  }
  outcome.Add(DeleteKey(run.system, usb, "VID_1E2D&PID_4182"));
  // The hub function's entries are the reader's on Windows Me only; where the
  // version cannot be read, they may stay.
  bool versionUnread = false;
  if (IsWindowsMe(run.system, &versionUnread)) {
    outcome.Add(DeleteKey(run.system, usb, "VID_1E2D&PID_4181"));
  }
  if (versionUnread) outcome.Add(Removed::kStays);
  run.system.RegCloseKey(usb);
  return outcome;
}
