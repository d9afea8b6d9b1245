#include "setup/messages.h"

const char SetupCaption[] = "Vantrel USB Smart Card Reader Setup Utility";
const char CaptionError[] = "Error!!!";
const char CaptionWarning[] = "Warning!!!";

namespace {

struct Message {
  const char* text;
  bool shownWhenSilent;
};

// Indexed by MessageId.
const Message kCatalogue[] = {
    {"This program will install the driver of Vantrel USB Smart Card Reader\n", false},
    {"Warning!!!   Change file \"%s\" attribute failed!", false},
    {"Copy file \"%s\" to \"%s\" failed\n", false},
    {"SmartCard Base Component install Failed!.\n", true},
    {"You must restart your computer before the new hardware will take effect. Do you want to "
     "reboot the system?",
     false},
};

}  // namespace

ByteString ComposeMessage(MessageId id, const char* first, const char* second) {
  const char* arguments[] = {first, second};
  int next = 0;
  ByteString text;
  const char* pending = kCatalogue[id].text;
  for (const char* at = pending; *at != '\0'; ++at) {
    if (at[0] != '%' || at[1] != 's') continue;
    text.Append(pending, static_cast<size_t>(at - pending));
    const char* argument = next < 2 ? arguments[next++] : nullptr;
    if (argument != nullptr) text += argument;
    pending = ++at + 1;
  }
  text += pending;
  return text;
}

void ShowNotice(const RunContext& run, MessageId id, const char* caption, const char* first,
                const char* second) {
  if (run.state.SilentMode && !kCatalogue[id].shownWhenSilent) return;
  run.system.MessageBoxA(ComposeMessage(id, first, second).c_str(), caption, kMbOk);
}

int AskYesNo(const RunContext& run, MessageId id) {
  return run.system.MessageBoxA(ComposeMessage(id).c_str(), SetupCaption, kMbYesNo);
}
