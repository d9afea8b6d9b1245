// Placing the reader's driver package in the Windows directory tree.
#pragma once

#include "platform/byte_string.h"
#include "setup/setup_state.h"

// What a file that cannot be placed leads to.
enum class FailurePolicy {
  Abort,   // error box, then the setup ends
  Warn,    // warning box, the run goes on
  Report,  // error box, the run goes on
};

// What stands at a path the setup is about to replace or remove.
enum class Existing { kNothing, kFile, kDirectory };

// What stands at the path; what cannot be queried counts as nothing.
Existing WhatStandsAt(System& system, const ByteString& path);

// Makes an existing file an ordinary writable one, so that it can be replaced
// or deleted, and says whether that failed when asked. A directory is left as it is.
Existing MakeOrdinaryFile(System& system, const ByteString& path, bool* attributesFailed = nullptr);

// Removes a file of the setup's own (a set-aside or staged copy), read-only as
// a copy from a CD is; false when a file stays there. A directory stays.
bool RemoveOwnFile(System& system, const ByteString& path);

// Makes an existing file an ordinary writable one, warning when that fails.
// A directory is left as it is; what cannot be queried counts as nothing.
Existing ClearFileAttributes(const RunContext& run, const ByteString& path);

// Removes the file WindowsDir + suffix, whatever its attributes; a failure is silent.
void RemoveWindowsFile(const RunContext& run, const char* suffix);

// Copies SourceDir + sourceSuffix over WindowsDir + targetSuffix. An earlier
// file in use, which can be neither replaced nor set aside, is replaced at the
// next start. A failed copy leaves the earlier file at the target, when there
// was one, and follows the policy; after an Abort failure it does not return.
// A directory at the target's name is the user's: it stays, and the copy
// fails on it.
void InstallFile(const RunContext& run, const char* sourceSuffix, const char* targetSuffix,
                 FailurePolicy policy);

// The driver, its setup information file and catalogs, and the two programs.
void PlaceDriverPackage(const RunContext& run);

// The hub function's setup information file, which only Windows Me takes.
void PlaceHubInf(const RunContext& run);

// The name an earlier file is kept under, in its own directory, while its replacement is copied.
ByteString SetAsidePath(const ByteString& target);
