#include "platform/simulated_system.h"

#include <string.h>

#include <algorithm>
#include <sstream>

namespace {

// Thrown by ExitProcess and caught by Run: the simulated process ends without
// ending the test that runs it.
struct ProcessExit {
  uint32_t status;
};

constexpr int32_t kErrorFileNotFound = 2;
constexpr int32_t kErrorAccessDenied = 5;
constexpr int32_t kErrorInvalidHandle = 6;
constexpr int32_t kErrorKeyDeleted = 1018;
constexpr uint32_t kWaitFailed = 0xFFFFFFFF;
constexpr Handle kInvalidHandle = ~static_cast<Handle>(0);
constexpr uint32_t kWinExecStarted = 33;
constexpr uint32_t kWinExecFileNotFound = 2;
constexpr uint32_t kWinExecBadFormat = 11;

std::string Lower(const std::string& text) {
  std::string folded = text;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::string Upper(const std::string& text) {
  std::string raised = text;
  for (char& c : raised) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return raised;
}

std::string Join(const std::vector<std::string>& parts) {
  std::string joined = parts[0];
  for (size_t i = 1; i < parts.size(); ++i) joined += "\\" + parts[i];
  return joined;
}

bool HasDrive(const std::string& path) { return path.size() >= 2 && path[1] == ':'; }

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (c == separator) {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

// Bytes as a log line shows them: printable ASCII as is, others escaped.
std::string Printable(const std::string& bytes) {
  std::string shown;
  for (unsigned char c : bytes) {
    if (c == '\n') {
      shown += "\\n";
    } else if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    }
  }
  return shown;
}

std::string Hex(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "0x%X", value);
  return text;
}

std::string Str(const char* text) { return text == nullptr ? std::string("(null)") : text; }

std::string BaseName(const std::string& pathKey) {
  size_t slash = pathKey.rfind('\\');
  return slash == std::string::npos ? pathKey : pathKey.substr(slash + 1);
}

bool IsShortName(const std::string& name) {
  if (name.find(' ') != std::string::npos) return false;
  size_t dot = name.find('.');
  if (dot == std::string::npos) return name.size() <= 8;
  return name.find('.', dot + 1) == std::string::npos && dot <= 8 && name.size() - dot - 1 <= 3;
}

// The first short alias Windows 9x gives a long name: six characters, "~1", and the extension.
std::string ShortAlias(const std::string& name) {
  size_t dot = name.rfind('.');
  std::string stem = name.substr(0, dot);
  std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1, 3);
  std::string kept;
  for (char c : stem) {
    if (c != ' ' && c != '.') kept += c;
  }
  std::string alias = Upper(kept.substr(0, 6)) + "~1";
  return extension.empty() ? alias : alias + "." + Upper(extension);
}

}  // namespace

const char* OpName(Op op) {
  switch (op) {
    case Op::GetCurrentDirectoryA:
      return "GetCurrentDirectoryA";
    case Op::GetWindowsDirectoryA:
      return "GetWindowsDirectoryA";
    case Op::GetVersionExA:
      return "GetVersionExA";
    case Op::GetFileAttributesA:
      return "GetFileAttributesA";
    case Op::SetFileAttributesA:
      return "SetFileAttributesA";
    case Op::DeleteFileA:
      return "DeleteFileA";
    case Op::CopyFileA:
      return "CopyFileA";
    case Op::MoveFileA:
      return "MoveFileA";
    case Op::RegOpenKeyA:
      return "RegOpenKeyA";
    case Op::RegCreateKeyExA:
      return "RegCreateKeyExA";
    case Op::RegSetValueExA:
      return "RegSetValueExA";
    case Op::RegDeleteKeyA:
      return "RegDeleteKeyA";
    case Op::RegCloseKey:
      return "RegCloseKey";
    case Op::CreateProcessA:
      return "CreateProcessA";
    case Op::WaitForSingleObject:
      return "WaitForSingleObject";
    case Op::GetExitCodeProcess:
      return "GetExitCodeProcess";
    case Op::GetStdHandle:
      return "GetStdHandle";
    case Op::CloseHandle:
      return "CloseHandle";
    case Op::WinExec:
      return "WinExec";
    case Op::InstallHinfSection:
      return "InstallHinfSection";
    case Op::GetShortPathNameA:
      return "GetShortPathNameA";
    case Op::CharPrevA:
      return "CharPrevA";
    case Op::MessageBoxA:
      return "MessageBoxA";
    case Op::ExitWindowsEx:
      return "ExitWindowsEx";
    case Op::ExitProcess:
      return "ExitProcess";
  }
  return "?";
}

SimulatedSystem::SimulatedSystem() { keys_["hklm"].path = "HKLM"; }

// --- Building and reading the machine ---

bool SimulatedSystem::IsLeadByte(unsigned char byte) const {
  return codePage_ == 932 && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

std::vector<std::string> SimulatedSystem::FoldedNames(const std::string& path) const {
  std::vector<std::string> names(1);
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsLeadByte(c) && i + 1 < path.size()) {
      names.back() += path.substr(i, 2);  // the second byte may be 0x5C or a capital
      ++i;
    } else if (c == '\\') {
      names.emplace_back();
    } else {
      names.back() += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
  }
  return names;
}

std::string SimulatedSystem::PathKey(const std::string& path) const {
  std::string absolute = path;
  if (!HasDrive(path)) {
    absolute = path.compare(0, 1, "\\") == 0 ? currentDirectory_.substr(0, 2) + path
                                             : currentDirectory_ + "\\" + path;
  }
  std::vector<std::string> parts = FoldedNames(absolute);
  std::vector<std::string> kept = {parts[0]};
  for (size_t i = 1; i < parts.size(); ++i) {
    if (parts[i].empty() || parts[i] == ".") continue;
    if (parts[i] == "..") {
      if (kept.size() > 1) kept.pop_back();
      continue;
    }
    kept.push_back(parts[i].find('~') == std::string::npos ? parts[i]
                                                           : LongName(Join(kept), parts[i]));
  }
  return Join(kept);
}

std::string SimulatedSystem::LongName(const std::string& parentKey,
                                      const std::string& shortName) const {
  std::string prefix = parentKey + "\\";
  auto matches = [&](const std::string& key) {
    return key.compare(0, prefix.size(), prefix) == 0 &&
           key.find('\\', prefix.size()) == std::string::npos &&
           Lower(ShortAlias(key.substr(prefix.size()))) == shortName;
  };
  for (const auto& dir : directories_) {
    if (matches(dir.first)) return dir.first.substr(prefix.size());
  }
  for (const auto& file : files_) {
    if (matches(file.first)) return file.first.substr(prefix.size());
  }
  return shortName;
}

std::string SimulatedSystem::KeyPathKey(const std::string& keyPath) { return Lower(keyPath); }

bool SimulatedSystem::ParentExists(const std::string& pathKey) const {
  std::string parent = ParentKey(pathKey);
  return !parent.empty() && directories_.count(parent) != 0;
}

void SimulatedSystem::SetVersion(uint32_t platformId, uint32_t major, uint32_t minor) {
  platformId_ = platformId;
  majorVersion_ = major;
  minorVersion_ = minor;
}

void SimulatedSystem::SetCodePage(uint32_t codePage) { codePage_ = codePage; }

void SimulatedSystem::SetNoWindowFlag(NoWindowFlag behaviour) { noWindowFlag_ = behaviour; }

void SimulatedSystem::SetCurrentDirectory(const std::string& path) { currentDirectory_ = path; }

void SimulatedSystem::SetWindowsDirectory(const std::string& path) { windowsDirectory_ = path; }

std::string SimulatedSystem::ParentKey(const std::string& pathKey) const {
  std::vector<std::string> names = FoldedNames(pathKey);
  names.pop_back();
  return names.empty() ? std::string() : Join(names);
}

void SimulatedSystem::AddDirectory(const std::string& path) {
  std::string key = PathKey(path);
  for (std::string parent = ParentKey(key); !parent.empty(); parent = ParentKey(parent)) {
    directories_.emplace(parent, parent);
  }
  directories_[key] = path;
}

void SimulatedSystem::AddFile(const std::string& path, const std::string& content,
                              uint32_t attributes) {
  std::string key = PathKey(path);
  AddDirectory(ParentKey(key));
  files_[key] = File{path, content, attributes};
}

void SimulatedSystem::AddProgram(const std::string& path, const Program& program) {
  AddFile(path, "MZ");
  programs_[BaseName(PathKey(path))] = program;
}

void SimulatedSystem::SetShortPath(const std::string& longPath, const std::string& shortPath) {
  shortPaths_[PathKey(longPath)] = shortPath;
}

void SimulatedSystem::AddKey(const std::string& keyPath) { CreateKeyWithParents(keyPath); }

void SimulatedSystem::SetValue(const std::string& keyPath, const std::string& name, uint32_t type,
                               const std::string& data) {
  CreateKeyWithParents(keyPath);
  Key& key = keys_[KeyPathKey(keyPath)];
  key.valueNames[Lower(name)] = name;
  key.values[Lower(name)] = Value{type, data};
}

void SimulatedSystem::AnswerNextBox(int answer) { answers_.push_back(answer); }

void SimulatedSystem::Fail(Op op, const std::string& subject) {
  failures_.emplace_back(op, subject);
}

void SimulatedSystem::FailCallNumber(int number) { failCallNumbers_.insert(number); }

uint32_t SimulatedSystem::Run(const std::function<uint32_t()>& entry) {
  try {
    return entry();
  } catch (const ProcessExit& exit) {
    return exit.status;
  }
}

bool SimulatedSystem::FileExists(const std::string& path) const {
  return files_.count(PathKey(path)) != 0;
}

bool SimulatedSystem::DirectoryExists(const std::string& path) const {
  return directories_.count(PathKey(path)) != 0;
}

std::string SimulatedSystem::FileContent(const std::string& path) const {
  auto file = files_.find(PathKey(path));
  return file == files_.end() ? std::string() : file->second.content;
}

uint32_t SimulatedSystem::FileAttributes(const std::string& path) const {
  auto file = files_.find(PathKey(path));
  return file == files_.end() ? kInvalidFileAttributes : file->second.attributes;
}

bool SimulatedSystem::KeyExists(const std::string& keyPath) const {
  return keys_.count(KeyPathKey(keyPath)) != 0;
}

const SimulatedSystem::Value* SimulatedSystem::FindValue(const std::string& keyPath,
                                                         const std::string& name) const {
  auto key = keys_.find(KeyPathKey(keyPath));
  if (key == keys_.end()) return nullptr;
  auto value = key->second.values.find(Lower(name));
  return value == key->second.values.end() ? nullptr : &value->second;
}

std::vector<std::string> SimulatedSystem::ValueNames(const std::string& keyPath) const {
  std::vector<std::string> names;
  auto key = keys_.find(KeyPathKey(keyPath));
  if (key == keys_.end()) return names;
  for (const auto& name : key->second.valueNames) names.push_back(name.second);
  return names;
}

std::vector<std::string> SimulatedSystem::CallTexts() const {
  std::vector<std::string> texts;
  for (const Call& call : calls_) texts.push_back(call.text);
  return texts;
}

std::string SimulatedSystem::Dump() const {
  std::ostringstream out;
  out << "--- simulated machine: version " << platformId_ << "/" << majorVersion_ << "."
      << minorVersion_ << ", current " << currentDirectory_ << ", windows " << windowsDirectory_
      << "\ndirectories:\n";
  for (const auto& dir : directories_) out << "  " << dir.first << "\n";
  out << "files:\n";
  for (const auto& file : files_) {
    out << "  " << file.first << " [" << Hex(file.second.attributes) << "] \""
        << Printable(file.second.content) << "\"\n";
  }
  out << "registry:\n";
  for (const auto& key : keys_) {
    out << "  " << key.second.path << "\n";
    for (const auto& value : key.second.values) {
      out << "    " << key.second.valueNames.at(value.first) << " type " << value.second.type
          << " length " << value.second.data.size() << " \"" << Printable(value.second.data)
          << "\"\n";
    }
  }
  out << "boxes:\n";
  for (const Box& box : boxes_) {
    out << "  [" << box.caption << "] \"" << Printable(box.text) << "\" type " << box.type << "\n";
  }
  out << "started:\n";
  for (const Started& start : started_) {
    out << "  " << (start.waitable ? "process " : "winexec ") << start.commandLine << "\n";
  }
  out << "sections:\n";
  for (const SectionInstall& install : sectionInstalls_) {
    out << "  " << install.commandLine << (install.sectionFound ? "" : " (not found)") << "\n";
  }
  out << "restart requests: " << restartRequests_.size() << "\ncalls:\n";
  for (const Call& call : calls_) out << "  " << call.text << "\n";
  return out.str();
}

// --- Bookkeeping ---

bool SimulatedSystem::ShouldFail(Op op, const std::string& subject) {
  pendingFallible_ = ++fallibleCalls_;
  pendingInjected_ = failCallNumbers_.count(fallibleCalls_) != 0;
  for (const auto& failure : failures_) {
    if (failure.first != op) continue;
    if (failure.second.empty() || Lower(failure.second) == Lower(subject) ||
        PathKey(failure.second) == PathKey(subject)) {
      pendingInjected_ = true;
    }
  }
  return pendingInjected_;
}

void SimulatedSystem::Log(Op op, const std::string& arguments, const std::string& result,
                          std::vector<std::string> paths) {
  calls_.push_back(Call{op, std::string(OpName(op)) + "(" + arguments + ") = " + result,
                        std::move(paths), pendingFallible_, pendingInjected_});
  pendingFallible_ = 0;
  pendingInjected_ = false;
}

void SimulatedSystem::Poison(char* buffer, uint32_t size) { memset(buffer, 'Z', size); }

uint32_t SimulatedSystem::FillBuffer(const std::string& text, char* buffer, uint32_t size) {
  if (text.size() + 1 > size) return static_cast<uint32_t>(text.size() + 1);
  memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<uint32_t>(text.size());
}

// --- Directories and version ---

uint32_t SimulatedSystem::GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) {
  uint32_t length = 0;
  if (ShouldFail(Op::GetCurrentDirectoryA, "")) {
    Poison(buffer, bufferLength);
  } else {
    length = FillBuffer(currentDirectory_, buffer, bufferLength);
  }
  Log(Op::GetCurrentDirectoryA, std::to_string(bufferLength), std::to_string(length));
  return length;
}

uint32_t SimulatedSystem::GetWindowsDirectoryA(char* buffer, uint32_t size) {
  uint32_t length =
      ShouldFail(Op::GetWindowsDirectoryA, "") ? 0 : FillBuffer(windowsDirectory_, buffer, size);
  Log(Op::GetWindowsDirectoryA, std::to_string(size), std::to_string(length));
  return length;
}

bool SimulatedSystem::GetVersionExA(OsVersionInfo* info) {
  bool ok = !ShouldFail(Op::GetVersionExA, "") && info->dwOSVersionInfoSize == sizeof *info;
  if (ok) {
    info->dwMajorVersion = majorVersion_;
    info->dwMinorVersion = minorVersion_;
    info->dwPlatformId = platformId_;
  }
  Log(Op::GetVersionExA, std::to_string(info->dwOSVersionInfoSize), ok ? "1" : "0");
  return ok;
}

// --- Files ---

uint32_t SimulatedSystem::GetFileAttributesA(const char* path) {
  std::string key = PathKey(path);
  uint32_t attributes = kInvalidFileAttributes;
  if (ShouldFail(Op::GetFileAttributesA, path)) {
  } else if (files_.count(key) != 0) {
    attributes = files_[key].attributes;
  } else if (directories_.count(key) != 0) {
    attributes = kFileAttributeDirectory;
  }
  Log(Op::GetFileAttributesA, path, Hex(attributes), {path});
  return attributes;
}

bool SimulatedSystem::SetFileAttributesA(const char* path, uint32_t attributes) {
  std::string key = PathKey(path);
  bool ok = !ShouldFail(Op::SetFileAttributesA, path) &&
            (files_.count(key) != 0 || directories_.count(key) != 0);
  if (ok && files_.count(key) != 0) files_[key].attributes = attributes;
  Log(Op::SetFileAttributesA, std::string(path) + ", " + Hex(attributes), ok ? "1" : "0", {path});
  return ok;
}

bool SimulatedSystem::DeleteFileA(const char* path) {
  std::string key = PathKey(path);
  auto file = files_.find(key);
  bool ok = !ShouldFail(Op::DeleteFileA, path) && file != files_.end() &&
            (file->second.attributes & kFileAttributeReadOnly) == 0;
  if (ok) files_.erase(file);
  Log(Op::DeleteFileA, path, ok ? "1" : "0", {path});
  return ok;
}

bool SimulatedSystem::CopyFileA(const char* source, const char* target, bool failIfExists) {
  std::string from = PathKey(source);
  std::string to = PathKey(target);
  auto original = files_.find(from);
  auto existing = files_.find(to);
  bool ok = !ShouldFail(Op::CopyFileA, source) && original != files_.end() && from != to &&
            ParentExists(to) && directories_.count(to) == 0 &&
            (existing == files_.end() ||
             (!failIfExists && (existing->second.attributes & kFileAttributeReadOnly) == 0));
  if (ok) files_[to] = File{target, original->second.content, original->second.attributes};
  Log(Op::CopyFileA, std::string(source) + ", " + target + ", " + (failIfExists ? "1" : "0"),
      ok ? "1" : "0", {source, target});
  return ok;
}

bool SimulatedSystem::MoveFileA(const char* existingPath, const char* newPath) {
  std::string from = PathKey(existingPath);
  std::string to = PathKey(newPath);
  auto file = files_.find(from);
  bool isDirectory = directories_.count(from) != 0;
  // Like the platform's, it renames a directory too, with all it holds.
  bool ok = !ShouldFail(Op::MoveFileA, existingPath) && (file != files_.end() || isDirectory) &&
            files_.count(to) == 0 && directories_.count(to) == 0 && ParentExists(to) &&
            to.compare(0, from.size() + 1, from + "\\") != 0;
  if (ok && isDirectory) {
    MoveTree(from, to);
  } else if (ok) {
    File moved = file->second;
    moved.path = newPath;
    files_.erase(file);
    files_[to] = moved;
  }
  Log(Op::MoveFileA, std::string(existingPath) + ", " + newPath, ok ? "1" : "0",
      {existingPath, newPath});
  return ok;
}

// --- Registry ---

std::string SimulatedSystem::KeyPathOf(RegKey key) const {
  if (key == kHkeyLocalMachine) return "hklm";
  auto open = openKeys_.find(key);
  return open == openKeys_.end() ? std::string() : open->second;
}

RegKey SimulatedSystem::OpenHandle(const std::string& keyPathKey) {
  RegKey handle = nextKey_++;
  openKeys_[handle] = keyPathKey;
  return handle;
}

void SimulatedSystem::CreateKeyWithParents(const std::string& keyPath) {
  std::vector<std::string> parts = Split(keyPath, '\\');
  std::string path;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    path = path.empty() ? part : path + "\\" + part;
    Key& key = keys_[KeyPathKey(path)];
    if (key.path.empty()) key.path = path;
  }
}

int32_t SimulatedSystem::RegOpenKeyA(RegKey key, const char* subKey, RegKey* result) {
  std::string base = KeyPathOf(key);
  std::string shown =
      (base.empty() ? Hex(static_cast<uint32_t>(key)) : keys_[base].path) + "\\" + Str(subKey);
  int32_t status = kErrorSuccess;
  std::string full = subKey == nullptr || *subKey == '\0' ? base : base + "\\" + Lower(subKey);
  if (ShouldFail(Op::RegOpenKeyA, shown)) {
    status = kErrorAccessDenied;
  } else if (base.empty()) {
    status = kErrorInvalidHandle;
  } else if (keys_.count(full) == 0) {
    status = kErrorFileNotFound;
  } else {
    *result = OpenHandle(full);
  }
  Log(Op::RegOpenKeyA, shown,
      status == kErrorSuccess ? Hex(static_cast<uint32_t>(*result))
                              : "error " + std::to_string(status));
  return status;
}

int32_t SimulatedSystem::RegCreateKeyExA(RegKey key, const char* subKey, uint32_t options,
                                         uint32_t samDesired, RegKey* result) {
  std::string base = KeyPathOf(key);
  std::string shown =
      (base.empty() ? Hex(static_cast<uint32_t>(key)) : keys_[base].path) + "\\" + Str(subKey);
  int32_t status = kErrorSuccess;
  if (ShouldFail(Op::RegCreateKeyExA, shown)) {
    status = kErrorAccessDenied;
  } else if (base.empty() || keys_.count(base) == 0) {
    status = kErrorInvalidHandle;
  } else {
    CreateKeyWithParents(shown);
    *result = OpenHandle(KeyPathKey(shown));
  }
  Log(Op::RegCreateKeyExA, shown + ", " + std::to_string(options) + ", " + Hex(samDesired),
      status == kErrorSuccess ? Hex(static_cast<uint32_t>(*result))
                              : "error " + std::to_string(status));
  return status;
}

int32_t SimulatedSystem::RegSetValueExA(RegKey key, const char* valueName, uint32_t type,
                                        const uint8_t* data, uint32_t size) {
  std::string base = KeyPathOf(key);
  std::string name = valueName == nullptr ? "" : valueName;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string shown = (base.empty() ? Hex(static_cast<uint32_t>(key)) : keys_[base].path);
  int32_t status = kErrorSuccess;
  if (ShouldFail(Op::RegSetValueExA, shown + "\\" + name)) {
    status = kErrorAccessDenied;
  } else if (base.empty()) {
    status = kErrorInvalidHandle;
  } else if (keys_.count(base) == 0) {
    status = kErrorKeyDeleted;
  } else {
    keys_[base].valueNames[Lower(name)] = name;
    keys_[base].values[Lower(name)] = Value{type, bytes};
  }
  std::string shownData =
      type == kRegSz
          ? "\"" + Printable(bytes.substr(0, strnlen(bytes.c_str(), bytes.size()))) + "\""
          : Printable(bytes);
  Log(Op::RegSetValueExA,
      shown + ", " + name + ", " + std::to_string(type) + ", " + shownData + ", " +
          std::to_string(size),
      status == kErrorSuccess ? "0" : "error " + std::to_string(status));
  return status;
}

int32_t SimulatedSystem::RegDeleteKeyA(RegKey key, const char* subKey) {
  std::string base = KeyPathOf(key);
  std::string shown =
      (base.empty() ? Hex(static_cast<uint32_t>(key)) : keys_[base].path) + "\\" + Str(subKey);
  std::string full = base + "\\" + Lower(Str(subKey));
  int32_t status = kErrorSuccess;
  if (ShouldFail(Op::RegDeleteKeyA, shown)) {
    status = kErrorAccessDenied;
  } else if (base.empty()) {
    status = kErrorInvalidHandle;
  } else if (keys_.count(full) == 0) {
    status = kErrorFileNotFound;
  } else {
    for (auto it = keys_.begin(); it != keys_.end();) {
      bool inside = it->first == full || it->first.compare(0, full.size() + 1, full + "\\") == 0;
      it = inside ? keys_.erase(it) : std::next(it);
    }
  }
  Log(Op::RegDeleteKeyA, shown, status == kErrorSuccess ? "0" : "error " + std::to_string(status));
  return status;
}

int32_t SimulatedSystem::RegCloseKey(RegKey key) {
  std::string shown = KeyPathOf(key);
  shown = shown.empty() || keys_.count(shown) == 0 ? Hex(static_cast<uint32_t>(key))
                                                   : keys_[shown].path;
  int32_t status = kErrorSuccess;
  if (ShouldFail(Op::RegCloseKey, shown)) {
    status = kErrorAccessDenied;
  } else if (openKeys_.erase(key) == 0 && key != kHkeyLocalMachine) {
    status = kErrorInvalidHandle;
  }
  Log(Op::RegCloseKey, shown, status == kErrorSuccess ? "0" : "error " + std::to_string(status));
  return status;
}

// --- Programs ---

std::string SimulatedSystem::ResolveProgram(const std::string& commandLine) const {
  // Like the platform, an unquoted text is tried word by word: "C:\My Windows\x.exe /q"
  // starts C:\My.exe when there is one.
  for (size_t end = commandLine.find(' '); true; end = commandLine.find(' ', end + 1)) {
    std::string word = commandLine.substr(0, end);
    std::string name = BaseName(word);
    std::string candidate = name.find('.') == std::string::npos ? word + ".exe" : word;
    std::vector<std::string> places;
    if (word.find('\\') != std::string::npos || HasDrive(word)) {
      places.push_back(candidate);
    } else {
      for (const std::string& dir :
           {currentDirectory_, windowsDirectory_, windowsDirectory_ + "\\SYSTEM",
            windowsDirectory_ + "\\COMMAND"}) {
        places.push_back(dir + "\\" + candidate);
      }
    }
    for (const std::string& place : places) {
      if (files_.count(PathKey(place)) != 0) return PathKey(place);
    }
    if (end == std::string::npos) return std::string();
  }
}

void SimulatedSystem::RemoveTree(const std::string& pathKey) {
  files_.erase(pathKey);
  if (directories_.erase(pathKey) == 0) return;
  std::string prefix = pathKey + "\\";
  auto inside = [&](const std::string& key) { return key.compare(0, prefix.size(), prefix) == 0; };
  for (auto it = files_.begin(); it != files_.end();)
    it = inside(it->first) ? files_.erase(it) : std::next(it);
  for (auto it = directories_.begin(); it != directories_.end();) {
    it = inside(it->first) ? directories_.erase(it) : std::next(it);
  }
}

void SimulatedSystem::MoveTree(const std::string& fromKey, const std::string& toKey) {
  std::string prefix = fromKey + "\\";
  auto renamed = [&](const std::string& key) { return toKey + key.substr(fromKey.size()); };
  std::map<std::string, std::string> directories;
  for (const auto& dir : directories_) {
    bool inside = dir.first == fromKey || dir.first.compare(0, prefix.size(), prefix) == 0;
    if (inside) {
      directories[renamed(dir.first)] = renamed(dir.first);
    } else {
      directories.insert(dir);
    }
  }
  directories_.swap(directories);
  std::map<std::string, File> files;
  for (const auto& file : files_) {
    bool inside = file.first.compare(0, prefix.size(), prefix) == 0;
    files[inside ? renamed(file.first) : file.first] = file.second;
  }
  files_.swap(files);
}

void SimulatedSystem::RunProgram(const std::string& programKey, const std::string& commandLine) {
  auto known = programs_.find(BaseName(programKey));
  if (known == programs_.end()) return;
  const Program& program = known->second;
  std::vector<std::string> words = Split(commandLine, ' ');
  if (!program.extracts.empty()) {
    for (const std::string& word : words) {
      if (Lower(word.substr(0, 3)) != "/t:") continue;
      std::string dir = word.substr(3);
      AddDirectory(dir);
      for (const auto& file : program.extracts) AddFile(dir + "\\" + file.first, file.second);
    }
  }
  if (program.deletesTrees) {
    for (size_t i = 1; i < words.size(); ++i) {
      if (!words[i].empty() && words[i][0] != '/') RemoveTree(PathKey(words[i]));
    }
  }
}

bool SimulatedSystem::CreateProcessA(char* commandLine, bool inheritHandles, uint32_t creationFlags,
                                     const StartupInfo& startup, ProcessInformation* information) {
  std::string text = commandLine;
  std::string program = ResolveProgram(text);
  auto behaviour = programs_.find(BaseName(program));
  bool flagRefused = platformId_ == kVerPlatformWin32Windows &&
                     (creationFlags & kCreateNoWindow) != 0 &&
                     noWindowFlag_ == NoWindowFlag::kRefused;
  bool ok = !ShouldFail(Op::CreateProcessA, text) && !program.empty() && !flagRefused &&
            (behaviour == programs_.end() || !behaviour->second.failsToStart);
  if (ok) {
    started_.push_back(Started{text, true, program});
    RunProgram(program, text);
    information->hProcess = nextHandle_++;
    information->hThread = nextHandle_++;
    processes_[information->hProcess] =
        behaviour == programs_.end() ? 0 : behaviour->second.exitStatus;
    threads_.insert(information->hThread);
  }
  Log(Op::CreateProcessA,
      text + ", inherit " + (inheritHandles ? "1" : "0") + ", flags " + Hex(creationFlags) +
          ", cb " + std::to_string(startup.cb) + ", startf " + Hex(startup.dwFlags) + ", show " +
          std::to_string(startup.wShowWindow) + ", std " +
          Hex(static_cast<uint32_t>(startup.hStdInput)) + " " +
          Hex(static_cast<uint32_t>(startup.hStdOutput)) + " " +
          Hex(static_cast<uint32_t>(startup.hStdError)),
      ok ? "1" : "0");
  return ok;
}

uint32_t SimulatedSystem::WaitForSingleObject(Handle handle, uint32_t milliseconds) {
  uint32_t result =
      ShouldFail(Op::WaitForSingleObject, "") || processes_.count(handle) == 0 ? kWaitFailed : 0;
  Log(Op::WaitForSingleObject, Hex(static_cast<uint32_t>(handle)) + ", " + Hex(milliseconds),
      Hex(result));
  return result;
}

bool SimulatedSystem::GetExitCodeProcess(Handle process, uint32_t* status) {
  auto found = processes_.find(process);
  bool ok = !ShouldFail(Op::GetExitCodeProcess, "") && found != processes_.end();
  // A status that was not read must not be taken for success.
  *status = ok ? found->second : 0;
  Log(Op::GetExitCodeProcess, Hex(static_cast<uint32_t>(process)),
      ok ? "1, status " + std::to_string(*status) : "0");
  return ok;
}

Handle SimulatedSystem::GetStdHandle(uint32_t which) {
  Handle handle = kInvalidHandle;
  if (ShouldFail(Op::GetStdHandle, "")) {
  } else if (which == kStdInputHandle) {
    handle = 0x101;
  } else if (which == kStdOutputHandle) {
    handle = 0x102;
  } else if (which == kStdErrorHandle) {
    handle = 0x103;
  }
  Log(Op::GetStdHandle, Hex(which), Hex(static_cast<uint32_t>(handle)));
  return handle;
}

bool SimulatedSystem::CloseHandle(Handle handle) {
  bool ok = !ShouldFail(Op::CloseHandle, "") &&
            (processes_.erase(handle) != 0 || threads_.erase(handle) != 0);
  Log(Op::CloseHandle, Hex(static_cast<uint32_t>(handle)), ok ? "1" : "0");
  return ok;
}

uint32_t SimulatedSystem::WinExec(const char* commandLine, uint32_t showCommand) {
  std::string program = ResolveProgram(commandLine);
  auto behaviour = programs_.find(BaseName(program));
  uint32_t result = kWinExecStarted;
  if (ShouldFail(Op::WinExec, commandLine) || program.empty()) {
    result = kWinExecFileNotFound;
  } else if (behaviour != programs_.end() && behaviour->second.failsToStart) {
    result = kWinExecBadFormat;
  } else {
    started_.push_back(Started{commandLine, false, program});
    RunProgram(program, commandLine);
  }
  Log(Op::WinExec, std::string(commandLine) + ", " + std::to_string(showCommand),
      std::to_string(result));
  return result;
}

void SimulatedSystem::InstallHinfSection(const char* commandLine, int showCommand) {
  std::string text = commandLine;
  size_t first = text.find(' ');
  size_t second = first == std::string::npos ? first : text.find(' ', first + 1);
  SectionInstall install{text, text.substr(0, first),
                         second == std::string::npos ? "" : text.substr(second + 1), false};
  bool failed = ShouldFail(Op::InstallHinfSection, text);
  auto file = files_.find(PathKey(install.infPath));
  install.sectionFound =
      !failed && file != files_.end() &&
      Lower(file->second.content).find("[" + Lower(install.section) + "]") != std::string::npos;
  sectionInstalls_.push_back(install);
  Log(Op::InstallHinfSection, text + ", " + std::to_string(showCommand),
      install.sectionFound ? "installed" : "nothing installed");
}

bool SimulatedSystem::EndsWithSeparator(const std::string& path) const {
  std::vector<std::string> names = FoldedNames(path);
  return names.size() > 1 && names.back().empty();
}

std::string SimulatedSystem::ShortFormOf(const std::string& path) const {
  std::string key = PathKey(path);
  auto given = shortPaths_.find(key);
  if (given != shortPaths_.end()) return given->second;
  if (files_.count(key) == 0 && directories_.count(key) == 0) return std::string();
  std::vector<std::string> parts = Split(path, '\\');
  std::string shortened = parts[0];
  for (size_t i = 1; i < parts.size(); ++i) {
    shortened += "\\" + (IsShortName(parts[i]) ? parts[i] : ShortAlias(parts[i]));
  }
  return shortened;
}

uint32_t SimulatedSystem::GetShortPathNameA(const char* longPath, char* shortPath, uint32_t size) {
  uint32_t length = 0;
  std::string shortForm = ShortFormOf(longPath);
  if (ShouldFail(Op::GetShortPathNameA, longPath)) {
    Poison(shortPath, size);
  } else if (!shortForm.empty()) {
    length = FillBuffer(shortForm, shortPath, size);
  }
  Log(Op::GetShortPathNameA, std::string(longPath) + ", " + std::to_string(size),
      std::to_string(length));
  return length;
}

// --- User interface and process ---

const char* SimulatedSystem::CharPrevA(const char* start, const char* current) {
  const char* previous = start;
  for (const char* at = start; at < current;) {
    previous = at;
    at += IsLeadByte(static_cast<unsigned char>(*at)) && at + 1 < current ? 2 : 1;
  }
  Log(Op::CharPrevA,
      Printable(std::string(start, current)) + ", " + std::to_string(current - start),
      std::to_string(previous - start));
  return previous;
}

int SimulatedSystem::MessageBoxA(const char* text, const char* caption, uint32_t type) {
  int answer = 0;
  if (!ShouldFail(Op::MessageBoxA, caption)) {
    boxes_.push_back(Box{caption, text, type});
    if (!answers_.empty()) {
      answer = answers_.front();
      answers_.erase(answers_.begin());
    }
  }
  Log(Op::MessageBoxA,
      std::string(caption) + ", \"" + Printable(text) + "\", " + std::to_string(type),
      std::to_string(answer));
  return answer;
}

bool SimulatedSystem::ExitWindowsEx(uint32_t flags, uint32_t reserved) {
  bool ok = !ShouldFail(Op::ExitWindowsEx, "");
  if (ok) restartRequests_.push_back(flags);
  Log(Op::ExitWindowsEx, Hex(flags) + ", " + std::to_string(reserved), ok ? "1" : "0");
  return ok;
}

void SimulatedSystem::ExitProcess(uint32_t status) {
  Log(Op::ExitProcess, std::to_string(status), "-");
  throw ProcessExit{status};
}
