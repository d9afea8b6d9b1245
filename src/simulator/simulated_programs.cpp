#include "simulator/simulated_programs.h"

#include "simulator/simulated_text.h"

namespace {

constexpr uint32_t kWaitFailed = 0xFFFFFFFF;
constexpr Handle kInvalidHandle = ~static_cast<Handle>(0);
constexpr uint32_t kWinExecStarted = 33;
constexpr uint32_t kWinExecFileNotFound = 2;
constexpr uint32_t kWinExecBadFormat = 11;

bool HasDrive(const std::string& path) { return path.size() >= 2 && path[1] == ':'; }

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

SimulatedPrograms::Program SimulatedPrograms::ExtractionPackage(const std::string& name,
                                                                uint32_t exitStatus) {
  Program package;
  package.exitStatus = exitStatus;
  package.extracts[name + ".inf"] = "[Version]\nSignature=\"$Chicago$\"\n[DefaultInstall]\n";
  package.extracts[name + ".dll"] = "component";
  return package;
}

void SimulatedPrograms::Add(const std::string& path, const Program& program, uint32_t attributes) {
  files_.AddFile(path, "MZ", attributes);
  programs_[BaseName(files_.PathKey(path))] = program;
}

const SimulatedPrograms::Program* SimulatedPrograms::Find(const std::string& programKey) const {
  auto known = programs_.find(BaseName(programKey));
  return known == programs_.end() ? nullptr : &known->second;
}

std::string SimulatedPrograms::Resolve(const std::string& commandLine) const {
  const std::string& windowsDirectory = files_.windowsDirectory();
  // Like the platform, an unquoted text is tried word by word: "C:\My Windows\x.exe /q"
  // starts C:\My.exe when there is one.
  for (size_t end = commandLine.find(' '); true; end = commandLine.find(' ', end + 1)) {
    std::string word = commandLine.substr(0, end);
    std::string candidate = BaseName(word).find('.') == std::string::npos ? word + ".exe" : word;
    std::vector<std::string> places;
    if (word.find('\\') != std::string::npos || HasDrive(word)) {
      places.push_back(candidate);
    } else {
      for (const std::string& dir :
           {files_.currentDirectory(), windowsDirectory, windowsDirectory + "\\SYSTEM",
            windowsDirectory + "\\COMMAND"}) {
        places.push_back(dir + "\\" + candidate);
      }
    }
    for (const std::string& place : places) {
      if (files_.FindFile(place) != nullptr) return files_.PathKey(place);
    }
    if (end == std::string::npos) return std::string();
  }
}

bool SimulatedPrograms::FailsToStart(const std::string& programKey) const {
  const Program* program = Find(programKey);
  return program != nullptr && program->failsToStart;
}

void SimulatedPrograms::Start(const std::string& programKey, const std::string& commandLine,
                              bool waitable, ProcessInformation* information) {
  started_.push_back(Started{commandLine, waitable, programKey});
  const Program* program = Find(programKey);
  if (waitable) {
    information->hProcess = nextHandle_++;
    information->hThread = nextHandle_++;
    processes_[information->hProcess] = program == nullptr ? 0 : program->exitStatus;
    threads_.insert(information->hThread);
  }
  if (program == nullptr) return;
  if (program->resident) process_.ProgramRuns(programKey);
  std::vector<std::string> words = Split(commandLine, ' ');
  for (const std::string& word : words) {
    if (program->extracts.empty() || Lower(word.substr(0, 3)) != "/t:") continue;
    std::string dir = word.substr(3);
    files_.AddDirectory(dir);
    for (const auto& file : program->extracts) {
      files_.AddFile(dir + "\\" + file.first, file.second, kFileAttributeNormal);
    }
  }
  for (size_t i = 1; program->deletesTrees && i < words.size(); ++i) {
    if (!words[i].empty() && words[i][0] != '/') files_.RemoveTree(words[i]);
  }
  if (program->deletesItself) files_.RemoveTree(programKey);
}

std::string SimulatedPrograms::StartAtSystemStart(const std::string& commandLine) {
  std::string program = Resolve(commandLine);
  if (!program.empty() && !FailsToStart(program)) Start(program, commandLine, false, nullptr);
  return program;
}

bool SimulatedPrograms::ExitStatus(Handle process, uint32_t* status) const {
  auto found = processes_.find(process);
  if (found == processes_.end()) return false;
  *status = found->second;
  return true;
}

bool SimulatedPrograms::Release(Handle handle) {
  return processes_.erase(handle) != 0 || threads_.erase(handle) != 0;
}

void SimulatedPrograms::EndProcesses() {
  processes_.clear();
  threads_.clear();
  started_.clear();
}

// --- The calls ---

bool SimulatedPrograms::CreateProcessA(char* commandLine, bool inheritHandles,
                                       uint32_t creationFlags, const StartupInfo& startup,
                                       ProcessInformation* information) {
  std::string text = commandLine;
  std::string program = Resolve(text);
  bool flagRefused = platformId_ == kVerPlatformWin32Windows &&
                     (creationFlags & kCreateNoWindow) != 0 &&
                     noWindowFlag_ == NoWindowFlag::kRefused;
  bool ok = !log_.ShouldFail(Op::CreateProcessA, text) && !program.empty() && !flagRefused &&
            !FailsToStart(program);
  if (ok) Start(program, text, true, information);
  std::vector<std::string> values = {text,
                                     Flag(inheritHandles),
                                     Dec(creationFlags),
                                     Dec(startup.cb),
                                     Dec(startup.dwFlags),
                                     Dec(startup.wShowWindow),
                                     Dec(startup.hStdInput),
                                     Dec(startup.hStdOutput),
                                     Dec(startup.hStdError)};
  log_.Record(Op::CreateProcessA,
              {text + ", inherit " + values[1] + ", flags " + Hex(creationFlags) + ", cb " +
                   values[3] + ", startf " + Hex(startup.dwFlags) + ", show " + values[5] +
                   ", std " + Hex(static_cast<uint32_t>(startup.hStdInput)) + " " +
                   Hex(static_cast<uint32_t>(startup.hStdOutput)) + " " +
                   Hex(static_cast<uint32_t>(startup.hStdError)),
               values, Flag(ok)});
  return ok;
}

uint32_t SimulatedPrograms::WaitForSingleObject(Handle handle, uint32_t milliseconds) {
  uint32_t result =
      log_.ShouldFail(Op::WaitForSingleObject, "") || !IsProcess(handle) ? kWaitFailed : 0;
  log_.Record(Op::WaitForSingleObject,
              {Hex(static_cast<uint32_t>(handle)) + ", " + Hex(milliseconds),
               {Dec(handle), Dec(milliseconds)},
               Dec(result),
               Hex(result)});
  return result;
}

bool SimulatedPrograms::GetExitCodeProcess(Handle process, uint32_t* status) {
  // A status that was not read must not be taken for success.
  *status = 0;
  bool ok = !log_.ShouldFail(Op::GetExitCodeProcess, "") && ExitStatus(process, status);
  log_.Record(Op::GetExitCodeProcess, {Hex(static_cast<uint32_t>(process)),
                                       {Dec(process)},
                                       Flag(ok),
                                       ok ? "1, status " + Dec(*status) : "0"});
  return ok;
}

Handle SimulatedPrograms::GetStdHandle(uint32_t which) {
  Handle handle = kInvalidHandle;
  if (log_.ShouldFail(Op::GetStdHandle, "")) {
  } else if (which == kStdInputHandle) {
    handle = 0x101;
  } else if (which == kStdOutputHandle) {
    handle = 0x102;
  } else if (which == kStdErrorHandle) {
    handle = 0x103;
  }
  log_.Record(Op::GetStdHandle,
              {Hex(which), {Dec(which)}, Dec(handle), Hex(static_cast<uint32_t>(handle))});
  return handle;
}

bool SimulatedPrograms::CloseHandle(Handle handle) {
  bool ok = !log_.ShouldFail(Op::CloseHandle, "") && Release(handle);
  log_.Record(Op::CloseHandle, {Hex(static_cast<uint32_t>(handle)), {Dec(handle)}, Flag(ok)});
  return ok;
}

uint32_t SimulatedPrograms::WinExec(const char* commandLine, uint32_t showCommand) {
  std::string program = Resolve(commandLine);
  uint32_t result = kWinExecStarted;
  if (log_.ShouldFail(Op::WinExec, commandLine) || program.empty()) {
    result = kWinExecFileNotFound;
  } else if (FailsToStart(program)) {
    result = kWinExecBadFormat;
  } else {
    Start(program, commandLine, false, nullptr);
  }
  log_.Record(Op::WinExec, {std::string(commandLine) + ", " + Dec(showCommand),
                            {commandLine, Dec(showCommand)},
                            Dec(result)});
  return result;
}

void SimulatedPrograms::Dump(std::string* out) const {
  *out += "started:\n";
  for (const Started& start : started_) {
    *out +=
        std::string("  ") + (start.waitable ? "process " : "winexec ") + start.commandLine + "\n";
  }
}
