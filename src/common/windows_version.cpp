#include "common/windows_version.h"

namespace {

// A failed query leaves the zeroed record, which reads as neither system.
OsVersionInfo QueryVersion(System& system) {
  OsVersionInfo info = {};
  info.dwOSVersionInfoSize = sizeof info;
  system.GetVersionExA(&info);
  return info;
}

}  // namespace

bool IsWindowsMe(System& system) {
  OsVersionInfo info = QueryVersion(system);
  return info.dwPlatformId == kVerPlatformWin32Windows && info.dwMinorVersion == 90;
}

bool IsWindows9x(System& system) {
  return QueryVersion(system).dwPlatformId == kVerPlatformWin32Windows;
}

bool IsWindowsNt(System& system) {
  return QueryVersion(system).dwPlatformId == kVerPlatformWin32Nt;
}
