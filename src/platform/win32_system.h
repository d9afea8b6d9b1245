// The real system: each operation is the Windows call of the same name.
#pragma once

#include "platform/system.h"

class Win32System final : public System {
 public:
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
};
