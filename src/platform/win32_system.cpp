// Calls and nothing else: each method hands its arguments to the Windows
// function of the same name and its result back.
#include "platform/win32_system.h"

#include <stdlib.h>
#include <windows.h>
// setupapi.h needs windows.h first.
#include <setupapi.h>

#include "platform/win32_nt.h"

// setupapi.h maps the plain name onto the A or W function; here it names our method.
#undef InstallHinfSection

namespace {

// The predefined keys are sign-extended handles, as the headers define them:
// the same in a 32-bit process, 0xFFFFFFFF80000002 in the tests' 64-bit twin.
HKEY Key(RegKey key) {
  if (key == kHkeyLocalMachine) return HKEY_LOCAL_MACHINE;
  return reinterpret_cast<HKEY>(key);
}
HANDLE Native(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

uint32_t Win32System::GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) {
  return ::GetCurrentDirectoryA(bufferLength, buffer);
}

uint32_t Win32System::GetWindowsDirectoryA(char* buffer, uint32_t size) {
  return ::GetWindowsDirectoryA(buffer, size);
}

bool Win32System::GetVersionExA(OsVersionInfo* info) {
  static_assert(sizeof(OsVersionInfo) == sizeof(OSVERSIONINFOA), "the same record");
  return ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(info)) != 0;
}

uint32_t Win32System::GetModuleFileNameA(char* buffer, uint32_t size) {
  return ::GetModuleFileNameA(nullptr, buffer, size);
}

uint32_t Win32System::GetFileAttributesA(const char* path) { return ::GetFileAttributesA(path); }

bool Win32System::SetFileAttributesA(const char* path, uint32_t attributes) {
  return ::SetFileAttributesA(path, attributes) != 0;
}

bool Win32System::DeleteFileA(const char* path) { return ::DeleteFileA(path) != 0; }

bool Win32System::CopyFileA(const char* source, const char* target, bool failIfExists) {
  return ::CopyFileA(source, target, failIfExists) != 0;
}

bool Win32System::MoveFileA(const char* existingPath, const char* newPath) {
  return ::MoveFileA(existingPath, newPath) != 0;
}

int32_t Win32System::RegOpenKeyA(RegKey key, const char* subKey, RegKey* result) {
  HKEY opened = nullptr;
  LONG status = ::RegOpenKeyA(Key(key), subKey, &opened);
  *result = reinterpret_cast<RegKey>(opened);
  return status;
}

int32_t Win32System::RegCreateKeyExA(RegKey key, const char* subKey, uint32_t options,
                                     uint32_t samDesired, RegKey* result, uint32_t* disposition) {
  HKEY created = nullptr;
  DWORD how = 0;
  LONG status =
      ::RegCreateKeyExA(Key(key), subKey, 0, nullptr, options, samDesired, nullptr, &created, &how);
  *result = reinterpret_cast<RegKey>(created);
  if (disposition != nullptr) *disposition = how;
  return status;
}

int32_t Win32System::RegSetValueExA(RegKey key, const char* valueName, uint32_t type,
                                    const uint8_t* data, uint32_t size) {
  return ::RegSetValueExA(Key(key), valueName, 0, type, data, size);
}

int32_t Win32System::RegDeleteKeyA(RegKey key, const char* subKey) {
  return DeleteKeyTree(Key(key), subKey);
}

int32_t Win32System::RegDeleteValueA(RegKey key, const char* valueName) {
  return ::RegDeleteValueA(Key(key), valueName);
}

int32_t Win32System::RegCloseKey(RegKey key) { return ::RegCloseKey(Key(key)); }

bool Win32System::CreateProcessA(char* commandLine, bool inheritHandles, uint32_t creationFlags,
                                 const StartupInfo& startup, ProcessInformation* information) {
  STARTUPINFOA record = {};
  record.cb = startup.cb;
  record.dwFlags = startup.dwFlags;
  record.wShowWindow = startup.wShowWindow;
  record.hStdInput = Native(startup.hStdInput);
  record.hStdOutput = Native(startup.hStdOutput);
  record.hStdError = Native(startup.hStdError);
  PROCESS_INFORMATION process = {};
  BOOL started = ::CreateProcessA(nullptr, commandLine, nullptr, nullptr, inheritHandles,
                                  creationFlags, nullptr, nullptr, &record, &process);
  information->hProcess = reinterpret_cast<Handle>(process.hProcess);
  information->hThread = reinterpret_cast<Handle>(process.hThread);
  return started != 0;
}

uint32_t Win32System::WaitForSingleObject(Handle handle, uint32_t milliseconds) {
  return ::WaitForSingleObject(Native(handle), milliseconds);
}

bool Win32System::GetExitCodeProcess(Handle process, uint32_t* status) {
  DWORD code = 0;
  BOOL read = ::GetExitCodeProcess(Native(process), &code);
  *status = code;
  return read != 0;
}

Handle Win32System::GetStdHandle(uint32_t which) {
  return reinterpret_cast<Handle>(::GetStdHandle(which));
}

bool Win32System::CloseHandle(Handle handle) { return ::CloseHandle(Native(handle)) != 0; }

uint32_t Win32System::WinExec(const char* commandLine, uint32_t showCommand) {
  return ::WinExec(commandLine, showCommand);
}

void Win32System::InstallHinfSection(const char* commandLine, int showCommand) {
  ::InstallHinfSectionA(nullptr, nullptr, commandLine, showCommand);
}

uint32_t Win32System::GetShortPathNameA(const char* longPath, char* shortPath, uint32_t size) {
  return ::GetShortPathNameA(longPath, shortPath, size);
}

uint32_t Win32System::GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size,
                                                const char* fileName) {
  return ::GetPrivateProfileSectionA(section, buffer, size, fileName);
}

bool Win32System::WritePrivateProfileSectionA(const char* section, const char* lines,
                                              const char* fileName) {
  return ::WritePrivateProfileSectionA(section, lines, fileName) != 0;
}

bool Win32System::WritePrivateProfileStringA(const char* section, const char* key,
                                             const char* value, const char* fileName) {
  return ::WritePrivateProfileStringA(section, key, value, fileName) != 0;
}

const char* Win32System::CharPrevA(const char* start, const char* current) {
  return ::CharPrevA(start, current);
}

int Win32System::MessageBoxA(const char* text, const char* caption, uint32_t type) {
  return ::MessageBoxA(nullptr, text, caption, type);
}

bool Win32System::ExitWindowsEx(uint32_t flags, uint32_t reserved) {
  EnableShutdownPrivilegeOnNt();
  return ::ExitWindowsEx(flags, reserved) != 0;
}

Handle Win32System::CreateMutexA(const char* name) {
  return reinterpret_cast<Handle>(::CreateMutexA(nullptr, FALSE, name));
}

uint32_t Win32System::GetLastError() { return ::GetLastError(); }

void Win32System::SetLastError(uint32_t error) { ::SetLastError(error); }

void Win32System::ExitProcess(uint32_t status) { exit(static_cast<int>(status)); }
