#include "steps/registry/removal_entry.h"

#include "steps/registry/registry_values.h"

const char kRemovalKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrel USB Smart Card Reader";

namespace {
const char kDisplayName[] = "Vantrel USB Smart Card Reader";
}  // namespace

ByteString RemovalCommand(const ByteString& copyPath) {
  bool quoted = copyPath.Contains(' ');
  ByteString command = quoted ? "\"" : "";
  command += copyPath;
  command += quoted ? "\" -u" : " -u";
  return command;
}

Removed DeleteRemovalEntry(const RunContext& run) {
  if (run.system.RegDeleteKeyA(kHkeyLocalMachine, kRemovalKey) == kErrorSuccess) {
    return Removed::kGone;
  }
  // Whatever the failure's code, only a key that still opens stays.
  RegKey key = 0;
  if (run.system.RegOpenKeyA(kHkeyLocalMachine, kRemovalKey, &key) != kErrorSuccess) {
    return Removed::kNotThere;
  }
  run.system.RegCloseKey(key);
  return Removed::kStays;
}

bool RegisterRemoval(const RunContext& run, const ByteString& copyPath) {
  RegKey key = 0;
  if (run.system.RegCreateKeyExA(kHkeyLocalMachine, kRemovalKey, kRegOptionNonVolatile,
                                 kKeyAllAccess, &key) != kErrorSuccess) {
    return false;
  }
  bool written =
      WriteString(run.system, key, "DisplayName", kDisplayName) == kErrorSuccess &&
      WriteString(run.system, key, "UninstallString", RemovalCommand(copyPath)) == kErrorSuccess;
  run.system.RegCloseKey(key);
  // Half an entry would be listed with nothing to run.
  if (!written) DeleteRemovalEntry(run);
  return written;
}
