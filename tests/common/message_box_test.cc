#include "common/scripted_message_box.h"

#include <gtest/gtest.h>

#include <thread>

namespace ovc {
namespace {

TEST(ScriptedMessageBox, AnswersFromScriptThenFallbackAndRecordsEverything) {
  ScriptedMessageBox box{kButtonNo};
  ScopedMessageBox installed(&box);

  EXPECT_EQ(ShowMessageBox("Stop recording?\n", MessageKind::kConfirmation, kButtonsYesNo), kButtonNo);
  // Script used up: the default answer of the offered buttons.
  EXPECT_EQ(ShowMessageBox("Overwrite?", MessageKind::kConfirmation, kButtonsYesNo), kButtonYes);
  EXPECT_EQ(ShowMessageBox("Done", MessageKind::kInformation), kButtonOk);
  box.SetFallback(kButtonCancel);
  EXPECT_EQ(ShowMessageBox("Retry?", MessageKind::kError, kButtonRetry | kButtonCancel, "Error"),
            kButtonCancel);

  auto shown = box.Shown();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0].text, "Stop recording?\n");
  EXPECT_EQ(shown[0].kind, MessageKind::kConfirmation);
  EXPECT_EQ(shown[0].buttons, kButtonsYesNo);
  EXPECT_EQ(shown[3].caption, "Error");
  EXPECT_EQ(box.Texts(), (std::vector<std::string>{"Stop recording?\n", "Overwrite?", "Done", "Retry?"}));
}

TEST(ScriptedMessageBox, ScopedInstallPutsPreviousBack) {
  ScriptedMessageBox outer, inner;
  ScopedMessageBox a(&outer);
  {
    ScopedMessageBox b(&inner);
    ShowMessageBox("inner", MessageKind::kWarning);
  }
  ShowMessageBox("outer", MessageKind::kWarning);
  EXPECT_EQ(inner.Texts(), std::vector<std::string>{"inner"});
  EXPECT_EQ(outer.Texts(), std::vector<std::string>{"outer"});
}

TEST(ScriptedMessageBox, SafeFromSeveralThreads) {
  ScriptedMessageBox box;
  ScopedMessageBox installed(&box);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 200; ++i) ShowMessageBox("x", MessageKind::kError);
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(box.Shown().size(), 800u);
}

TEST(MessageBoxDefault, PrefersTheAffirmativeButton) {
  EXPECT_EQ(DefaultAnswer(kButtonsYesNo), kButtonYes);
  EXPECT_EQ(DefaultAnswer(kButtonNo | kButtonCancel), kButtonNo);
  EXPECT_EQ(DefaultAnswer(kButtonAbort | kButtonRetry | kButtonIgnore), kButtonRetry);
  EXPECT_EQ(DefaultAnswer(0), kButtonNone);
}

}  // namespace
}  // namespace ovc
