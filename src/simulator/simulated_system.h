// A simulated Windows 98/Me machine, the face the tests use. Its parts: the
// file table (simulated_files) with its calls (simulated_file_calls), profile
// files (simulated_profiles), the registry (simulated_registry), programs
// (simulated_programs), the life of processes (simulated_process), the
// version (simulated_version), the boxes and restart requests
// (simulated_user), the setup library (simulated_setup_library), the
// system's start (simulated_start), and the call log with injected failures
// (simulated_call_log). The face forwards each call to the part that
// simulates it, which checks for an injected failure, acts and logs the call,
// and runs the next start across the parts, so that none calls back into another.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/system.h"
#include "simulator/simulated_call_log.h"
#include "simulator/simulated_file_calls.h"
#include "simulator/simulated_files.h"
#include "simulator/simulated_process.h"
#include "simulator/simulated_profiles.h"
#include "simulator/simulated_programs.h"
#include "simulator/simulated_registry.h"
#include "simulator/simulated_setup_library.h"
#include "simulator/simulated_start.h"
#include "simulator/simulated_user.h"
#include "simulator/simulated_version.h"

class SimulatedSystem final : public System {
 public:
  using Call = SimulatedCall;
  using Value = SimulatedRegistry::Value;
  using Program = SimulatedPrograms::Program;
  using Started = SimulatedPrograms::Started;
  using Box = SimulatedUser::Box;
  using SectionInstall = SimulatedSetupLibrary::SectionInstall;
  static Program ExtractionPackage(const std::string& name, uint32_t exitStatus) {
    return SimulatedPrograms::ExtractionPackage(name, exitStatus);
  }
  using NoWindowFlag = SimulatedPrograms::NoWindowFlag;
  using NewMutexLastError = SimulatedProcess::NewMutexLastError;
  using RunningFileRename = SimulatedFileCalls::RunningFileRename;
  using CommentReading = SimulatedProfiles::CommentReading;
  using ProfileWrites = SimulatedProfiles::ProfileWrites;

  SimulatedSystem();
  SimulatedSystem(const SimulatedSystem&) = delete;
  SimulatedSystem& operator=(const SimulatedSystem&) = delete;

  // --- Building the machine ---
  void SetVersion(uint32_t platformId, uint32_t major, uint32_t minor);
  // 1252 (the default) or 932, whose double-byte characters may end in 0x5C.
  void SetCodePage(uint32_t codePage);
  void SetNoWindowFlag(NoWindowFlag behaviour);  // kIgnored by default
  void SetCurrentDirectory(const std::string& path);
  void SetWindowsDirectory(const std::string& path);
  // The path GetModuleFileNameA gives for the running setup (D:\SETUP.EXE by default).
  void SetModulePath(const std::string& path) { fileCalls_.SetModulePath(path); }
  // Creates the directory and its parents.
  void AddDirectory(const std::string& path);
  // Creates the file (and its directory), replacing any file of that name.
  void AddFile(const std::string& path, const std::string& content = "",
               uint32_t attributes = kFileAttributeNormal);
  // Marks every file in the directory and below it read-only, as on a CD.
  void MakeTreeReadOnly(const std::string& directory);
  // A program file at path whose start behaves as given; bare names in a
  // command line are found in the current, Windows, SYSTEM and COMMAND directories.
  void AddProgram(const std::string& path, const Program& program,
                  uint32_t attributes = kFileAttributeNormal);
  // Gives an existing file or directory this 8.3 alias in place of the one the
  // system would make; false when its directory holds that name already.
  bool SetShortName(const std::string& path, const std::string& alias);
  void AddKey(const std::string& keyPath);  // "HKLM\..." with its parents
  void SetValue(const std::string& keyPath, const std::string& name, uint32_t type,
                const std::string& data);
  void AnswerNextBox(int answer) { user_.AnswerNextBox(answer); }
  // Fails every call of op whose first argument (a path, key path, command
  // line or box caption) is subject; every call of op when subject is empty.
  void Fail(Op op, const std::string& subject = "");
  // Fails the fallible call with this 1-based number, whatever it is; may be
  // given several numbers. A failed query fills its buffer with 'Z' bytes.
  void FailCallNumber(int number);

  // Another process holds the named mutex, as another setup that is running would.
  void HoldMutexElsewhere(const std::string& name);
  // What CreateMutexA does to the last error when it creates a new name, which
  // Windows 9x does not document, and the code the start-up left there.
  void SetNewMutexLastError(NewMutexLastError behaviour, uint32_t leftByStartup);
  // The program file at path runs and keeps running, as a resident program
  // started at the last start does: its file is in use.
  void StartProgram(const std::string& path);
  // Whether MoveFileA renames a running program's file (kRefused by default, as on Windows 9x).
  void SetRunningFileRename(RunningFileRename behaviour);
  // Whether GetPrivateProfileSectionA gives comment lines (kReturned by default).
  void SetCommentReading(CommentReading behaviour) { profiles_.SetCommentReading(behaviour); }
  // Whether profile writes reach the disk at once (kWrittenThrough, the
  // default) or wait in the system's cache for a flush or an orderly shutdown.
  void SetProfileWrites(ProfileWrites behaviour) { profiles_.SetProfileWrites(behaviour); }
  // The system starts again: every process ends, the profile cache is
  // written (lost when the power was cut), then the start runs as
  // simulated_start tells; then the machine is ready for another run, as
  // after StartAnotherRun.
  void NextStart();
  // The power fails after the run has ended, then the system starts again.
  void NextStartAfterPowerCut();

  // Ends the run right after its call with this 1-based number (every call
  // counts), as a power cut does: the process and every program it started
  // end at once, and files and keys stay as they are at that moment.
  void CutPowerAfterCall(int number);

  // What Run returns when the power was cut: the process left no status.
  static constexpr uint32_t kPowerCutStatus = SimulatedProcess::kPowerCutStatus;
  // Runs the program's entry under this machine as one process and returns
  // its status, whether it returned or ended through ExitProcess. Whatever way
  // it ends, the system releases the mutexes it held.
  uint32_t Run(const std::function<uint32_t()>& entry);
  // Readies the machine for another process of the setup: the calls, boxes,
  // starts, sections and restart requests of the last one are forgotten, as
  // are the failures, power cut and answers given for it and the handles and
  // keys it left open. Files, registry, programs and mutexes held elsewhere stay.
  void StartAnotherRun();

  // --- Reading the machine ---
  uint32_t platformId() const { return version_.platformId(); }
  bool IsWindowsMe() const { return version_.IsWindowsMe(); }
  const std::string& modulePath() const { return fileCalls_.modulePath(); }
  // The path as this machine resolves it: folded case, single separators, ".." applied.
  std::string ResolvedPath(const std::string& path) const { return files_.PathKey(path); }
  // Whether the path's last character is a backslash (not the second byte of a
  // double-byte character) in this machine's code page.
  bool EndsWithSeparator(const std::string& path) const;
  // The 8.3 form GetShortPathNameA would give, or "" for a path that does not exist.
  std::string ShortFormOf(const std::string& path) const;
  bool FileExists(const std::string& path) const;
  bool DirectoryExists(const std::string& path) const;
  std::string FileContent(const std::string& path) const;
  uint32_t FileAttributes(const std::string& path) const;  // kInvalidFileAttributes when absent
  bool KeyExists(const std::string& keyPath) const;
  // The value, or nullptr when the key or value is absent.
  const Value* FindValue(const std::string& keyPath, const std::string& name) const;
  std::vector<std::string> ValueNames(const std::string& keyPath) const;
  const std::vector<Call>& calls() const { return log_.calls(); }
  std::vector<std::string> CallTexts() const;
  const std::vector<Box>& boxes() const { return user_.boxes(); }
  const std::vector<Started>& started() const { return programs_.started(); }
  const std::vector<SectionInstall>& sectionInstalls() const {
    return setupLibrary_.sectionInstalls();
  }
  const std::vector<uint32_t>& restartRequests() const { return user_.restartRequests(); }
  int fallibleCalls() const { return log_.fallibleCalls(); }
  int openKeyCount() const { return registry_.openKeyCount(); }
  int openHandleCount() const { return programs_.openHandleCount(); }
  bool powerWasCut() const { return process_.powerWasCut(); }
  bool IsRunning(const std::string& path) const { return process_.IsRunning(ResolvedPath(path)); }
  // What the last start did: "renamed DEST=SOURCE", "deleted PATH", "started PROGRAM".
  const std::vector<std::string>& lastStart() const { return lastStart_; }
  // Everything above, for a failing test's output.
  std::string Dump() const;

  // --- System ---
  uint32_t GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) override;
  uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size) override;
  bool GetVersionExA(OsVersionInfo* info) override;
  uint32_t GetModuleFileNameA(char* buffer, uint32_t size) override;
  uint32_t GetFileAttributesA(const char* path) override;
  bool SetFileAttributesA(const char* path, uint32_t attributes) override;
  bool DeleteFileA(const char* path) override;
  bool CopyFileA(const char* source, const char* target, bool failIfExists) override;
  bool MoveFileA(const char* existingPath, const char* newPath) override;
  int32_t RegOpenKeyA(RegKey key, const char* subKey, RegKey* result) override;
  int32_t RegCreateKeyExA(RegKey key, const char* subKey, uint32_t options, uint32_t samDesired,
                          RegKey* result, uint32_t* disposition) override;
  int32_t RegSetValueExA(RegKey key, const char* valueName, uint32_t type, const uint8_t* data,
                         uint32_t size) override;
  int32_t RegDeleteKeyA(RegKey key, const char* subKey) override;
  int32_t RegDeleteValueA(RegKey key, const char* valueName) override;
  int32_t RegCloseKey(RegKey key) override;
  bool CreateProcessA(char* commandLine, bool inheritHandles, uint32_t creationFlags,
                      const StartupInfo& startup, ProcessInformation* information) override;
  uint32_t WaitForSingleObject(Handle handle, uint32_t milliseconds) override;
  bool GetExitCodeProcess(Handle process, uint32_t* status) override;
  Handle GetStdHandle(uint32_t which) override;
  bool CloseHandle(Handle handle) override;
  uint32_t WinExec(const char* commandLine, uint32_t showCommand) override;
  void InstallHinfSection(const char* commandLine, int showCommand) override;
  uint32_t GetShortPathNameA(const char* longPath, char* shortPath, uint32_t size) override;
  uint32_t GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size,
                                     const char* fileName) override;
  bool WritePrivateProfileSectionA(const char* section, const char* lines,
                                   const char* fileName) override;
  bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                  const char* fileName) override;
  const char* CharPrevA(const char* start, const char* current) override;
  int MessageBoxA(const char* text, const char* caption, uint32_t type) override;
  bool ExitWindowsEx(uint32_t flags, uint32_t reserved) override;
  Handle CreateMutexA(const char* name) override;
  uint32_t GetLastError() override;
  void SetLastError(uint32_t error) override;
  [[noreturn]] void ExitProcess(uint32_t status) override;

 private:
  SimulatedFiles files_;
  SimulatedCallLog log_{files_};  // a failure's path matches as the file table resolves it
  SimulatedProcess process_{log_};
  SimulatedFileCalls fileCalls_{files_, log_, process_};
  SimulatedProfiles profiles_{files_, log_};
  SimulatedRegistry registry_{log_};
  SimulatedPrograms programs_{files_, log_, process_};
  SimulatedVersion version_{log_};
  SimulatedUser user_{files_.names(), log_};
  SimulatedSetupLibrary setupLibrary_{files_, log_};
  std::vector<std::string> lastStart_;
};
