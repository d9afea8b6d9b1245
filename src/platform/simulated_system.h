// A simulated Windows 98/Me machine: maps for files and the registry, logs of
// what was asked of it, and failures injected per operation.
//
// It follows the target systems' documented rules: names match without regard
// to case, repeated backslashes count as one, ".." never climbs above a drive
// root, read-only files refuse deletion and replacement, RegOpenKeyA never
// creates a key and RegDeleteKeyA removes a whole subtree. Started programs run
// to their end at once, with the behaviour a test gave them.
#pragma once

#include <stdint.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/system.h"

enum class Op {
  GetCurrentDirectoryA,
  GetWindowsDirectoryA,
  GetVersionExA,
  GetFileAttributesA,
  SetFileAttributesA,
  DeleteFileA,
  CopyFileA,
  MoveFileA,
  RegOpenKeyA,
  RegCreateKeyExA,
  RegSetValueExA,
  RegDeleteKeyA,
  RegCloseKey,
  CreateProcessA,
  WaitForSingleObject,
  GetExitCodeProcess,
  GetStdHandle,
  CloseHandle,
  WinExec,
  InstallHinfSection,
  GetShortPathNameA,
  CharPrevA,
  MessageBoxA,
  ExitWindowsEx,
  ExitProcess,
};

const char* OpName(Op op);

class SimulatedSystem final : public System {
 public:
  struct Call {
    Op op;
    std::string text;                // "Name(arguments) = result", as the log prints it
    std::vector<std::string> paths;  // the file paths a file operation was given
    int fallibleNumber;              // its number among the calls that can fail, or 0
    bool injected;                   // it failed because a test made it fail
  };
  struct Box {
    std::string caption;
    std::string text;
    uint32_t type;
  };
  struct Value {
    uint32_t type;
    std::string data;  // exactly the bytes stored, as long as the length passed
  };
  // What a program does when it is started.
  struct Program {
    uint32_t exitStatus = 0;
    bool failsToStart = false;
    // An extraction package: started with "/t:DIR", it creates DIR and these files in it.
    std::map<std::string, std::string> extracts;
    // A deletion command: it removes each path argument, directories with their contents.
    bool deletesTrees = false;
  };
  struct Started {
    std::string commandLine;
    bool waitable;        // started by CreateProcessA rather than WinExec
    std::string program;  // the program file the command line resolved to (folded)
  };
  struct SectionInstall {
    std::string commandLine;
    std::string section;
    std::string infPath;
    bool sectionFound;  // the file exists and holds "[section]"
  };

  // What platform 1's CreateProcessA does with CREATE_NO_WINDOW, which Windows
  // 95, 98 and Me document as not supported; no such system has shown which.
  enum class NoWindowFlag { kIgnored, kRefused };

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
  // Creates the directory and its parents.
  void AddDirectory(const std::string& path);
  // Creates the file (and its directory), replacing any file of that name.
  void AddFile(const std::string& path, const std::string& content = "",
               uint32_t attributes = kFileAttributeNormal);
  // A program file at path whose start behaves as given; bare names in a
  // command line are found in the current, Windows, SYSTEM and COMMAND directories.
  void AddProgram(const std::string& path, const Program& program);
  void SetShortPath(const std::string& longPath, const std::string& shortPath);
  void AddKey(const std::string& keyPath);  // "HKLM\..." with its parents
  void SetValue(const std::string& keyPath, const std::string& name, uint32_t type,
                const std::string& data);
  void AnswerNextBox(int answer);
  // Fails every call of op whose first argument (a path, key path, command
  // line or box caption) is subject; every call of op when subject is empty.
  void Fail(Op op, const std::string& subject = "");
  // Fails the fallible call with this 1-based number, whatever it is; may be
  // given several numbers. A failed query fills its buffer with 'Z' bytes.
  void FailCallNumber(int number);

  // Runs the program's entry under this machine and returns its process
  // status, whether it returned or ended through ExitProcess.
  uint32_t Run(const std::function<uint32_t()>& entry);

  // --- Reading the machine ---
  // The path as this machine resolves it: folded case, single separators, ".." applied.
  std::string ResolvedPath(const std::string& path) const { return PathKey(path); }
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
  const std::vector<Call>& calls() const { return calls_; }
  std::vector<std::string> CallTexts() const;
  const std::vector<Box>& boxes() const { return boxes_; }
  const std::vector<Started>& started() const { return started_; }
  const std::vector<SectionInstall>& sectionInstalls() const { return sectionInstalls_; }
  const std::vector<uint32_t>& restartRequests() const { return restartRequests_; }
  int fallibleCalls() const { return fallibleCalls_; }
  int openKeyCount() const { return static_cast<int>(openKeys_.size()); }
  int openHandleCount() const { return static_cast<int>(processes_.size() + threads_.size()); }
  // Everything above, for a failing test's output.
  std::string Dump() const;

  // --- System ---
  uint32_t GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) override;
  uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size) override;
  bool GetVersionExA(OsVersionInfo* info) override;
  uint32_t GetFileAttributesA(const char* path) override;
  bool SetFileAttributesA(const char* path, uint32_t attributes) override;
  bool DeleteFileA(const char* path) override;
  bool CopyFileA(const char* source, const char* target, bool failIfExists) override;
  bool MoveFileA(const char* existingPath, const char* newPath) override;
  int32_t RegOpenKeyA(RegKey key, const char* subKey, RegKey* result) override;
  int32_t RegCreateKeyExA(RegKey key, const char* subKey, uint32_t options, uint32_t samDesired,
                          RegKey* result) override;
  int32_t RegSetValueExA(RegKey key, const char* valueName, uint32_t type, const uint8_t* data,
                         uint32_t size) override;
  int32_t RegDeleteKeyA(RegKey key, const char* subKey) override;
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
  const char* CharPrevA(const char* start, const char* current) override;
  int MessageBoxA(const char* text, const char* caption, uint32_t type) override;
  bool ExitWindowsEx(uint32_t flags, uint32_t reserved) override;
  [[noreturn]] void ExitProcess(uint32_t status) override;

 private:
  struct File {
    std::string path;
    std::string content;
    uint32_t attributes;
  };
  struct Key {
    std::string path;
    std::map<std::string, std::string> valueNames;  // folded name -> name as written
    std::map<std::string, Value> values;            // by folded name
  };

  std::string PathKey(const std::string& path) const;
  bool IsLeadByte(unsigned char byte) const;
  // The path's names between real backslashes, ASCII letters folded to lower case.
  std::vector<std::string> FoldedNames(const std::string& path) const;
  // The long name in parentKey whose short alias is shortName; shortName when there is none.
  std::string LongName(const std::string& parentKey, const std::string& shortName) const;
  static std::string KeyPathKey(const std::string& keyPath);
  bool ParentExists(const std::string& pathKey) const;
  std::string ParentKey(const std::string& pathKey) const;  // "" for a drive root
  bool ShouldFail(Op op, const std::string& subject);
  void Log(Op op, const std::string& arguments, const std::string& result,
           std::vector<std::string> paths = {});
  static void Poison(char* buffer, uint32_t size);
  std::string KeyPathOf(RegKey key) const;
  RegKey OpenHandle(const std::string& keyPathKey);
  void CreateKeyWithParents(const std::string& keyPath);
  uint32_t FillBuffer(const std::string& text, char* buffer, uint32_t size);
  // Finds the program a command line names; empty when there is none.
  std::string ResolveProgram(const std::string& commandLine) const;
  void RunProgram(const std::string& programKey, const std::string& commandLine);
  void RemoveTree(const std::string& pathKey);
  // Renames a directory with everything beneath it.
  void MoveTree(const std::string& fromKey, const std::string& toKey);

  uint32_t platformId_ = kVerPlatformWin32Windows;
  uint32_t codePage_ = 1252;
  NoWindowFlag noWindowFlag_ = NoWindowFlag::kIgnored;
  uint32_t majorVersion_ = 4;
  uint32_t minorVersion_ = 10;
  std::string currentDirectory_ = "C:\\";
  std::string windowsDirectory_ = "C:\\WINDOWS";
  std::map<std::string, std::string> directories_;  // by path key
  std::map<std::string, File> files_;               // by path key
  std::map<std::string, Program> programs_;         // by path key of the program file
  std::map<std::string, std::string> shortPaths_;   // by path key
  std::map<std::string, Key> keys_;                 // by key path key
  std::map<RegKey, std::string> openKeys_;          // handle -> key path key
  RegKey nextKey_ = 0x1000;
  std::map<Handle, uint32_t> processes_;  // open process handle -> exit status
  std::set<Handle> threads_;
  Handle nextHandle_ = 0x2000;
  std::vector<int> answers_;
  std::vector<std::pair<Op, std::string>> failures_;
  std::set<int> failCallNumbers_;
  int fallibleCalls_ = 0;
  int pendingFallible_ = 0;  // the number of the fallible call being made
  bool pendingInjected_ = false;

  std::vector<Call> calls_;
  std::vector<Box> boxes_;
  std::vector<Started> started_;
  std::vector<SectionInstall> sectionInstalls_;
  std::vector<uint32_t> restartRequests_;
};
