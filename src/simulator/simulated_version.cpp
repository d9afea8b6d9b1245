#include "simulator/simulated_version.h"

#include "simulator/simulated_text.h"

void SimulatedVersion::Set(uint32_t platformId, uint32_t major, uint32_t minor) {
  platformId_ = platformId;
  majorVersion_ = major;
  minorVersion_ = minor;
}

std::string SimulatedVersion::Shown() const {
  return Dec(platformId_) + "/" + Dec(majorVersion_) + "." + Dec(minorVersion_);
}

bool SimulatedVersion::GetVersionExA(OsVersionInfo* info) {
  bool ok = !log_.ShouldFail(Op::GetVersionExA, "") && info->dwOSVersionInfoSize == sizeof *info;
  if (ok) {
    info->dwMajorVersion = majorVersion_;
    info->dwMinorVersion = minorVersion_;
    info->dwPlatformId = platformId_;
  }
  log_.Record(Op::GetVersionExA, {Dec(info->dwOSVersionInfoSize), {}, Flag(ok)});
  return ok;
}
