// The simulated machine's registry, as Windows 98/Me have it: key and value
// names match without regard to case, RegOpenKeyA never creates a key,
// RegCreateKeyExA makes the missing parents, a value keeps exactly the type
// and length written, and RegDeleteKeyA removes a whole subtree.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "platform/system.h"
#include "simulator/simulated_call_log.h"

class SimulatedRegistry {
 public:
  struct Value {
    uint32_t type;
    std::string data;  // exactly the bytes stored, as long as the length passed
  };

  explicit SimulatedRegistry(SimulatedCallLog& log);

  // --- Building and reading, by paths such as "HKLM\Software\..." ---
  void AddKey(const std::string& keyPath);  // with its parents
  void SetValue(const std::string& keyPath, const std::string& name, const Value& value);
  void DeleteValue(const std::string& keyPath, const std::string& name);
  bool KeyExists(const std::string& keyPath) const;
  const Value* FindValue(const std::string& keyPath, const std::string& name) const;
  std::vector<std::string> ValueNames(const std::string& keyPath) const;
  int openKeyCount() const { return static_cast<int>(openKeys_.size()); }

  // The key a handle stands for, as written ("HKLM\..."), or its number when
  // it stands for none.
  std::string Shown(RegKey key) const;

  // Closes every open key, as the system does when their process ends.
  void CloseAll() { openKeys_.clear(); }

  // --- The calls, as System declares them ---
  int32_t RegOpenKeyA(RegKey key, const char* subKey, RegKey* result);
  int32_t RegCreateKeyExA(RegKey key, const char* subKey, uint32_t options, uint32_t samDesired,
                          RegKey* result, uint32_t* disposition);
  int32_t RegSetValueExA(RegKey key, const char* valueName, uint32_t type, const uint8_t* data,
                         uint32_t size);
  int32_t RegDeleteKeyA(RegKey key, const char* subKey);
  int32_t RegDeleteValueA(RegKey key, const char* valueName);
  int32_t RegCloseKey(RegKey key);

  void Dump(std::string* out) const;

 private:
  struct Key {
    std::string path;
    std::map<std::string, std::string> valueNames;  // folded name -> name as written
    std::map<std::string, Value> values;            // by folded name
  };

  // The operations: kErrorSuccess or the platform's error code.
  int32_t Open(RegKey key, const char* subKey, RegKey* result);
  int32_t Create(RegKey key, const char* subKey, RegKey* result, uint32_t* disposition);
  int32_t SetValueEx(RegKey key, const char* valueName, const Value& value);
  int32_t Delete(RegKey key, const char* subKey);
  int32_t DeleteValue(RegKey key, const char* valueName);
  int32_t Close(RegKey key);

  std::string KeyPathOf(RegKey key) const;  // folded; "" for an unknown handle
  RegKey OpenHandle(const std::string& keyPathKey);

  SimulatedCallLog& log_;
  std::map<std::string, Key> keys_;         // by folded key path
  std::map<RegKey, std::string> openKeys_;  // handle -> folded key path
  RegKey nextKey_ = 0x1000;
};
