#include "common/messages.h"

#include <gtest/gtest.h>

#include <string>

#include "simulator/simulated_system.h"

namespace {

TEST(Messages, TextsAreExactToTheByte) {
  struct Case {
    MessageId id;
    const char* first;
    const char* second;
    std::string expected;
  } cases[] = {
      {MessageId::kWelcome, nullptr, nullptr,
       "This program will install the driver of Vantrel USB Smart Card Reader\n"},
      {MessageId::kAttributeFailed, "C:\\WINDOWS\\inf\\drvidx.bin", nullptr,
       "Warning!!!   Change file \"C:\\WINDOWS\\inf\\drvidx.bin\" attribute failed!"},
      {MessageId::kCopyFailed, "D:\\kt418.inf", "C:\\WINDOWS\\inf\\kt418.inf",
       "Copy file \"D:\\kt418.inf\" to \"C:\\WINDOWS\\inf\\kt418.inf\" failed\n"},
      {MessageId::kBaseComponentsFailed, nullptr, nullptr,
       "SmartCard Base Component install Failed!.\n"},
      {MessageId::kRestart, nullptr, nullptr,
       "You must restart your computer before the new hardware will take effect. Do you want to "
       "reboot the system?"},
      {MessageId::kNotWindows9x, nullptr, nullptr,
       "This setup is for Windows 98 and Windows Me. Nothing has been changed on this "
       "computer.\n"},
      // Arguments are placed as they stand, never read as formats.
      {MessageId::kCopyFailed, "D:\\%s%n%%\\x", "C:\\100%\\%d",
       "Copy file \"D:\\%s%n%%\\x\" to \"C:\\100%\\%d\" failed\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, ComposeMessage(c.id, c.first, c.second).c_str());
  }
}

TEST(Messages, LongPathsAreShownWhole) {
  std::string source = "D:\\" + std::string(247, 's');
  std::string target = "C:\\" + std::string(257, 't');
  ByteString text = ComposeMessage(MessageId::kCopyFailed, source.c_str(), target.c_str());
  EXPECT_EQ("Copy file \"" + source + "\" to \"" + target + "\" failed\n", text.c_str());
  EXPECT_EQ(source.size() + target.size() + 26, text.size());
}

TEST(Messages, SilentRunsShowOnlyTheBaseComponentFailure) {
  struct Case {
    MessageId id;
    bool silent;
    bool shown;
  } cases[] = {
      {MessageId::kAttributeFailed, false, true},
      {MessageId::kAttributeFailed, true, false},
      {MessageId::kCopyFailed, false, true},
      {MessageId::kCopyFailed, true, false},
      {MessageId::kBaseComponentsFailed, false, true},
      {MessageId::kBaseComponentsFailed, true, true},
  };
  for (const Case& c : cases) {
    SimulatedSystem sim;
    RunContext run{sim, SetupState()};
    run.state.silent = c.silent;
    ShowNotice(run, c.id, kWarningCaption, "a", "b");
    EXPECT_EQ(c.shown ? 1u : 0u, sim.boxes().size())
        << "message " << static_cast<int>(c.id) << " silent " << c.silent;
    if (c.shown) {
      EXPECT_EQ("Warning!!!", sim.boxes()[0].caption);
      EXPECT_EQ(kMbOk, sim.boxes()[0].type);
    }
  }
}

TEST(Messages, QuestionsUseTheSetupCaptionAndYesNoButtons) {
  SimulatedSystem sim;
  RunContext run{sim, SetupState()};
  sim.AnswerNextBox(kIdNo);
  EXPECT_EQ(kIdNo, AskYesNo(run, MessageId::kRestart));
  EXPECT_EQ(0, AskYesNo(run, MessageId::kWelcome))
      << "no answer scripted: the box could not be shown";
  ASSERT_EQ(2u, sim.boxes().size());
  EXPECT_EQ("Vantrel USB Smart Card Reader Setup Utility", sim.boxes()[0].caption);
  EXPECT_EQ(kMbYesNo, sim.boxes()[0].type);
}

}  // namespace
