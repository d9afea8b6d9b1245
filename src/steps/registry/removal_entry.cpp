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
  return DeleteKey(run.system, kHkeyLocalMachine, kRemovalKey);
}

bool RegisterRemoval(const RunContext& run, const ByteString& copyPath) {
  RegKey key = 0;
  uint32_t disposition = 0;
  if (run.system.RegCreateKeyExA(kHkeyLocalMachine, kRemovalKey, kRegOptionNonVolatile,
                                 kKeyAllAccess, &key, &disposition) != kErrorSuccess) {
    return false;
  }
  bool written =
      WriteString(run.system, key, "DisplayName", kDisplayName) == kErrorSuccess &&
      WriteString(run.system, key, "UninstallString", RemovalCommand(copyPath)) == kErrorSuccess;
  run.system.RegCloseKey(key);
  // Half an entry of this run's would be listed with nothing to run. An
  // earlier installation's entry, whose values a failed write leaves as they
  // were, stays: it still removes the reader.
  if (!written && disposition == kRegCreatedNewKey) DeleteRemovalEntry(run);
  return written;
}
