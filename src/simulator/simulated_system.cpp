#include "simulator/simulated_system.h"

#include "simulator/simulated_start.h"

SimulatedSystem::SimulatedSystem() = default;

// --- Building and reading the machine ---

void SimulatedSystem::SetVersion(uint32_t platformId, uint32_t major, uint32_t minor) {
  programs_.SetPlatformId(platformId);
  version_.Set(platformId, major, minor);
}

void SimulatedSystem::SetCodePage(uint32_t codePage) { files_.SetCodePage(codePage); }
void SimulatedSystem::SetNoWindowFlag(NoWindowFlag behaviour) {
  programs_.SetNoWindowFlag(behaviour);
}
void SimulatedSystem::SetCurrentDirectory(const std::string& path) {
  files_.SetCurrentDirectory(path);
}
void SimulatedSystem::SetWindowsDirectory(const std::string& path) {
  files_.SetWindowsDirectory(path);
}
void SimulatedSystem::AddDirectory(const std::string& path) { files_.AddDirectory(path); }
void SimulatedSystem::AddFile(const std::string& path, const std::string& content,
                              uint32_t attributes) {
  files_.AddFile(path, content, attributes);
}
void SimulatedSystem::MakeTreeReadOnly(const std::string& directory) {
  files_.MakeTreeReadOnly(directory);
}
void SimulatedSystem::AddProgram(const std::string& path, const Program& program,
                                 uint32_t attributes) {
  programs_.Add(path, program, attributes);
}
bool SimulatedSystem::SetShortName(const std::string& path, const std::string& alias) {
  return files_.SetShortName(path, alias);
}
void SimulatedSystem::AddKey(const std::string& keyPath) { registry_.AddKey(keyPath); }
void SimulatedSystem::SetValue(const std::string& keyPath, const std::string& name, uint32_t type,
                               const std::string& data) {
  registry_.SetValue(keyPath, name, Value{type, data});
}
void SimulatedSystem::Fail(Op op, const std::string& subject) { log_.Fail(op, subject); }
void SimulatedSystem::FailCallNumber(int number) { log_.FailCallNumber(number); }

void SimulatedSystem::HoldMutexElsewhere(const std::string& name) {
  process_.HoldMutexElsewhere(name);
}
void SimulatedSystem::SetNewMutexLastError(NewMutexLastError behaviour, uint32_t leftByStartup) {
  process_.SetNewMutexLastError(behaviour, leftByStartup);
}
void SimulatedSystem::StartProgram(const std::string& path) {
  process_.ProgramRuns(files_.PathKey(path));
}
void SimulatedSystem::SetRunningFileRename(RunningFileRename behaviour) {
  fileCalls_.SetRunningFileRename(behaviour);
}
void SimulatedSystem::NextStart() {
  if (process_.powerWasCut()) {
    profiles_.LoseCache();
  } else {
    profiles_.WriteCache();
  }
  process_.EndAll();
  lastStart_ = StartTheSystem(files_, registry_, programs_);
  StartAnotherRun();
}
void SimulatedSystem::NextStartAfterPowerCut() {
  profiles_.LoseCache();
  NextStart();
}
void SimulatedSystem::CutPowerAfterCall(int number) { process_.CutPowerAfterCall(number); }
uint32_t SimulatedSystem::Run(const std::function<uint32_t()>& entry) {
  return process_.Run(entry);
}

void SimulatedSystem::StartAnotherRun() {
  log_.Clear();
  programs_.EndProcesses();
  registry_.CloseAll();
  user_.Clear();
  setupLibrary_.Clear();
  process_.StartAnother();
}

bool SimulatedSystem::EndsWithSeparator(const std::string& path) const {
  return files_.names().EndsWithSeparator(path);
}
std::string SimulatedSystem::ShortFormOf(const std::string& path) const {
  return files_.ShortFormOf(path);
}
bool SimulatedSystem::FileExists(const std::string& path) const {
  return files_.FindFile(path) != nullptr;
}
bool SimulatedSystem::DirectoryExists(const std::string& path) const {
  return files_.DirectoryExists(path);
}
std::string SimulatedSystem::FileContent(const std::string& path) const {
  const SimulatedFiles::File* file = files_.FindFile(path);
  return file == nullptr ? std::string() : file->content;
}
uint32_t SimulatedSystem::FileAttributes(const std::string& path) const {
  const SimulatedFiles::File* file = files_.FindFile(path);
  return file == nullptr ? kInvalidFileAttributes : file->attributes;
}
bool SimulatedSystem::KeyExists(const std::string& keyPath) const {
  return registry_.KeyExists(keyPath);
}
const SimulatedSystem::Value* SimulatedSystem::FindValue(const std::string& keyPath,
                                                         const std::string& name) const {
  return registry_.FindValue(keyPath, name);
}
std::vector<std::string> SimulatedSystem::ValueNames(const std::string& keyPath) const {
  return registry_.ValueNames(keyPath);
}

std::vector<std::string> SimulatedSystem::CallTexts() const {
  std::vector<std::string> texts;
  for (const Call& call : calls()) texts.push_back(call.text);
  return texts;
}

std::string SimulatedSystem::Dump() const {
  std::string out = "--- simulated machine: version " + version_.Shown() + ", windows " +
                    files_.windowsDirectory() + ", ";
  files_.Dump(&out);
  registry_.Dump(&out);
  user_.Dump(&out);
  programs_.Dump(&out);
  setupLibrary_.Dump(&out);
  out += "restart requests: " + std::to_string(restartRequests().size()) + "\n";
  process_.Dump(&out);
  for (const std::string& done : lastStart_) out += "at the last start: " + done + "\n";
  log_.Dump(&out);
  return out;
}

// --- Calls the parts simulate ---

bool SimulatedSystem::GetVersionExA(OsVersionInfo* info) { return version_.GetVersionExA(info); }
void SimulatedSystem::InstallHinfSection(const char* commandLine, int showCommand) {
  setupLibrary_.InstallHinfSection(commandLine, showCommand);
}
const char* SimulatedSystem::CharPrevA(const char* start, const char* current) {
  return user_.CharPrevA(start, current);
}
int SimulatedSystem::MessageBoxA(const char* text, const char* caption, uint32_t type) {
  return user_.MessageBoxA(text, caption, type);
}
bool SimulatedSystem::ExitWindowsEx(uint32_t flags, uint32_t reserved) {
  return user_.ExitWindowsEx(flags, reserved);
}
Handle SimulatedSystem::CreateMutexA(const char* name) { return process_.CreateMutexA(name); }
uint32_t SimulatedSystem::GetLastError() { return process_.GetLastError(); }
void SimulatedSystem::SetLastError(uint32_t error) { process_.SetLastError(error); }
void SimulatedSystem::ExitProcess(uint32_t status) { process_.ExitProcess(status); }

// --- Files, registry and programs ---

uint32_t SimulatedSystem::GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) {
  return fileCalls_.GetCurrentDirectoryA(bufferLength, buffer);
}
uint32_t SimulatedSystem::GetWindowsDirectoryA(char* buffer, uint32_t size) {
  return fileCalls_.GetWindowsDirectoryA(buffer, size);
}
uint32_t SimulatedSystem::GetModuleFileNameA(char* buffer, uint32_t size) {
  return fileCalls_.GetModuleFileNameA(buffer, size);
}
uint32_t SimulatedSystem::GetFileAttributesA(const char* path) {
  return fileCalls_.GetFileAttributesA(path);
}
bool SimulatedSystem::SetFileAttributesA(const char* path, uint32_t attributes) {
  return fileCalls_.SetFileAttributesA(path, attributes);
}
bool SimulatedSystem::DeleteFileA(const char* path) { return fileCalls_.DeleteFileA(path); }
bool SimulatedSystem::CopyFileA(const char* source, const char* target, bool failIfExists) {
  return fileCalls_.CopyFileA(source, target, failIfExists);
}
bool SimulatedSystem::MoveFileA(const char* existingPath, const char* newPath) {
  return fileCalls_.MoveFileA(existingPath, newPath);
}
uint32_t SimulatedSystem::GetShortPathNameA(const char* longPath, char* shortPath, uint32_t size) {
  return fileCalls_.GetShortPathNameA(longPath, shortPath, size);
}
uint32_t SimulatedSystem::GetPrivateProfileSectionA(const char* section, char* buffer,
                                                    uint32_t size, const char* fileName) {
  return profiles_.GetPrivateProfileSectionA(section, buffer, size, fileName);
}
bool SimulatedSystem::WritePrivateProfileSectionA(const char* section, const char* lines,
                                                  const char* fileName) {
  return profiles_.WritePrivateProfileSectionA(section, lines, fileName);
}
bool SimulatedSystem::WritePrivateProfileStringA(const char* section, const char* key,
                                                 const char* value, const char* fileName) {
  return profiles_.WritePrivateProfileStringA(section, key, value, fileName);
}
int32_t SimulatedSystem::RegOpenKeyA(RegKey key, const char* subKey, RegKey* result) {
  return registry_.RegOpenKeyA(key, subKey, result);
}
int32_t SimulatedSystem::RegCreateKeyExA(RegKey key, const char* subKey, uint32_t options,
                                         uint32_t samDesired, RegKey* result,
                                         uint32_t* disposition) {
  return registry_.RegCreateKeyExA(key, subKey, options, samDesired, result, disposition);
}
int32_t SimulatedSystem::RegSetValueExA(RegKey key, const char* valueName, uint32_t type,
                                        const uint8_t* data, uint32_t size) {
  return registry_.RegSetValueExA(key, valueName, type, data, size);
}
int32_t SimulatedSystem::RegDeleteKeyA(RegKey key, const char* subKey) {
  return registry_.RegDeleteKeyA(key, subKey);
}
int32_t SimulatedSystem::RegDeleteValueA(RegKey key, const char* valueName) {
  return registry_.RegDeleteValueA(key, valueName);
}
int32_t SimulatedSystem::RegCloseKey(RegKey key) { return registry_.RegCloseKey(key); }
bool SimulatedSystem::CreateProcessA(char* commandLine, bool inheritHandles, uint32_t creationFlags,
                                     const StartupInfo& startup, ProcessInformation* information) {
  return programs_.CreateProcessA(commandLine, inheritHandles, creationFlags, startup, information);
}
uint32_t SimulatedSystem::WaitForSingleObject(Handle handle, uint32_t milliseconds) {
  return programs_.WaitForSingleObject(handle, milliseconds);
}
bool SimulatedSystem::GetExitCodeProcess(Handle process, uint32_t* status) {
  return programs_.GetExitCodeProcess(process, status);
}
Handle SimulatedSystem::GetStdHandle(uint32_t which) { return programs_.GetStdHandle(which); }
bool SimulatedSystem::CloseHandle(Handle handle) { return programs_.CloseHandle(handle); }
uint32_t SimulatedSystem::WinExec(const char* commandLine, uint32_t showCommand) {
  return programs_.WinExec(commandLine, showCommand);
}
