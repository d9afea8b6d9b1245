#include "steps/basecomp/base_components.h"

#include "common/file_primitives.h"
#include "common/path_queries.h"
#include "steps/basecomp/command_runners.h"

namespace {

const char* const kPackages[] = {"scbase", "smclib"};

ByteString TempDirectory(const ByteString& windowsDir, const char* package) {
  return windowsDir + "\\temp\\" + package;
}

// Where a package is staged: windowsDir\temp\package.exe.
ByteString StagedPackagePath(const ByteString& windowsDir, const char* package) {
  return TempDirectory(windowsDir, package) + ".exe";
}

bool HoldsBlank(const ByteString& text) { return text.Contains(' ') || text.Contains('\t'); }

// The Windows directory as the command texts may carry it, unquoted: as it is,
// or, when it holds a blank, its short form. False when there is no form
// without a blank, since a command would then act on another path.
bool CommandFormOfWindowsDir(const RunContext& run, ByteString* form) {
  const ByteString& windowsDir = run.state.windowsDir;
  if (!HoldsBlank(windowsDir)) {
    *form = windowsDir;
    return true;
  }
  return QueryShortPath(run.system, windowsDir, form) && !HoldsBlank(*form);
}

// Copies the package from SCard98 beside the current directory into temp.
bool StagePackage(const RunContext& run, const char* package) {
  ByteString currentDirectory;
  if (!QueryCurrentDirectory(run.system, kPathBuffer, &currentDirectory)) {
    return false;
  }
  ByteString source = currentDirectory + "\\..\\SCard98\\" + package + ".exe";
  ByteString target = StagedPackagePath(run.state.windowsDir, package);
  // A copy an earlier run staged from a CD is read-only, and a read-only
  // file cannot be replaced.
  MakeOrdinaryFile(run.system, target);
  return run.system.CopyFileA(source.c_str(), target.c_str(), false);
}

}  // namespace

ByteString ExtractionDeletionCommand(const ByteString& windowsDir, const char* package) {
  return ByteString("deltree /Y ") + TempDirectory(windowsDir, package);
}

ByteString ExtractionCommand(const ByteString& windowsDir, const char* package) {
  return StagedPackagePath(windowsDir, package) +
         "  /q /c /t:" + TempDirectory(windowsDir, package);
}

ByteString SectionInstallCommand(const ByteString& windowsDir, const char* package) {
  return ByteString("DefaultInstall 132 ") + TempDirectory(windowsDir, package) + "\\" + package +
         ".inf";
}

BaseComponents InstallBaseComponents(const RunContext& run) {
  ByteString windowsDir;
  if (!CommandFormOfWindowsDir(run, &windowsDir)) return BaseComponents::kNotStaged;

  // What earlier runs extracted is cleared, and waited for, before anything
  // is extracted into the same directories. Each deletion is a DOS program,
  // slow to start, so it runs only where there is something to delete.
  for (const char* package : kPackages) {
    if (WhatStandsAt(run.system, TempDirectory(run.state.windowsDir, package)) ==
        Existing::kNothing) {
      continue;
    }
    RunHiddenAndWait(run, ExtractionDeletionCommand(windowsDir, package));
  }
  for (const char* package : kPackages) {
    if (!StagePackage(run, package)) return BaseComponents::kNotStaged;
  }
  for (const char* package : kPackages) RunAndWait(run, ExtractionCommand(windowsDir, package));
  for (const char* package : kPackages) {
    run.system.InstallHinfSection(SectionInstallCommand(windowsDir, package).c_str(), 0);
  }
  // Both extractions have ended, so the staged copies can go at once.
  bool cleared = true;
  for (const char* package : kPackages) {
    RunDetached(run, ExtractionDeletionCommand(windowsDir, package));
    cleared = DeleteNow(run.system, StagedPackagePath(run.state.windowsDir, package)) && cleared;
  }
  return cleared ? BaseComponents::kInstalled : BaseComponents::kStagedCopyLeft;
}
