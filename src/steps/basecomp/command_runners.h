// Starting other programs: waited for, or left to run on their own.
#pragma once

#include "common/run_context.h"
#include "platform/byte_string.h"

// Runs the command line as a child with the setup's standard handles and no
// console window, and waits for it. A child that cannot be started, that ends
// with a status other than 0, or whose status cannot be read ends the setup.
void RunAndWait(const RunContext& run, const ByteString& commandLine);

// Runs the command line hidden and waits for it, whatever it ends with; a
// child that cannot be started is passed over.
void RunHiddenAndWait(const RunContext& run, const ByteString& commandLine);

// Starts the command line hidden and goes on at once; a failed start is ignored.
void RunDetached(const RunContext& run, const ByteString& commandLine);
