#include "registry/removal_entry.h"

#include "files/driver_files.h"
#include "registry/registry_values.h"
#include "setup/directories.h"

const char kRemovalKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrel USB Smart Card Reader";
const char kOwnCopySuffix[] = "\\system\\kt418Rmv.exe";

namespace {

constexpr uint32_t kModulePathBuffer = 261;
const char kDisplayName[] = "Vantrel USB Smart Card Reader";

// The running setup's own path; false when it cannot be read whole (a path
// that fills the buffer may have been cut, with or without its NUL).
bool QueryOwnPath(System& system, ByteString* path) {
  char buffer[kModulePathBuffer] = {};
  uint32_t length = system.GetModuleFileNameA(buffer, kModulePathBuffer);
  return TakeWholePath(buffer, length, kModulePathBuffer - 1, path);
}

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

bool RegisterRemoval(const RunContext& run) {
  ByteString ownPath;
  ByteString copy = run.state.WindowsDir + kOwnCopySuffix;
  if (!QueryOwnPath(run.system, &ownPath) || !PlaceFile(run, ownPath, copy)) return false;
  RegKey key = 0;
  if (run.system.RegCreateKeyExA(kHkeyLocalMachine, kRemovalKey, kRegOptionNonVolatile,
                                 kKeyAllAccess, &key) != kErrorSuccess) {
    return false;
  }
  bool written =
      WriteString(run.system, key, "DisplayName", kDisplayName) == kErrorSuccess &&
      WriteString(run.system, key, "UninstallString", RemovalCommand(copy)) == kErrorSuccess;
  run.system.RegCloseKey(key);
  // Half an entry would be listed with nothing to run.
  if (!written) DeleteRemovalEntry(run);
  return written;
}
