#include "steps/registry/device_database.h"

#include "common/windows_version.h"
#include "steps/registry/registry_values.h"

void ResetDeviceEntries(const RunContext& run) {
  WriteFixedLengthString(run.system, "Software\\Microsoft\\Windows\\CurrentVersion\\Setup",
                         "SourcePath", run.state.WindowsDir + "\\inf", 260);
  ForgetTheReader(run);
}

void ForgetTheReader(const RunContext& run) {
  RegKey usb = 0;
  if (run.system.RegOpenKeyA(kHkeyLocalMachine, "Enum\\USB", &usb) != kErrorSuccess) return;
  run.system.RegDeleteKeyA(usb, "VID_1E2D&PID_4182");
  if (IsWindowsMe(run.system)) run.system.RegDeleteKeyA(usb, "VID_1E2D&PID_4181");
  run.system.RegCloseKey(usb);
}
