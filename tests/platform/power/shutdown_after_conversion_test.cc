#include "platform/power/shutdown_after_conversion.h"

#include <gtest/gtest.h>

#include "common/scripted_message_box.h"

namespace ovc {
namespace {

// Answers PowerOff with a fixed result and counts the requests; never
// touches the machine.
class FakePowerControl : public PowerControl {
 public:
  explicit FakePowerControl(int result) : result_(result) {}
  int PowerOff() override {
    ++requests;
    return result_;
  }
  int requests = 0;

 private:
  int result_;
};

TEST(ShutdownAfterConversion, AcceptedPowerOffShowsNothing) {
  ScriptedMessageBox box;
  ScopedMessageBox installed(&box);
  FakePowerControl power(0);
  EXPECT_EQ(ShutdownAfterConversion(power), 0);
  EXPECT_EQ(power.requests, 1);
  EXPECT_TRUE(box.Shown().empty());
}

TEST(ShutdownAfterConversion, RefusedPowerOffReportsMissingPrivilegeOnce) {
  ScriptedMessageBox box;
  ScopedMessageBox installed(&box);
  FakePowerControl power(-1);
  EXPECT_EQ(ShutdownAfterConversion(power), -1);
  EXPECT_EQ(power.requests, 1);
  auto shown = box.Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "No privilege to shutdown");
  EXPECT_EQ(shown[0].caption, "Error");
  EXPECT_EQ(shown[0].kind, MessageKind::kError);
  EXPECT_EQ(shown[0].buttons, static_cast<unsigned>(kButtonOk));
}

}  // namespace
}  // namespace ovc
