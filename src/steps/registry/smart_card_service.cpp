#include "steps/registry/smart_card_service.h"

#include "steps/registry/registry_values.h"

namespace {
constexpr uint32_t kAutomaticStart = 2;
}  // namespace

void ConfigureSmartCardService(const RunContext& run) {
  RegKey key = 0;
  if (run.system.RegCreateKeyExA(kHkeyLocalMachine, "System\\CurrentControlSet\\Services\\SCardSvr",
                                 kRegOptionNonVolatile, kKeyAllAccess, &key,
                                 nullptr) != kErrorSuccess) {
    return;
  }
  WriteDword(run.system, key, "Start", kAutomaticStart);
  WriteDword(run.system, key, "DrvLoad", 0);
  run.system.RegCloseKey(key);
}
