#include "platform/win32_nt.h"

namespace {

constexpr DWORD kLongestKeyName = 256;

bool IsNt() { return (GetVersion() & 0x80000000u) == 0; }

template <typename Function>
Function Find(HMODULE module, const char* name) {
  // Through the generic function pointer type, which converts without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

LONG DeleteKeyTree(HKEY key, const char* subKey) {
  LONG status = RegDeleteKeyA(key, subKey);
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || !IsNt()) return status;
  HKEY parent;
  if (RegOpenKeyA(key, subKey, &parent) != ERROR_SUCCESS) return status;
  char child[kLongestKeyName];
  // Deleting a child shifts the others down, so the first one is taken each time.
  while (RegEnumKeyA(parent, 0, child, kLongestKeyName) == ERROR_SUCCESS) {
    if (DeleteKeyTree(parent, child) != ERROR_SUCCESS) break;
  }
  RegCloseKey(parent);
  return RegDeleteKeyA(key, subKey);
}

void EnableShutdownPrivilegeOnNt() {
  if (!IsNt()) return;
  using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
  using LookupPrivilegeValueFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, PLUID);
  using AdjustTokenPrivilegesFn =
      BOOL(WINAPI*)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD);
  HMODULE advapi = GetModuleHandleA("ADVAPI32.DLL");
  if (advapi == nullptr) return;
  auto openToken = Find<OpenProcessTokenFn>(advapi, "OpenProcessToken");
  auto lookup = Find<LookupPrivilegeValueFn>(advapi, "LookupPrivilegeValueA");
  auto adjust = Find<AdjustTokenPrivilegesFn>(advapi, "AdjustTokenPrivileges");
  if (openToken == nullptr || lookup == nullptr || adjust == nullptr) return;

  HANDLE token;
  if (!openToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (lookup(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
    adjust(token, FALSE, &privileges, 0, nullptr, nullptr);
  }
  CloseHandle(token);
}
