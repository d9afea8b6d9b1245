/* Saves HKEY_LOCAL_MACHINE whole to the file its one argument names, in the
 * emulator's own registry format, and ends with the system's error code (0
 * when saved). The end-to-end harness reads the registry through it: one
 * program start for every key and value, where each query or export would
 * be one start of its own. */
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2) return ERROR_INVALID_PARAMETER;
  /* Saving a key takes the backup privilege, held but not enabled. */
  HANDLE token;
  TOKEN_PRIVILEGES backup = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token) ||
      !LookupPrivilegeValueA(NULL, SE_BACKUP_NAME, &backup.Privileges[0].Luid) ||
      !AdjustTokenPrivileges(token, FALSE, &backup, 0, NULL, NULL)) {
    return (int)GetLastError();
  }
  DeleteFileA(argv[1]);
  return (int)RegSaveKeyA(HKEY_LOCAL_MACHINE, argv[1], NULL);
}
