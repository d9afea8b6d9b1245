// The version the simulated machine reports: Windows 98 (platform 1, 4.10) by
// default; GetVersionExA fails on a record of the wrong size, as the system does.
#pragma once

#include <stdint.h>

#include <string>

#include "platform/system.h"
#include "simulator/simulated_call_log.h"

class SimulatedVersion {
 public:
  explicit SimulatedVersion(SimulatedCallLog& log) : log_(log) {}

  void Set(uint32_t platformId, uint32_t major, uint32_t minor);
  uint32_t platformId() const { return platformId_; }
  bool IsWindowsMe() const {
    return platformId_ == kVerPlatformWin32Windows && minorVersion_ == 90;
  }
  // "PLATFORM/MAJOR.MINOR", for a failing test's output.
  std::string Shown() const;

  // The call, as System declares it.
  bool GetVersionExA(OsVersionInfo* info);

 private:
  SimulatedCallLog& log_;
  uint32_t platformId_ = kVerPlatformWin32Windows;
  uint32_t majorVersion_ = 4;
  uint32_t minorVersion_ = 10;
};
