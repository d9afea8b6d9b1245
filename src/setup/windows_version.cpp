#include "setup/windows_version.h"

bool IsWindowsMe(System& system) {
  // A failed query leaves the zeroed record, which reads as not Windows Me.
  OsVersionInfo info = {};
  info.dwOSVersionInfoSize = sizeof info;
  system.GetVersionExA(&info);
  return info.dwPlatformId == kVerPlatformWin32Windows && info.dwMinorVersion == 90;
}
