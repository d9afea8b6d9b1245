#include "simulator/simulated_registry.h"

#include "simulator/simulated_text.h"

namespace {

constexpr int32_t kErrorFileNotFound = 2;
constexpr int32_t kErrorInvalidHandle = 6;
constexpr int32_t kErrorKeyDeleted = 1018;

std::string Str(const char* text) { return text == nullptr ? std::string() : text; }

}  // namespace

SimulatedRegistry::SimulatedRegistry() { keys_["hklm"].path = "HKLM"; }

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

int32_t SimulatedRegistry::Create(RegKey key, const char* subKey, RegKey* result) {
  std::string base = KeyPathOf(key);
  if (base.empty() || keys_.count(base) == 0) return kErrorInvalidHandle;
  std::string path = keys_[base].path + "\\" + Str(subKey);
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
