#include "ui/dialogs/finished_recording_presenter.h"

#include <gtest/gtest.h>

#include "common/scripted_message_box.h"
#include "ui/dialogs/dialog_fakes.h"

namespace ovc {
namespace {

// Records every call into a log shared with the fakes, so the order of
// power-off and showing is visible.
class FakeFinishedView : public FinishedRecordingView {
 public:
  explicit FakeFinishedView(std::vector<std::string>* log) : log_(log) {}
  void SetCompletedText(const std::string& text) override { completed = text; }
  void SetLocationText(const std::string& text) override { location = text; }
  void SetOutputPath(const std::string& path) override {
    output_path = path;
    log_->push_back("show " + path);
  }
  void SetNextStep(const std::string& text) override { next_step = text; }
  void Hide() override {
    hidden = true;
    log_->push_back("hide");
  }

  std::string completed, location, output_path, next_step = "stale";
  bool hidden = false;

 private:
  std::vector<std::string>* log_;
};

class FinishedRecordingTest : public testing::Test {
 protected:
  FinishedRecordingPresenter MakePresenter(int power_result) {
    power_ = std::make_unique<test::FakePowerControl>(power_result, &log_);
    return FinishedRecordingPresenter(&view_, &shell_, power_.get(), &output_, &output_path_);
  }

  ScriptedMessageBox box_;
  ScopedMessageBox installed_{&box_};
  std::vector<std::string> log_;
  FakeFinishedView view_{&log_};
  test::FakeShell shell_{&log_};
  std::unique_ptr<test::FakePowerControl> power_;
  OutputConfig output_;
  std::string output_path_ = "/home/me/videos/a.avi";
};

TEST_F(FinishedRecordingTest, ShowsWhereTheFileWent) {
  FinishedRecordingPresenter presenter = MakePresenter(0);
  presenter.FormShow(false);
  EXPECT_EQ(view_.completed, "Conversion Completed");
  EXPECT_EQ(view_.location, "Output file location:");
  EXPECT_EQ(view_.output_path, "/home/me/videos/a.avi");
  EXPECT_EQ(view_.next_step, "");
  EXPECT_EQ(power_->requests, 0);

  presenter.FormShow(true);
  EXPECT_EQ(view_.next_step,
            "Next step: Connect PSP to your computer using a USB cable. And then click "
            "\"Transfer to PSP\" button.");
}

TEST_F(FinishedRecordingTest, OpenOutputFolderHidesThenOpensTheFolder) {
  FinishedRecordingPresenter presenter = MakePresenter(0);
  presenter.FormShow(false);
  output_path_ = "/home/me/videos/b.avi";  // the main window derives the next name
  presenter.Button2Click();
  EXPECT_EQ(log_, (std::vector<std::string>{"show /home/me/videos/a.avi", "hide",
                                            "open /home/me/videos/"}));
}

TEST_F(FinishedRecordingTest, PlayItOpensTheFileAndStaysOpen) {
  FinishedRecordingPresenter presenter = MakePresenter(0);
  presenter.FormShow(false);
  presenter.Button3Click();
  EXPECT_FALSE(view_.hidden);
  EXPECT_EQ(shell_.opened, (std::vector<std::string>{"/home/me/videos/a.avi"}));
  presenter.Button1Click();
  EXPECT_TRUE(view_.hidden);
  EXPECT_EQ(shell_.opened.size(), 1u);
}

TEST_F(FinishedRecordingTest, ShutdownComesBeforeTheReport) {
  output_.shutdown_when_done = true;
  FinishedRecordingPresenter presenter = MakePresenter(0);
  presenter.FormShow(false);
  EXPECT_EQ(log_, (std::vector<std::string>{"power off", "show /home/me/videos/a.avi"}));
  EXPECT_TRUE(box_.Shown().empty());
}

TEST_F(FinishedRecordingTest, RefusedShutdownIsReportedAndTheReportStillShows) {
  output_.shutdown_when_done = true;
  FinishedRecordingPresenter presenter = MakePresenter(-1);
  presenter.FormShow(false);
  EXPECT_EQ(box_.Texts(), (std::vector<std::string>{"No privilege to shutdown"}));
  EXPECT_EQ(box_.Shown()[0].caption, "Error");
  EXPECT_EQ(view_.output_path, "/home/me/videos/a.avi");
}

// How the conversion ended decides the headline; every part is listed, the
// first one is what the buttons open.
TEST_F(FinishedRecordingTest, TheReportSaysHowTheConversionEndedAndListsEveryPart) {
  struct Case {
    bool stopped;
    double converted, range;
    const char* headline;
  };
  const Case cases[] = {
      {false, 40, 40, "Conversion Completed"},
      {true, 12.4, 40, "Conversion stopped: 0:00:12 of 0:00:40 converted (31 %)"},
      {true, 3725, 7200, "Conversion stopped: 1:02:05 of 2:00:00 converted (51 %)"},
      {true, 45, 40, "Conversion stopped: 0:00:45 of 0:00:40 converted (100 %)"},
      {true, 5, 0, "Conversion stopped: 0:00:05 converted"},
  };
  for (const Case& c : cases) {
    ConversionOutcome outcome;
    outcome.stopped = c.stopped;
    outcome.converted_seconds = c.converted;
    outcome.range_seconds = c.range;
    EXPECT_EQ(OutcomeHeadline(outcome), c.headline);
  }

  FinishedRecordingPresenter presenter = MakePresenter(0);
  ConversionOutcome split;
  split.parts = {"/v/a.avi", "/v/a - 02.avi", "/v/a - 03.avi"};
  presenter.FormShow(false, split);
  EXPECT_EQ(view_.location, "Output files (3 parts):");
  EXPECT_EQ(view_.output_path, "/v/a.avi\n/v/a - 02.avi\n/v/a - 03.avi");
  presenter.Button3Click();
  EXPECT_EQ(shell_.opened, (std::vector<std::string>{"/v/a.avi"}));
}

TEST_F(FinishedRecordingTest, WithoutAProgramToOpenItTheUserIsTold) {
  FinishedRecordingPresenter presenter = MakePresenter(0);
  presenter.FormShow(false);
  shell_.handler_present = false;
  presenter.Button3Click();
  presenter.Button2Click();
  ASSERT_EQ(box_.Shown().size(), 2u);
  EXPECT_EQ(box_.Texts()[0],
            "No program is set up on this computer to open\n/home/me/videos/a.avi\nInstall one, "
            "or open it from your file manager.");
  EXPECT_EQ(box_.Shown()[1].kind, MessageKind::kWarning);
}

}  // namespace
}  // namespace ovc
