#include "steps/basecomp/command_runners.h"

#include "common/exit_status.h"
#include "common/windows_version.h"

namespace {

bool StartChild(const RunContext& run, const ByteString& commandLine, uint32_t creationFlags,
                const StartupInfo& startup, ProcessInformation* process) {
  ByteString writable = commandLine;  // the system may change the text in place
  return run.system.CreateProcessA(writable.data(), false, creationFlags, startup, process);
}

// Windows 95, 98 and Me document CREATE_NO_WINDOW as not supported: where
// their start refuses it, the child is started once more without it.
bool StartWithoutConsoleWindow(const RunContext& run, const ByteString& commandLine,
                               const StartupInfo& startup, ProcessInformation* process) {
  if (StartChild(run, commandLine, kCreateNoWindow, startup, process)) return true;
  return IsWindows9x(run.system) && StartChild(run, commandLine, 0, startup, process);
}

void CloseChild(const RunContext& run, const ProcessInformation& process) {
  run.system.CloseHandle(process.hProcess);
  run.system.CloseHandle(process.hThread);
}

}  // namespace

void RunAndWait(const RunContext& run, const ByteString& commandLine) {
  StartupInfo startup = {};
  startup.cb = kStartupInfoSize;
  startup.dwFlags = kStartfUseStdHandles;
  startup.hStdInput = run.system.GetStdHandle(kStdInputHandle);
  startup.hStdOutput = run.system.GetStdHandle(kStdOutputHandle);
  startup.hStdError = run.system.GetStdHandle(kStdErrorHandle);
  ProcessInformation process = {};
  // Whatever the caller does next relies on what the child was to do.
  if (!StartWithoutConsoleWindow(run, commandLine, startup, &process)) {
    EndSetup(run, ExitStatus::kExtractionFailed);
  }

  run.system.WaitForSingleObject(process.hProcess, kInfinite);
  uint32_t status = 0;
  if (!run.system.GetExitCodeProcess(process.hProcess, &status) || status != 0) {
    EndSetup(run, ExitStatus::kExtractionFailed);
  }
  CloseChild(run, process);
}

void RunHiddenAndWait(const RunContext& run, const ByteString& commandLine) {
  // The startup record hides the child; no creation flag is needed for that.
  StartupInfo startup = {};
  startup.cb = kStartupInfoSize;
  startup.dwFlags = kStartfUseShowWindow;
  startup.wShowWindow = kSwHide;
  ProcessInformation process = {};
  if (!StartChild(run, commandLine, 0, startup, &process)) return;
  run.system.WaitForSingleObject(process.hProcess, kInfinite);
  CloseChild(run, process);
}

void RunDetached(const RunContext& run, const ByteString& commandLine) {
  run.system.WinExec(commandLine.c_str(), kSwHide);
}
