// The entry in Add/Remove Programs through which the reader's software is
// removed: a copy of the setup in the system folder, and a key naming it.
#pragma once

#include "files/next_start.h"
#include "platform/byte_string.h"
#include "setup/setup_state.h"

// The entry's key below HKEY_LOCAL_MACHINE.
extern const char kRemovalKey[];
// Where the copy of the setup is kept, below WindowsDir (an 8.3 name of its own).
extern const char kOwnCopySuffix[];

// What Add/Remove Programs runs: the copy's path, quoted when it holds a
// blank, and " -u".
ByteString RemovalCommand(const ByteString& copyPath);

// Deletes the entry: kGone, kNotThere, or kStays when it is still there.
Removed DeleteRemovalEntry(const RunContext& run);

// Copies the running setup into the system folder, as a package file is
// placed, and writes the entry; false, with no entry written, when either
// cannot be done.
bool RegisterRemoval(const RunContext& run);
