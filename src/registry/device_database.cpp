#include "registry/device_database.h"

#include "files/driver_files.h"
#include "registry/registry_values.h"
#include "setup/windows_version.h"

namespace {

void RemoveDriverDatabase(const RunContext& run) {
  RemoveWindowsFile(run, "\\inf\\drvidx.bin");
  RemoveWindowsFile(run, "\\inf\\drvdata.bin");
}

void DeleteReaderEntries(const RunContext& run) {
  RegKey usb = 0;
  if (run.system.RegOpenKeyA(kHkeyLocalMachine, "Enum\\USB", &usb) != kErrorSuccess) return;
  run.system.RegDeleteKeyA(usb, "VID_1E2D&PID_4182");
  if (IsWindowsMe(run.system)) run.system.RegDeleteKeyA(usb, "VID_1E2D&PID_4181");
  run.system.RegCloseKey(usb);
}

}  // namespace

void ResetDeviceDatabase(const RunContext& run) {
  RemoveDriverDatabase(run);
  WriteFixedLengthString(run.system, "Software\\Microsoft\\Windows\\CurrentVersion\\Setup",
                         "SourcePath", run.state.WindowsDir + "\\inf", 260);
  DeleteReaderEntries(run);
}

void ForgetTheReader(const RunContext& run) {
  RemoveDriverDatabase(run);
  DeleteReaderEntries(run);
}
