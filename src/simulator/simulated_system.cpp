#include "simulator/simulated_system.h"

#include <string.h>

#include "simulator/simulated_text.h"

namespace {

// Thrown by ExitProcess and caught by Run: the simulated process ends without
// ending the test that runs it.
struct ProcessExit {
  uint32_t status;
};
// Thrown after the call a power cut follows, and caught by Run.
struct PowerCut {};

constexpr int32_t kErrorAccessDenied = 5;
constexpr uint32_t kWaitFailed = 0xFFFFFFFF;
constexpr Handle kInvalidHandle = ~static_cast<Handle>(0);
constexpr uint32_t kWinExecStarted = 33;
constexpr uint32_t kWinExecFileNotFound = 2;
constexpr uint32_t kWinExecBadFormat = 11;

std::string Str(const char* text) { return text == nullptr ? std::string("(null)") : text; }
std::string Dec(uint64_t value) { return std::to_string(value); }
std::string Flag(bool value) { return value ? "1" : "0"; }
std::string Status(int32_t status) {
  return status == kErrorSuccess ? "0" : "error " + std::to_string(status);
}

}  // namespace

SimulatedSystem::SimulatedSystem() = default;

// --- Building and reading the machine ---

void SimulatedSystem::SetVersion(uint32_t platformId, uint32_t major, uint32_t minor) {
  platformId_ = platformId;
  majorVersion_ = major;
  minorVersion_ = minor;
}

void SimulatedSystem::SetCodePage(uint32_t codePage) { files_.SetCodePage(codePage); }
void SimulatedSystem::SetNoWindowFlag(NoWindowFlag behaviour) { noWindowFlag_ = behaviour; }
void SimulatedSystem::SetCurrentDirectory(const std::string& path) {
  files_.SetCurrentDirectory(path);
}
void SimulatedSystem::SetWindowsDirectory(const std::string& path) { windowsDirectory_ = path; }
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
void SimulatedSystem::AnswerNextBox(int answer) { answers_.push_back(answer); }
void SimulatedSystem::Fail(Op op, const std::string& subject) { log_.Fail(op, subject); }
void SimulatedSystem::FailCallNumber(int number) { log_.FailCallNumber(number); }

void SimulatedSystem::HoldMutexElsewhere(const std::string& name) { mutexHeldHere_[name] = false; }
void SimulatedSystem::SetNewMutexLastError(NewMutexLastError behaviour, uint32_t leftByStartup) {
  newMutexLastError_ = behaviour;
  lastError_ = leftByStartup;
}
void SimulatedSystem::CutPowerAfterCall(int number) { powerCutAfter_ = number; }

uint32_t SimulatedSystem::Run(const std::function<uint32_t()>& entry) {
  uint32_t status = kPowerCutStatus;
  try {
    status = entry();
  } catch (const ProcessExit& exit) {
    status = exit.status;
  } catch (const PowerCut&) {
    powerWasCut_ = true;
  }
  for (auto it = mutexHeldHere_.begin(); it != mutexHeldHere_.end();) {
    it = it->second ? mutexHeldHere_.erase(it) : std::next(it);
  }
  return status;
}

void SimulatedSystem::StartAnotherRun() {
  log_.Clear();
  programs_.EndProcesses();
  registry_.CloseAll();
  answers_.clear();
  boxes_.clear();
  sectionInstalls_.clear();
  restartRequests_.clear();
  lastError_ = 0;
  powerCutAfter_ = 0;
  powerWasCut_ = false;
}

bool SimulatedSystem::EndsWithSeparator(const std::string& path) const {
  return files_.EndsWithSeparator(path);
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
  std::string out = "--- simulated machine: version " + Dec(platformId_) + "/" +
                    Dec(majorVersion_) + "." + Dec(minorVersion_) + ", windows " +
                    windowsDirectory_ + ", ";
  files_.Dump(&out);
  registry_.Dump(&out);
  out += "boxes:\n";
  for (const Box& box : boxes_) {
    out += "  [" + box.caption + "] \"" + Printable(box.text) + "\" type " + Dec(box.type) + "\n";
  }
  programs_.Dump(&out);
  out += "sections:\n";
  for (const SectionInstall& install : sectionInstalls_) {
    out += "  " + install.commandLine + (install.sectionFound ? "" : " (not found)") + "\n";
  }
  out += "restart requests: " + Dec(restartRequests_.size()) + "\n";
  for (const auto& mutex : mutexHeldHere_) {
    out += "mutex \"" + mutex.first + "\" held " + (mutex.second ? "here" : "elsewhere") + "\n";
  }
  if (powerWasCut_) out += "the power was cut after call " + Dec(powerCutAfter_) + "\n";
  log_.Dump(&out);
  return out;
}

// --- Bookkeeping ---

void SimulatedSystem::Log(Op op, CallEntry entry) {
  log_.Record(op, std::move(entry));
  if (static_cast<int>(log_.calls().size()) == powerCutAfter_) throw PowerCut{};
}

bool SimulatedSystem::ShouldFail(Op op, const std::string& subject) {
  return log_.ShouldFail(op, subject, [&](const std::string& given, const std::string& actual) {
    return Lower(given) == Lower(actual) || files_.PathKey(given) == files_.PathKey(actual);
  });
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
    length = FillBuffer(files_.currentDirectory(), buffer, bufferLength);
  }
  Log(Op::GetCurrentDirectoryA, {Dec(bufferLength), {Dec(bufferLength)}, Dec(length)});
  return length;
}

uint32_t SimulatedSystem::GetWindowsDirectoryA(char* buffer, uint32_t size) {
  uint32_t length =
      ShouldFail(Op::GetWindowsDirectoryA, "") ? 0 : FillBuffer(windowsDirectory_, buffer, size);
  Log(Op::GetWindowsDirectoryA, {Dec(size), {Dec(size)}, Dec(length)});
  return length;
}

bool SimulatedSystem::GetVersionExA(OsVersionInfo* info) {
  bool ok = !ShouldFail(Op::GetVersionExA, "") && info->dwOSVersionInfoSize == sizeof *info;
  if (ok) {
    info->dwMajorVersion = majorVersion_;
    info->dwMinorVersion = minorVersion_;
    info->dwPlatformId = platformId_;
  }
  Log(Op::GetVersionExA, {Dec(info->dwOSVersionInfoSize), {}, Flag(ok)});
  return ok;
}

// --- Files ---

uint32_t SimulatedSystem::GetFileAttributesA(const char* path) {
  uint32_t attributes =
      ShouldFail(Op::GetFileAttributesA, path) ? kInvalidFileAttributes : files_.Attributes(path);
  Log(Op::GetFileAttributesA, {path, {path}, Dec(attributes), Hex(attributes), {path}});
  return attributes;
}

bool SimulatedSystem::SetFileAttributesA(const char* path, uint32_t attributes) {
  bool ok = !ShouldFail(Op::SetFileAttributesA, path) && files_.SetAttributes(path, attributes);
  Log(Op::SetFileAttributesA,
      {std::string(path) + ", " + Hex(attributes), {path, Dec(attributes)}, Flag(ok), "", {path}});
  return ok;
}

bool SimulatedSystem::DeleteFileA(const char* path) {
  bool ok = !ShouldFail(Op::DeleteFileA, path) && files_.Delete(path);
  Log(Op::DeleteFileA, {path, {path}, Flag(ok), "", {path}});
  return ok;
}

bool SimulatedSystem::CopyFileA(const char* source, const char* target, bool failIfExists) {
  bool ok = !ShouldFail(Op::CopyFileA, source) && files_.Copy(source, target, failIfExists);
  Log(Op::CopyFileA, {std::string(source) + ", " + target + ", " + Flag(failIfExists),
                      {source, target, Flag(failIfExists)},
                      Flag(ok),
                      "",
                      {source, target}});
  return ok;
}

bool SimulatedSystem::MoveFileA(const char* existingPath, const char* newPath) {
  bool ok = !ShouldFail(Op::MoveFileA, existingPath) && files_.Move(existingPath, newPath);
  Log(Op::MoveFileA, {std::string(existingPath) + ", " + newPath,
                      {existingPath, newPath},
                      Flag(ok),
                      "",
                      {existingPath, newPath}});
  return ok;
}

// --- Registry ---

int32_t SimulatedSystem::RegOpenKeyA(RegKey key, const char* subKey, RegKey* result) {
  std::string shown = registry_.Shown(key) + "\\" + Str(subKey);
  int32_t status =
      ShouldFail(Op::RegOpenKeyA, shown) ? kErrorAccessDenied : registry_.Open(key, subKey, result);
  Log(Op::RegOpenKeyA,
      {shown,
       {registry_.Shown(key), Str(subKey)},
       Dec(status),
       status == kErrorSuccess ? Hex(static_cast<uint32_t>(*result)) : Status(status)});
  return status;
}

int32_t SimulatedSystem::RegCreateKeyExA(RegKey key, const char* subKey, uint32_t options,
                                         uint32_t samDesired, RegKey* result) {
  std::string shown = registry_.Shown(key) + "\\" + Str(subKey);
  int32_t status = ShouldFail(Op::RegCreateKeyExA, shown) ? kErrorAccessDenied
                                                          : registry_.Create(key, subKey, result);
  Log(Op::RegCreateKeyExA,
      {shown + ", " + Dec(options) + ", " + Hex(samDesired),
       {registry_.Shown(key), Str(subKey), Dec(options), Dec(samDesired)},
       Dec(status),
       status == kErrorSuccess ? Hex(static_cast<uint32_t>(*result)) : Status(status)});
  return status;
}

int32_t SimulatedSystem::RegSetValueExA(RegKey key, const char* valueName, uint32_t type,
                                        const uint8_t* data, uint32_t size) {
  std::string shown = registry_.Shown(key);
  std::string name = valueName == nullptr ? "" : valueName;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  int32_t status = ShouldFail(Op::RegSetValueExA, shown + "\\" + name)
                       ? kErrorAccessDenied
                       : registry_.SetValueEx(key, valueName, Value{type, bytes});
  std::string shownData =
      type == kRegSz
          ? "\"" + Printable(bytes.substr(0, strnlen(bytes.c_str(), bytes.size()))) + "\""
          : Printable(bytes);
  Log(Op::RegSetValueExA,
      {shown + ", " + name + ", " + Dec(type) + ", " + shownData + ", " + Dec(size),
       {shown, name, Dec(type), Dec(size)},
       Dec(status),
       Status(status)});
  return status;
}

int32_t SimulatedSystem::RegDeleteKeyA(RegKey key, const char* subKey) {
  std::string shown = registry_.Shown(key) + "\\" + Str(subKey);
  int32_t status =
      ShouldFail(Op::RegDeleteKeyA, shown) ? kErrorAccessDenied : registry_.Delete(key, subKey);
  Log(Op::RegDeleteKeyA, {shown, {registry_.Shown(key), Str(subKey)}, Dec(status), Status(status)});
  return status;
}

int32_t SimulatedSystem::RegCloseKey(RegKey key) {
  std::string shown = registry_.Shown(key);
  int32_t status = ShouldFail(Op::RegCloseKey, shown) ? kErrorAccessDenied : registry_.Close(key);
  Log(Op::RegCloseKey, {shown, {shown}, Dec(status), Status(status)});
  return status;
}

// --- Programs ---

bool SimulatedSystem::CreateProcessA(char* commandLine, bool inheritHandles, uint32_t creationFlags,
                                     const StartupInfo& startup, ProcessInformation* information) {
  std::string text = commandLine;
  std::string program = programs_.Resolve(text, windowsDirectory_);
  bool flagRefused = platformId_ == kVerPlatformWin32Windows &&
                     (creationFlags & kCreateNoWindow) != 0 &&
                     noWindowFlag_ == NoWindowFlag::kRefused;
  bool ok = !ShouldFail(Op::CreateProcessA, text) && !program.empty() && !flagRefused &&
            !programs_.FailsToStart(program);
  if (ok) programs_.Start(program, text, true, information);
  std::vector<std::string> values = {text,
                                     Flag(inheritHandles),
                                     Dec(creationFlags),
                                     Dec(startup.cb),
                                     Dec(startup.dwFlags),
                                     Dec(startup.wShowWindow),
                                     Dec(startup.hStdInput),
                                     Dec(startup.hStdOutput),
                                     Dec(startup.hStdError)};
  Log(Op::CreateProcessA,
      {text + ", inherit " + values[1] + ", flags " + Hex(creationFlags) + ", cb " + values[3] +
           ", startf " + Hex(startup.dwFlags) + ", show " + values[5] + ", std " +
           Hex(static_cast<uint32_t>(startup.hStdInput)) + " " +
           Hex(static_cast<uint32_t>(startup.hStdOutput)) + " " +
           Hex(static_cast<uint32_t>(startup.hStdError)),
       values, Flag(ok)});
  return ok;
}

uint32_t SimulatedSystem::WaitForSingleObject(Handle handle, uint32_t milliseconds) {
  uint32_t result =
      ShouldFail(Op::WaitForSingleObject, "") || !programs_.IsProcess(handle) ? kWaitFailed : 0;
  Log(Op::WaitForSingleObject, {Hex(static_cast<uint32_t>(handle)) + ", " + Hex(milliseconds),
                                {Dec(handle), Dec(milliseconds)},
                                Dec(result),
                                Hex(result)});
  return result;
}

bool SimulatedSystem::GetExitCodeProcess(Handle process, uint32_t* status) {
  // A status that was not read must not be taken for success.
  *status = 0;
  bool ok = !ShouldFail(Op::GetExitCodeProcess, "") && programs_.ExitStatus(process, status);
  Log(Op::GetExitCodeProcess, {Hex(static_cast<uint32_t>(process)),
                               {Dec(process)},
                               Flag(ok),
                               ok ? "1, status " + Dec(*status) : "0"});
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
  Log(Op::GetStdHandle,
      {Hex(which), {Dec(which)}, Dec(handle), Hex(static_cast<uint32_t>(handle))});
  return handle;
}

bool SimulatedSystem::CloseHandle(Handle handle) {
  bool ok = !ShouldFail(Op::CloseHandle, "") && programs_.CloseHandle(handle);
  Log(Op::CloseHandle, {Hex(static_cast<uint32_t>(handle)), {Dec(handle)}, Flag(ok)});
  return ok;
}

uint32_t SimulatedSystem::WinExec(const char* commandLine, uint32_t showCommand) {
  std::string program = programs_.Resolve(commandLine, windowsDirectory_);
  uint32_t result = kWinExecStarted;
  if (ShouldFail(Op::WinExec, commandLine) || program.empty()) {
    result = kWinExecFileNotFound;
  } else if (programs_.FailsToStart(program)) {
    result = kWinExecBadFormat;
  } else {
    programs_.Start(program, commandLine, false, nullptr);
  }
  Log(Op::WinExec, {std::string(commandLine) + ", " + Dec(showCommand),
                    {commandLine, Dec(showCommand)},
                    Dec(result)});
  return result;
}

void SimulatedSystem::InstallHinfSection(const char* commandLine, int showCommand) {
  std::string text = commandLine;
  size_t first = text.find(' ');
  size_t second = first == std::string::npos ? first : text.find(' ', first + 1);
  SectionInstall install{text, text.substr(0, first),
                         second == std::string::npos ? "" : text.substr(second + 1), false};
  bool failed = ShouldFail(Op::InstallHinfSection, text);
  const SimulatedFiles::File* file = files_.FindFile(install.infPath);
  install.sectionFound =
      !failed && file != nullptr &&
      Lower(file->content).find("[" + Lower(install.section) + "]") != std::string::npos;
  sectionInstalls_.push_back(install);
  Log(Op::InstallHinfSection, {text + ", " + std::to_string(showCommand),
                               {text, std::to_string(showCommand)},
                               "",
                               install.sectionFound ? "installed" : "nothing installed"});
}

uint32_t SimulatedSystem::GetShortPathNameA(const char* longPath, char* shortPath, uint32_t size) {
  uint32_t length = 0;
  std::string shortForm = files_.ShortFormOf(longPath);
  if (ShouldFail(Op::GetShortPathNameA, longPath)) {
    Poison(shortPath, size);
  } else if (!shortForm.empty()) {
    length = FillBuffer(shortForm, shortPath, size);
  }
  Log(Op::GetShortPathNameA,
      {std::string(longPath) + ", " + Dec(size), {longPath, Dec(size)}, Dec(length)});
  return length;
}

// --- User interface and process ---

const char* SimulatedSystem::CharPrevA(const char* start, const char* current) {
  const char* previous = start;
  for (const char* at = start; at < current;) {
    previous = at;
    at += files_.IsLeadByte(static_cast<unsigned char>(*at)) && at + 1 < current ? 2 : 1;
  }
  std::string text(start, current);
  Log(Op::CharPrevA, {Printable(text) + ", " + Dec(current - start),
                      {text, Dec(current - start)},
                      Dec(previous - start)});
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
  Log(Op::MessageBoxA, {std::string(caption) + ", \"" + Printable(text) + "\", " + Dec(type),
                        {caption, text, Dec(type)},
                        std::to_string(answer)});
  return answer;
}

bool SimulatedSystem::ExitWindowsEx(uint32_t flags, uint32_t reserved) {
  bool ok = !ShouldFail(Op::ExitWindowsEx, "");
  if (ok) restartRequests_.push_back(flags);
  Log(Op::ExitWindowsEx,
      {Hex(flags) + ", " + Dec(reserved), {Dec(flags), Dec(reserved)}, Flag(ok)});
  return ok;
}

Handle SimulatedSystem::CreateMutexA(const char* name) {
  Handle handle = 0;
  if (ShouldFail(Op::CreateMutexA, name)) {
    lastError_ = kErrorAccessDenied;
  } else {
    if (mutexHeldHere_.count(name) != 0) {
      lastError_ = kErrorAlreadyExists;
    } else if (newMutexLastError_ == NewMutexLastError::kCleared) {
      lastError_ = 0;
    }
    mutexHeldHere_.emplace(name, true);
    handle = nextMutex_++;
  }
  Log(Op::CreateMutexA, {name, {name}, Dec(handle), Hex(static_cast<uint32_t>(handle))});
  return handle;
}

uint32_t SimulatedSystem::GetLastError() {
  Log(Op::GetLastError, {"", {}, Dec(lastError_)});
  return lastError_;
}

void SimulatedSystem::SetLastError(uint32_t error) {
  lastError_ = error;
  Log(Op::SetLastError, {Dec(error), {Dec(error)}, ""});
}

void SimulatedSystem::ExitProcess(uint32_t status) {
  Log(Op::ExitProcess, {Dec(status), {Dec(status)}, "", "-"});
  throw ProcessExit{status};
}
