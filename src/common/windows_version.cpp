#include "common/windows_version.h"

namespace {

// A failed query leaves the zeroed record, which reads as neither system.
OsVersionInfo QueryVersion(System& system, bool* unread = nullptr) {
  OsVersionInfo info = {};
  info.dwOSVersionInfoSize = sizeof info;
  bool read = system.GetVersionExA(&info);
  if (unread != nullptr) *unread = !read;
  return info;
}

}  // namespace

bool IsWindowsMe(System& system, bool* unread) {
  OsVersionInfo info = QueryVersion(system, unread);
  return info.dwPlatformId == kVerPlatformWin32Windows && info.dwMinorVersion == 90;
}

bool IsWindows9x(System& system) {
  return QueryVersion(system).dwPlatformId == kVerPlatformWin32Windows;
}

bool IsWindowsNt(System& system) {
  return QueryVersion(system).dwPlatformId == kVerPlatformWin32Nt;
}
