// The operating system as the setup reaches it: one method per Windows
// operation, under the platform's own (ANSI) name, with plain C++ types.
//
// Two implementations exist: the real one over KERNEL32, ADVAPI32, USER32 and
// SETUPAPI, and a simulated Windows 98/Me machine for tests. The setup's logic
// sees nothing else of the system.
#pragma once

#include <stdint.h>

// Opaque handles: a process, a thread, a standard handle, or a registry key
// (an open one or a predefined root).
using Handle = uintptr_t;
using RegKey = uintptr_t;

// The platform's values for the constants the setup uses.
constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFF;
constexpr uint32_t kFileAttributeReadOnly = 0x01;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeNormal = 0x80;

constexpr RegKey kHkeyLocalMachine = 0x80000002;
constexpr int32_t kErrorSuccess = 0;
constexpr int32_t kErrorFileNotFound = 2;
constexpr int32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegOptionNonVolatile = 0;
constexpr uint32_t kKeyAllAccess = 0xF003F;
constexpr uint32_t kRegCreatedNewKey = 1;

constexpr uint32_t kMbOk = 0;
constexpr uint32_t kMbYesNo = 4;
constexpr uint32_t kMbIconStop = 0x10;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

constexpr uint32_t kEwxReboot = 2;

constexpr uint32_t kVerPlatformWin32Windows = 1;
constexpr uint32_t kVerPlatformWin32Nt = 2;

constexpr uint32_t kCreateNoWindow = 0x08000000;
constexpr uint32_t kStartfUseShowWindow = 0x1;
constexpr uint32_t kStartfUseStdHandles = 0x100;
constexpr uint32_t kStdInputHandle = static_cast<uint32_t>(-10);
constexpr uint32_t kStdOutputHandle = static_cast<uint32_t>(-11);
constexpr uint32_t kStdErrorHandle = static_cast<uint32_t>(-12);
constexpr uint32_t kInfinite = 0xFFFFFFFF;
constexpr uint32_t kSwHide = 0;
constexpr uint32_t kStartupInfoSize = 68;  // the platform's sizeof(STARTUPINFOA)

// The platform's OSVERSIONINFOA, field for field (148 bytes).
struct OsVersionInfo {
  uint32_t dwOSVersionInfoSize;
  uint32_t dwMajorVersion;
  uint32_t dwMinorVersion;
  uint32_t dwBuildNumber;
  uint32_t dwPlatformId;
  char szCSDVersion[128];
};

// The fields of the platform's STARTUPINFOA that a child's start may set; all others are zero.
struct StartupInfo {
  uint32_t cb;
  uint32_t dwFlags;
  uint16_t wShowWindow;
  Handle hStdInput;
  Handle hStdOutput;
  Handle hStdError;
};

struct ProcessInformation {
  Handle hProcess;
  Handle hThread;
};

class System {
 public:
  // Fills buffer with the current directory and its NUL; returns the length
  // without the NUL, the size needed when the buffer is too small, or 0.
  virtual uint32_t GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) = 0;
  // As GetCurrentDirectoryA, for the Windows directory.
  virtual uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size) = 0;
  // Fills the record whose dwOSVersionInfoSize is set; false on failure.
  virtual bool GetVersionExA(OsVersionInfo* info) = 0;
  // Fills buffer with the path of the running program's file, cut to size - 1
  // bytes and its NUL when longer; returns the length without the NUL, or 0.
  virtual uint32_t GetModuleFileNameA(char* buffer, uint32_t size) = 0;

  // The file's attributes, or kInvalidFileAttributes when it cannot be found
  // or queried; GetLastError then tells which (kErrorFileNotFound or
  // kErrorPathNotFound when nothing is there).
  virtual uint32_t GetFileAttributesA(const char* path) = 0;
  // Sets the file's attributes; true on success.
  virtual bool SetFileAttributesA(const char* path, uint32_t attributes) = 0;
  // Removes the file; fails for a read-only or absent file, with the reason for GetLastError.
  virtual bool DeleteFileA(const char* path) = 0;
  // Copies a file; replaces a writable target unless failIfExists; creates no directory.
  virtual bool CopyFileA(const char* source, const char* target, bool failIfExists) = 0;
  // Renames a file within its volume; fails when newPath exists.
  virtual bool MoveFileA(const char* existingPath, const char* newPath) = 0;

  // Opens an existing key below key; never creates one. kErrorSuccess or an error code.
  virtual int32_t RegOpenKeyA(RegKey key, const char* subKey, RegKey* result) = 0;
  // Opens subKey below key, creating it and its missing parents; on success,
  // disposition (when given) says whether it was created (kRegCreatedNewKey).
  virtual int32_t RegCreateKeyExA(RegKey key, const char* subKey, uint32_t options,
                                  uint32_t samDesired, RegKey* result, uint32_t* disposition) = 0;
  // Stores the value with exactly the given type, reading size bytes of data.
  virtual int32_t RegSetValueExA(RegKey key, const char* valueName, uint32_t type,
                                 const uint8_t* data, uint32_t size) = 0;
  // Removes subKey below key with all its values and every key beneath it.
  virtual int32_t RegDeleteKeyA(RegKey key, const char* subKey) = 0;
  // Removes the named value of an open key; kErrorFileNotFound when it is absent.
  virtual int32_t RegDeleteValueA(RegKey key, const char* valueName) = 0;
  // Releases an opened key.
  virtual int32_t RegCloseKey(RegKey key) = 0;

  // Starts the program named by the command line's first word, found by the
  // platform's search; the text must be writable. True on success.
  virtual bool CreateProcessA(char* commandLine, bool inheritHandles, uint32_t creationFlags,
                              const StartupInfo& startup, ProcessInformation* information) = 0;
  // Waits until the handle's process has ended or milliseconds have passed.
  virtual uint32_t WaitForSingleObject(Handle handle, uint32_t milliseconds) = 0;
  // Reads the process's exit status; false when it cannot be read.
  virtual bool GetExitCodeProcess(Handle process, uint32_t* status) = 0;
  // One of the process's standard handles (kStdInputHandle, ...).
  virtual Handle GetStdHandle(uint32_t which) = 0;
  // Releases a handle.
  virtual bool CloseHandle(Handle handle) = 0;
  // Starts a command line and returns at once; above 31 when it started.
  virtual uint32_t WinExec(const char* commandLine, uint32_t showCommand) = 0;
  // Installs a section of a setup information file: "Section Mode Path"; has no result.
  virtual void InstallHinfSection(const char* commandLine, int showCommand) = 0;
  // Fills the 8.3 form of an existing path; returns as GetCurrentDirectoryA does.
  virtual uint32_t GetShortPathNameA(const char* longPath, char* shortPath, uint32_t size) = 0;

  // Fills buffer with the lines of the profile file's section, each ended by a
  // NUL, and one NUL more; returns their length without that last NUL, size - 2
  // when they do not all fit, and 0 for an absent file or section. A file
  // name without a path is in the Windows directory.
  virtual uint32_t GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size,
                                             const char* fileName) = 0;
  // Replaces the section's lines with those of lines (each ended by a NUL, and
  // one NUL more), creating the section and the file as needed; true on success.
  // Windows 9x may keep the change in its profile cache until a flush.
  virtual bool WritePrivateProfileSectionA(const char* section, const char* lines,
                                           const char* fileName) = 0;
  // With section, key and value all null: writes the profile file that the
  // system caches to disk. Its result says nothing: Windows 9x documents FALSE.
  virtual bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                          const char* fileName) = 0;

  // The start of the character before current in the text beginning at start,
  // in the system's code page (which may have double-byte characters).
  virtual const char* CharPrevA(const char* start, const char* current) = 0;

  // Shows an ownerless box and waits; kIdYes, kIdNo, ... or 0 when no box can be shown.
  virtual int MessageBoxA(const char* text, const char* caption, uint32_t type) = 0;

  // Asks the system to shut down (and restart with kEwxReboot) and returns.
  virtual bool ExitWindowsEx(uint32_t flags, uint32_t reserved) = 0;

  // Opens the named mutex, creating it unowned when no process has it; 0 on
  // failure. The system releases it when the last process holding it ends.
  virtual Handle CreateMutexA(const char* name) = 0;
  // The error code of the calling thread's last failed or reporting call
  // (kErrorAlreadyExists after CreateMutexA found the name).
  virtual uint32_t GetLastError() = 0;
  // Sets the calling thread's last error code.
  virtual void SetLastError(uint32_t error) = 0;

  // Ends the process with status through the C runtime's normal exit.
  [[noreturn]] virtual void ExitProcess(uint32_t status) = 0;

 protected:
  ~System() = default;
};
