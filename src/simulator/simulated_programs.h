// Programs on the simulated machine and the processes they run as: a command
// line is resolved as the platform resolves it, and a started program runs to
// its end at once, with the behaviour a test gave it; a resident one, as the
// monitor is, keeps running and holds its file.
#pragma once

#include <stdint.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/system.h"
#include "simulator/simulated_call_log.h"
#include "simulator/simulated_files.h"
#include "simulator/simulated_process.h"

class SimulatedPrograms {
 public:
  // What a program does when it is started.
  struct Program {
    uint32_t exitStatus = 0;
    bool failsToStart = false;
    // An extraction package: started with "/t:DIR", it creates DIR and these files in it.
    std::map<std::string, std::string> extracts;
    // A deletion command: it removes each path argument, directories with their contents.
    bool deletesTrees = false;
    // It keeps running once started, as the reader's monitor does, and so
    // holds its file in use.
    bool resident = false;
    // It deletes its own file as it ends, as a package that cleans up after itself may.
    bool deletesItself = false;
  };
  struct Started {
    std::string commandLine;
    bool waitable;        // started by CreateProcessA rather than WinExec
    std::string program;  // the program file the command line resolved to (folded)
  };

  // A self-extracting base component package: started with "/t:DIR", it
  // extracts NAME.inf (with a "DefaultInstall" section) and NAME.dll into DIR,
  // and ends with exitStatus.
  static Program ExtractionPackage(const std::string& name, uint32_t exitStatus);

  // What platform 1's CreateProcessA does with CREATE_NO_WINDOW, which Windows
  // 95, 98 and Me document as not supported; no such system has shown which.
  enum class NoWindowFlag { kIgnored, kRefused };

  SimulatedPrograms(SimulatedFiles& files, SimulatedCallLog& log, SimulatedProcess& process)
      : files_(files), log_(log), process_(process) {}

  void SetNoWindowFlag(NoWindowFlag behaviour) {
    noWindowFlag_ = behaviour;
  }  // kIgnored by default
  void SetPlatformId(uint32_t platformId) { platformId_ = platformId; }

  // A program file at path, with these attributes, whose start behaves as given.
  void Add(const std::string& path, const Program& program, uint32_t attributes);

  // Starts the bare program path as the system's start does; the program file
  // it started (a path key), or "" when there is none.
  std::string StartAtSystemStart(const std::string& commandLine);

  // A new process of the setup: the last one's handles and starts are gone.
  void EndProcesses();
  int openHandleCount() const { return static_cast<int>(processes_.size() + threads_.size()); }
  const std::vector<Started>& started() const { return started_; }

  // --- The calls, as System declares them ---
  bool CreateProcessA(char* commandLine, bool inheritHandles, uint32_t creationFlags,
                      const StartupInfo& startup, ProcessInformation* information);
  uint32_t WaitForSingleObject(Handle handle, uint32_t milliseconds);
  bool GetExitCodeProcess(Handle process, uint32_t* status);
  Handle GetStdHandle(uint32_t which);
  bool CloseHandle(Handle handle);
  uint32_t WinExec(const char* commandLine, uint32_t showCommand);

  void Dump(std::string* out) const;

 private:
  const Program* Find(const std::string& programKey) const;
  // The program file a command line names, as a path key; "" when there is
  // none. Bare names are looked for in the current, Windows, SYSTEM and COMMAND
  // directories.
  std::string Resolve(const std::string& commandLine) const;
  // Whether the resolved program refuses to start (it is no program).
  bool FailsToStart(const std::string& programKey) const;
  // Runs the program to its end; waitable starts get process and thread handles.
  void Start(const std::string& programKey, const std::string& commandLine, bool waitable,
             ProcessInformation* information);
  bool IsProcess(Handle handle) const { return processes_.count(handle) != 0; }
  // The ended process's status; false for no process handle.
  bool ExitStatus(Handle process, uint32_t* status) const;
  bool Release(Handle handle);

  SimulatedFiles& files_;
  SimulatedCallLog& log_;
  SimulatedProcess& process_;
  NoWindowFlag noWindowFlag_ = NoWindowFlag::kIgnored;
  uint32_t platformId_ = kVerPlatformWin32Windows;
  std::map<std::string, Program> programs_;  // by the program file's name, folded
  std::map<Handle, uint32_t> processes_;     // open process handle -> exit status
  std::set<Handle> threads_;
  Handle nextHandle_ = 0x2000;
  std::vector<Started> started_;
};
