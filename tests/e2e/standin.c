/* Stand-ins for the programs setup.exe meets on a real system, for the
 * end-to-end tests. One program; what it does depends on the name it is
 * started under:
 *   scbase.exe, smclib.exe  a self-extracting package: "/q /c /t:DIR" creates
 *                           DIR with NAME.inf (a "DefaultInstall" section that
 *                           adds a marker value and copies NAME.dll) and
 *                           NAME.dll; ends with STANDIN_EXIT_<NAME> (default 0),
 *                           after STANDIN_SECONDS_<NAME> seconds (default none)
 *   deltree.exe             deletes each path argument with all it holds
 *   rdwatch.exe             the reader's monitor: records that it ran, with its
 *                           own file's size in place of a status (an earlier
 *                           edition differs in size), and keeps running,
 *                           holding its own file as Windows 9x holds every
 *                           running program's: no one may write, delete or
 *                           rename it
 *   starter.exe             starts its one argument as a command line, exactly
 *                           as written, waits, and ends with the child's status
 *   window.exe              opens and closes a window: 0 when the display works
 *                           (the harness's own check, not recorded)
 *   asker.exe               asks two Yes/No questions under the setup's caption
 *                           (the removal's, then the restart's) and ends with
 *                           16 times the first answer plus the second, as
 *                           MessageBoxA returned them (the harness's own test)
 * Each appends "name|command line|status" to the file STANDIN_LOG names
 * (C:\standin.log when it names none), with the whole command line as
 * GetCommandLineA gives it. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static const char* AfterProgramName(const char* line) {
  int quoted = 0;
  while (*line != '\0' && (quoted || (*line != ' ' && *line != '\t'))) {
    if (*line == '"') quoted = !quoted;
    ++line;
  }
  while (*line == ' ' || *line == '\t') ++line;
  return line;
}

static void Record(const char* name, const char* line, unsigned long status) {
  /* A program started by the emulated system's restart may not inherit the
   * test's environment: it records in a fixed place then. */
  const char* log = getenv("STANDIN_LOG");
  if (log == NULL) log = "C:\\standin.log";
  FILE* file = fopen(log, "a");
  if (file == NULL) return;
  fprintf(file, "%s|%s|%lu\n", name, line, status);
  fclose(file);
}

static void WriteFile2(const char* dir, const char* name, const char* text) {
  char path[MAX_PATH * 2];
  snprintf(path, sizeof path, "%s\\%s", dir, name);
  FILE* file = fopen(path, "w");
  if (file == NULL) return;
  fputs(text, file);
  fclose(file);
}

static unsigned long Extract(const char* name, const char* line) {
  const char* switchAt = NULL;
  for (const char* at = line; *at != '\0'; ++at) {
    if (at[0] == '/' && (at[1] == 't' || at[1] == 'T') && at[2] == ':') switchAt = at + 3;
  }
  if (switchAt == NULL) return 1;
  char dir[MAX_PATH];
  size_t length = strcspn(switchAt, " \t");
  if (length >= sizeof dir) return 1;
  memcpy(dir, switchAt, length);
  dir[length] = '\0';
  CreateDirectoryA(dir, NULL);

  char inf[1024], infName[64], dllName[64];
  snprintf(inf, sizeof inf,
           "[Version]\r\nSignature=\"$CHICAGO$\"\r\n\r\n"
           "[DefaultInstall]\r\nAddReg=Marker.AddReg\r\nCopyFiles=Marker.Copy\r\n\r\n"
           "[Marker.AddReg]\r\nHKLM,\"Software\\Vantrel Test\\%s\",\"Installed\",,\"yes\"\r\n\r\n"
           "[DestinationDirs]\r\nMarker.Copy=11\r\n\r\n"
           "[Marker.Copy]\r\n%s.dll\r\n\r\n"
           "[SourceDisksNames]\r\n1=\"Base components\",,,\r\n\r\n"
           "[SourceDisksFiles]\r\n%s.dll=1\r\n",
           name, name, name);
  snprintf(infName, sizeof infName, "%s.inf", name);
  snprintf(dllName, sizeof dllName, "%s.dll", name);
  WriteFile2(dir, infName, inf);
  WriteFile2(dir, dllName, "base component stand-in\r\n");

  char variable[64];
  snprintf(variable, sizeof variable, "STANDIN_SECONDS_%s", name);
  CharUpperA(variable);
  const char* seconds = getenv(variable);
  if (seconds != NULL) Sleep(strtoul(seconds, NULL, 10) * 1000);
  snprintf(variable, sizeof variable, "STANDIN_EXIT_%s", name);
  CharUpperA(variable);
  const char* status = getenv(variable);
  return status == NULL ? 0 : strtoul(status, NULL, 10);
}

static void DeleteTree(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
    return;
  }
  char pattern[MAX_PATH * 2];
  snprintf(pattern, sizeof pattern, "%s\\*", path);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
      char child[MAX_PATH * 2];
      snprintf(child, sizeof child, "%s\\%s", path, found.cFileName);
      DeleteTree(child);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path);
}

static unsigned long DeleteTrees(const char* line) {
  char copy[4096];
  snprintf(copy, sizeof copy, "%s", line);
  for (char* word = strtok(copy, " \t"); word != NULL; word = strtok(NULL, " \t")) {
    if (word[0] != '/') DeleteTree(word);
  }
  return 0;
}

static unsigned long Start(const char* line) {
  char command[4096];
  snprintf(command, sizeof command, "%s", line);
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    return 255;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 255;
  GetExitCodeProcess(process.hProcess, &status);
  return status;
}

int main(int argc, char** argv) {
  char self[MAX_PATH], ownPath[MAX_PATH];
  GetModuleFileNameA(NULL, self, sizeof self);
  memcpy(ownPath, self, sizeof self);
  char* name = strrchr(self, '\\') != NULL ? strrchr(self, '\\') + 1 : self;
  char* dot = strrchr(name, '.');
  if (dot != NULL) *dot = '\0';
  CharLowerA(name);
  const char* line = AfterProgramName(GetCommandLineA());

  unsigned long status = 0;
  if (strcmp(name, "scbase") == 0 || strcmp(name, "smclib") == 0) {
    status = Extract(name, line);
  } else if (strcmp(name, "deltree") == 0) {
    status = DeleteTrees(line);
  } else if (strcmp(name, "window") == 0) {
    HWND window = CreateWindowA("STATIC", "window", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    status = window == NULL ? 1 : 0;
    if (window != NULL) DestroyWindow(window);
  } else if (strcmp(name, "asker") == 0) {
    const char* caption = "Vantrel USB Smart Card Reader Setup Utility";
    int first =
        MessageBoxA(NULL, "Remove the Vantrel USB Smart Card Reader driver from this computer?\n",
                    caption, MB_YESNO);
    int second = MessageBoxA(NULL,
                             "You must restart your computer before the new hardware will take "
                             "effect. Do you want to reboot the system?",
                             caption, MB_YESNO);
    status = (unsigned long)(first * 16 + second);
  } else if (strcmp(name, "starter") == 0) {
    status = argc == 2 ? Start(argv[1]) : 255;
  } else if (strcmp(name, "rdwatch") == 0) {
    HANDLE own = CreateFileA(ownPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    status = own == INVALID_HANDLE_VALUE ? 0 : GetFileSize(own, NULL);
    Record(name, GetCommandLineA(), status);
    for (;;) Sleep(60000);
  }
  /* The command line exactly as the system handed it over, program and all. */
  if (strcmp(name, "window") != 0) Record(name, GetCommandLineA(), status);
  return (int)status;
}
