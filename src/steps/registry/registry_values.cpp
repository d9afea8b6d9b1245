#include "steps/registry/registry_values.h"

ByteString FixedLengthStringData(const ByteString& text, uint32_t length) {
  ByteString data = text;
  data.Append("", 1);
  while (data.size() < length) data.Append("", 1);
  return data;
}

bool WriteFixedLengthString(System& system, const char* subKey, const char* valueName,
                            const ByteString& text, uint32_t length) {
  RegKey key = 0;
  if (system.RegOpenKeyA(kHkeyLocalMachine, subKey, &key) != kErrorSuccess) return false;
  ByteString data = FixedLengthStringData(text, length);
  int32_t status =
      system.RegSetValueExA(key, valueName, kRegSz, reinterpret_cast<const uint8_t*>(data.c_str()),
                            static_cast<uint32_t>(data.size()));
  system.RegCloseKey(key);
  return status == kErrorSuccess;
}

int32_t WriteString(System& system, RegKey key, const char* valueName, const ByteString& text) {
  return system.RegSetValueExA(key, valueName, kRegSz,
                               reinterpret_cast<const uint8_t*>(text.c_str()),
                               static_cast<uint32_t>(text.size() + 1));
}

int32_t WriteDword(System& system, RegKey key, const char* valueName, uint32_t value) {
  const uint8_t data[4] = {
      static_cast<uint8_t>(value),
      static_cast<uint8_t>(value >> 8),
      static_cast<uint8_t>(value >> 16),
      static_cast<uint8_t>(value >> 24),
  };
  return system.RegSetValueExA(key, valueName, kRegDword, data, sizeof data);
}

Removed RemovedBy(int32_t status) {
  if (status == kErrorSuccess) return Removed::kGone;
  return status == kErrorFileNotFound ? Removed::kNotThere : Removed::kStays;
}

Removed DeleteKey(System& system, RegKey key, const char* subKey) {
  if (system.RegDeleteKeyA(key, subKey) == kErrorSuccess) return Removed::kGone;
  // Whatever the deletion's code, the key is not there only when it is not
  // found; an open that fails otherwise cannot tell, so it may stay.
  RegKey opened = 0;
  int32_t status = system.RegOpenKeyA(key, subKey, &opened);
  if (status != kErrorSuccess) return RemovedBy(status);
  system.RegCloseKey(opened);
  return Removed::kStays;
}
