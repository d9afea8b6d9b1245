// Installing the smart card base components from the two self-extracting
// packages in SCard98 beside the media folder.
#pragma once

#include "common/run_context.h"
#include "platform/byte_string.h"

// How the base components' installation ended.
enum class BaseComponents {
  kInstalled,
  kNotStaged,       // a package could not be staged, or the Windows directory cannot be
                    // written into a command without a blank
  kStagedCopyLeft,  // installed, but a staged copy could not be deleted from temp
};

// Stages both packages in the Windows temp directory, extracts each, installs
// the "DefaultInstall" section of each extracted setup information file, and
// cleans up.
BaseComponents InstallBaseComponents(const RunContext& run);

// The texts run for a package ("scbase" or "smclib"); windowsDir holds no blank.
ByteString ExtractionDeletionCommand(const ByteString& windowsDir, const char* package);
ByteString ExtractionCommand(const ByteString& windowsDir, const char* package);
ByteString SectionInstallCommand(const ByteString& windowsDir, const char* package);
