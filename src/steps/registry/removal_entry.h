// The entry in Add/Remove Programs through which the reader's software is
// removed: a key naming the setup's copy in the system folder.
#pragma once

#include "common/removal_outcome.h"
#include "common/run_context.h"
#include "platform/byte_string.h"

// The entry's key below HKEY_LOCAL_MACHINE.
extern const char kRemovalKey[];

// What Add/Remove Programs runs: the copy's path, quoted when it holds a
// blank, and " -u".
ByteString RemovalCommand(const ByteString& copyPath);

// Deletes the entry: kGone, kNotThere, or kStays when it is still there.
Removed DeleteRemovalEntry(const RunContext& run);

// Writes the entry that runs the copy at copyPath; false when it cannot be
// written whole, leaving no entry of this run's and an earlier one as it was.
bool RegisterRemoval(const RunContext& run, const ByteString& copyPath);
