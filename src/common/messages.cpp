#include "common/messages.h"

const char kSetupCaption[] = "Vantrel USB Smart Card Reader Setup Utility";
const char kErrorCaption[] = "Error!!!";
const char kWarningCaption[] = "Warning!!!";

namespace {

struct Message {
  const char* text;
  bool shownWhenSilent;
  uint32_t icon;  // added to a notice's box type
};

// Indexed by MessageId.
const Message kCatalogue[] = {
    {"This program will install the driver of Vantrel USB Smart Card Reader\n", false, 0},
    {"Warning!!!   Change file \"%s\" attribute failed!", false, 0},
    {"Copy file \"%s\" to \"%s\" failed\n", false, 0},
    {"SmartCard Base Component install Failed!.\n", true, 0},
    {"You must restart your computer before the new hardware will take effect. Do you want to "
     "reboot the system?",
     false, 0},
    {"This setup is for Windows 98 and Windows Me. Nothing has been changed on this computer.\n",
     false, kMbIconStop},
    {"Remove the Vantrel USB Smart Card Reader driver from this computer?\n", false, 0},
    {"The Vantrel USB Smart Card Reader driver is not installed on this computer.\n", false, 0},
};

}  // namespace

ByteString ComposeMessage(MessageId id, const char* first, const char* second) {
  const char* arguments[] = {first, second};
  int next = 0;
  ByteString text;
  const char* pending = kCatalogue[static_cast<int>(id)].text;
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
  if (run.state.silent && !kCatalogue[static_cast<int>(id)].shownWhenSilent) return;
  run.system.MessageBoxA(ComposeMessage(id, first, second).c_str(), caption,
                         kMbOk | kCatalogue[static_cast<int>(id)].icon);
}

int AskYesNo(const RunContext& run, MessageId id) {
  return run.system.MessageBoxA(ComposeMessage(id).c_str(), kSetupCaption, kMbYesNo);
}

void OfferRestart(const RunContext& run) {
  if (AskYesNo(run, MessageId::kRestart) == kIdYes) run.system.ExitWindowsEx(kEwxReboot, 0);
}
