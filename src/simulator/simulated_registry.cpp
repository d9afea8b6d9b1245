#include "simulator/simulated_registry.h"

#include <string.h>

#include "simulator/simulated_text.h"

namespace {

constexpr int32_t kErrorAccessDenied = 5;
constexpr uint32_t kRegOpenedExistingKey = 2;
constexpr int32_t kErrorInvalidHandle = 6;
constexpr int32_t kErrorKeyDeleted = 1018;

std::string Str(const char* text) { return text == nullptr ? std::string() : text; }
std::string Status(int32_t status) {
  return status == kErrorSuccess ? "0" : "error " + std::to_string(status);
}

}  // namespace

SimulatedRegistry::SimulatedRegistry(SimulatedCallLog& log) : log_(log) {
  keys_["hklm"].path = "HKLM";
}

void SimulatedRegistry::AddKey(const std::string& keyPath) {
  std::string path;
  for (const std::string& part : Split(keyPath, '\\')) {
    if (part.empty()) continue;
    path = path.empty() ? part : path + "\\" + part;
    Key& key = keys_[Lower(path)];
    if (key.path.empty()) key.path = path;
  }
}

void SimulatedRegistry::SetValue(const std::string& keyPath, const std::string& name,
                                 const Value& value) {
  AddKey(keyPath);
  Key& key = keys_[Lower(keyPath)];
  key.valueNames[Lower(name)] = name;
  key.values[Lower(name)] = value;
}

void SimulatedRegistry::DeleteValue(const std::string& keyPath, const std::string& name) {
  auto key = keys_.find(Lower(keyPath));
  if (key == keys_.end()) return;
  key->second.valueNames.erase(Lower(name));
  key->second.values.erase(Lower(name));
}

bool SimulatedRegistry::KeyExists(const std::string& keyPath) const {
  return keys_.count(Lower(keyPath)) != 0;
}

const SimulatedRegistry::Value* SimulatedRegistry::FindValue(const std::string& keyPath,
                                                             const std::string& name) const {
  auto key = keys_.find(Lower(keyPath));
  if (key == keys_.end()) return nullptr;
  auto value = key->second.values.find(Lower(name));
  return value == key->second.values.end() ? nullptr : &value->second;
}

std::vector<std::string> SimulatedRegistry::ValueNames(const std::string& keyPath) const {
  std::vector<std::string> names;
  auto key = keys_.find(Lower(keyPath));
  if (key == keys_.end()) return names;
  for (const auto& name : key->second.valueNames) names.push_back(name.second);
  return names;
}

std::string SimulatedRegistry::KeyPathOf(RegKey key) const {
  if (key == kHkeyLocalMachine) return "hklm";
  auto open = openKeys_.find(key);
  return open == openKeys_.end() ? std::string() : open->second;
}

std::string SimulatedRegistry::Shown(RegKey key) const {
  auto found = keys_.find(KeyPathOf(key));
  return found == keys_.end() ? Hex(static_cast<uint32_t>(key)) : found->second.path;
}

RegKey SimulatedRegistry::OpenHandle(const std::string& keyPathKey) {
  RegKey handle = nextKey_++;
  openKeys_[handle] = keyPathKey;
  return handle;
}

int32_t SimulatedRegistry::Open(RegKey key, const char* subKey, RegKey* result) {
  std::string base = KeyPathOf(key);
  std::string full = Str(subKey).empty() ? base : base + "\\" + Lower(subKey);
  if (base.empty()) return kErrorInvalidHandle;
  if (keys_.count(full) == 0) return kErrorFileNotFound;
  *result = OpenHandle(full);
  return kErrorSuccess;
}

int32_t SimulatedRegistry::Create(RegKey key, const char* subKey, RegKey* result,
                                  uint32_t* disposition) {
  std::string base = KeyPathOf(key);
  if (base.empty() || keys_.count(base) == 0) return kErrorInvalidHandle;
  std::string path = keys_[base].path + "\\" + Str(subKey);
  if (disposition != nullptr)
    *disposition = KeyExists(path) ? kRegOpenedExistingKey : kRegCreatedNewKey;
  AddKey(path);
  *result = OpenHandle(Lower(path));
  return kErrorSuccess;
}

int32_t SimulatedRegistry::SetValueEx(RegKey key, const char* valueName, const Value& value) {
  std::string base = KeyPathOf(key);
  if (base.empty()) return kErrorInvalidHandle;
  if (keys_.count(base) == 0) return kErrorKeyDeleted;
  keys_[base].valueNames[Lower(Str(valueName))] = Str(valueName);
  keys_[base].values[Lower(Str(valueName))] = value;
  return kErrorSuccess;
}

int32_t SimulatedRegistry::DeleteValue(RegKey key, const char* valueName) {
  std::string base = KeyPathOf(key);
  if (base.empty()) return kErrorInvalidHandle;
  if (keys_.count(base) == 0) return kErrorKeyDeleted;
  if (keys_[base].values.erase(Lower(Str(valueName))) == 0) return kErrorFileNotFound;
  keys_[base].valueNames.erase(Lower(Str(valueName)));
  return kErrorSuccess;
}

int32_t SimulatedRegistry::Delete(RegKey key, const char* subKey) {
  std::string base = KeyPathOf(key);
  std::string full = base + "\\" + Lower(Str(subKey));
  if (base.empty()) return kErrorInvalidHandle;
  if (keys_.count(full) == 0) return kErrorFileNotFound;
  for (auto it = keys_.begin(); it != keys_.end();) {
    bool inside = it->first == full || it->first.compare(0, full.size() + 1, full + "\\") == 0;
    it = inside ? keys_.erase(it) : std::next(it);
  }
  return kErrorSuccess;
}

int32_t SimulatedRegistry::Close(RegKey key) {
  if (openKeys_.erase(key) == 0 && key != kHkeyLocalMachine) return kErrorInvalidHandle;
  return kErrorSuccess;
}

// --- The calls ---

int32_t SimulatedRegistry::RegOpenKeyA(RegKey key, const char* subKey, RegKey* result) {
  std::string shown = Shown(key) + "\\" + ShownText(subKey);
  int32_t status =
      log_.ShouldFail(Op::RegOpenKeyA, shown) ? kErrorAccessDenied : Open(key, subKey, result);
  log_.Record(Op::RegOpenKeyA,
              {shown,
               {Shown(key), ShownText(subKey)},
               Dec(status),
               status == kErrorSuccess ? Hex(static_cast<uint32_t>(*result)) : Status(status)});
  return status;
}

int32_t SimulatedRegistry::RegCreateKeyExA(RegKey key, const char* subKey, uint32_t options,
                                           uint32_t samDesired, RegKey* result,
                                           uint32_t* disposition) {
  std::string shown = Shown(key) + "\\" + ShownText(subKey);
  int32_t status = log_.ShouldFail(Op::RegCreateKeyExA, shown)
                       ? kErrorAccessDenied
                       : Create(key, subKey, result, disposition);
  log_.Record(Op::RegCreateKeyExA,
              {shown + ", " + Dec(options) + ", " + Hex(samDesired),
               {Shown(key), ShownText(subKey), Dec(options), Dec(samDesired)},
               Dec(status),
               status == kErrorSuccess ? Hex(static_cast<uint32_t>(*result)) : Status(status)});
  return status;
}

int32_t SimulatedRegistry::RegSetValueExA(RegKey key, const char* valueName, uint32_t type,
                                          const uint8_t* data, uint32_t size) {
  std::string shown = Shown(key);
  std::string name = valueName == nullptr ? "" : valueName;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  int32_t status = log_.ShouldFail(Op::RegSetValueExA, shown + "\\" + name)
                       ? kErrorAccessDenied
                       : SetValueEx(key, valueName, Value{type, bytes});
  std::string shownData =
      type == kRegSz
          ? "\"" + Printable(bytes.substr(0, strnlen(bytes.c_str(), bytes.size()))) + "\""
          : Printable(bytes);
  log_.Record(Op::RegSetValueExA,
              {shown + ", " + name + ", " + Dec(type) + ", " + shownData + ", " + Dec(size),
               {shown, name, Dec(type), Dec(size)},
               Dec(status),
               Status(status)});
  return status;
}

int32_t SimulatedRegistry::RegDeleteKeyA(RegKey key, const char* subKey) {
  std::string shown = Shown(key) + "\\" + ShownText(subKey);
  int32_t status =
      log_.ShouldFail(Op::RegDeleteKeyA, shown) ? kErrorAccessDenied : Delete(key, subKey);
  log_.Record(Op::RegDeleteKeyA,
              {shown, {Shown(key), ShownText(subKey)}, Dec(status), Status(status)});
  return status;
}

int32_t SimulatedRegistry::RegDeleteValueA(RegKey key, const char* valueName) {
  std::string shown = Shown(key);
  std::string name = Str(valueName);
  int32_t status = log_.ShouldFail(Op::RegDeleteValueA, shown + "\\" + name)
                       ? kErrorAccessDenied
                       : DeleteValue(key, valueName);
  log_.Record(Op::RegDeleteValueA,
              {shown + ", " + name, {shown, name}, Dec(status), Status(status)});
  return status;
}

int32_t SimulatedRegistry::RegCloseKey(RegKey key) {
  std::string shown = Shown(key);
  int32_t status = log_.ShouldFail(Op::RegCloseKey, shown) ? kErrorAccessDenied : Close(key);
  log_.Record(Op::RegCloseKey, {shown, {shown}, Dec(status), Status(status)});
  return status;
}

void SimulatedRegistry::Dump(std::string* out) const {
  *out += "registry:\n";
  for (const auto& key : keys_) {
    *out += "  " + key.second.path + "\n";
    for (const auto& value : key.second.values) {
      *out += "    " + key.second.valueNames.at(value.first) + " type " +
              std::to_string(value.second.type) + " length " +
              std::to_string(value.second.data.size()) + " \"" + Printable(value.second.data) +
              "\"\n";
    }
  }
}
