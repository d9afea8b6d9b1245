// Everything the setup says to its user, through ownerless message boxes.
#pragma once

#include "common/run_context.h"
#include "platform/byte_string.h"

enum class MessageId {
  kWelcome,
  kAttributeFailed,
  kCopyFailed,
  kBaseComponentsFailed,
  kRestart,
  kNotWindows9x,
  kRemove,
  kNothingToRemove,
};

extern const char kSetupCaption[];
extern const char kErrorCaption[];
extern const char kWarningCaption[];

// The message's text with each "%s" replaced, in order, by an argument as it
// stands; arguments are never read as formats and nothing is cut.
ByteString ComposeMessage(MessageId id, const char* first = nullptr, const char* second = nullptr);

// Shows an OK box, unless the run is silent and the message is one that
// silent runs suppress. The button pressed is ignored.
void ShowNotice(const RunContext& run, MessageId id, const char* caption,
                const char* first = nullptr, const char* second = nullptr);

// Asks a yes/no question: kIdYes, kIdNo, or 0 when no box could be shown.
int AskYesNo(const RunContext& run, MessageId id);

// Asks whether to restart now, and restarts on Yes.
void OfferRestart(const RunContext& run);
