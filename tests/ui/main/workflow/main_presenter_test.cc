#include "ui/main/main_presenter.h"

#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "common/paths.h"
#include "common/scripted_message_box.h"
#include "engine/record/profile.h"
#include "settings/settings_store.h"
#include "support/clip_generator.h"
#include "support/command_output.h"
#include "support/temp_world.h"
#include "transfer/thumbnail.h"
#include "ui/main/headless_window.h"
#include "ui/main/window_messages.h"

namespace ovc {
namespace {

using test::TempWorld;

// A main window without a screen around one presenter, in a temporary
// world with the shipped profiles.
class MainPresenterTest : public testing::Test {
 protected:
  void SetUp() override {
    world_.SetEnv("HOME", world_.home());
    mkdir(world_.home().c_str(), 0755);
    ASSERT_EQ(PrepareProgramFolder(), 0);
    out_ = world_.Path("out");
    mkdir(out_.c_str(), 0755);
    window_.set_real_sleep(false);
    window_.finished_recording = [this](const std::string& path, bool) {
      finished_paths_.push_back(path);
    };
  }

  void Create(int processors = 2) {
    MainWindowParts parts;
    parts.view = &window_;
    parts.host = &window_;
    parts.profile_view = &window_;
    parts.profile_host = &window_;
    parts.bar_view = &window_;
    parts.guide_view = &window_;
    MainWindowOptions options;
    options.processors = processors;
    options.start_folder = world_.root();
    presenter_ = std::make_unique<MainPresenter>(parts, options);
    window_.SetMessageHandler([this](uint32_t message, intptr_t wparam, intptr_t lparam) {
      return presenter_->HandleMessage(message, wparam, lparam);
    });
    window_.SetTimer([this] { presenter_->PerformanceMonitorTimer(); });
    presenter_->FormCreate();
  }

  void ChooseProfile(const std::string& name) {
    auto names = presenter_->profiles().profile_names();
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) return presenter_->profiles().ApplyProfile(static_cast<int>(i));
    FAIL() << "no profile " << name;
  }

  std::string Clip(double seconds) {
    test::ClipSpec spec;
    spec.seconds = seconds;
    std::string path = world_.Path("clip.mp4");
    EXPECT_EQ(test::WriteClip(path, spec), "");
    return path;
  }

  // Opens a clip and sends the output to the world's out/ folder.
  void Open(double seconds) {
    ASSERT_EQ(presenter_->OpenVideoFile(Clip(seconds)), 0);
    window_.ProcessPendingMessages();
    presenter_->profiles().OutputFolderEditChange(out_);
  }

  bool RunUntil(const std::function<bool()>& done) {
    return window_.RunUntil(done, std::chrono::seconds(60));
  }

  bool RunToTheEnd() {
    return RunUntil([this] { return !finished_paths_.empty(); });
  }

  TempWorld world_;
  std::string out_;
  ScriptedMessageBox box_;
  ScopedMessageBox installed_{&box_};
  HeadlessWindow window_;
  std::unique_ptr<MainPresenter> presenter_;
  std::vector<std::string> finished_paths_;
};

TEST_F(MainPresenterTest, EmptySettingsStartWithTheDefaults) {
  Create();
  const OutputConfig& output = presenter_->output();
  EXPECT_EQ(presenter_->output_path(), world_.home() + "/untitled.avi");
  EXPECT_EQ(output.width, 320);
  EXPECT_EQ(output.height, 240);
  EXPECT_EQ(output.video_bitrate, 240);
  EXPECT_EQ(output.n_pass, 1);
  EXPECT_EQ(output.out_frame_rate, 15);
  EXPECT_EQ(output.audio_output_freq, 22050);
  EXPECT_EQ(output.split_size, 2048);
  ASSERT_NE(presenter_->profiles().current(), nullptr);
  EXPECT_EQ(presenter_->profiles().current()->name, "AVI");
  EXPECT_EQ(window_.shown().window_caption, kProductName);
  EXPECT_EQ(window_.shown().open_caption, "Choose Video");
  EXPECT_EQ(ReadSettingText("Version", ""), "4.0 Build 06");
}

TEST_F(MainPresenterTest, StoredSettingsAreReadBackIncludingTheFileCounter) {
  WriteSettingInt("OutputConfig", "format", 1);
  WriteSettingText("OutputConfig", "LastOutput", world_.home() + "/movies/clip.mp4");
  WriteSettingInt("OutputConfig", "AudioSampling", 5);
  WriteSettingInt("OutputConfig", "stereo", 3);
  WriteSettingInt("OutputConfig", "file_number", 41);
  WriteSettingText("OutputConfig", "last_profile", "no such profile");
  Create();
  EXPECT_EQ(presenter_->output().audio_output_freq, 48000);
  EXPECT_EQ(presenter_->output().audio_channels, 1);
  EXPECT_EQ(presenter_->output().file_number, 41);
  // The first profile is chosen and decides the container, hence the name.
  ASSERT_NE(presenter_->profiles().current(), nullptr);
  EXPECT_EQ(presenter_->profiles().current_index(), 0);
}

TEST_F(MainPresenterTest, ConvertWithNothingOpenOnlyExplains) {
  Create();
  presenter_->StartRecordingButtonClick();
  ASSERT_EQ(box_.Texts().size(), 1u);
  EXPECT_EQ(box_.Texts()[0], "DVD or video file not ready. Try to open again.");
  EXPECT_FALSE(presenter_->converting());
  EXPECT_EQ(window_.shown().convert_caption, "Convert");
  EXPECT_TRUE(window_.shown().convert_enabled);
}

TEST_F(MainPresenterTest, AConversionRunsToTheEndAndReturnsToReady) {
  Create();
  ChooseProfile("PSP");
  Open(4.0);
  const int counter = presenter_->output().file_number;
  presenter_->StartRecordingButtonClick();
  ASSERT_TRUE(presenter_->converting());
  EXPECT_EQ(window_.shown().convert_caption, "Pause/Stop");
  EXPECT_FALSE(window_.shown().transport_enabled);
  EXPECT_FALSE(window_.shown().open_enabled);
  EXPECT_FALSE(window_.shown().output_settings_enabled);
  ASSERT_TRUE(RunToTheEnd());
  window_.ProcessPendingMessages();

  EXPECT_FALSE(presenter_->converting());
  EXPECT_EQ(window_.shown().convert_caption, "Convert");
  EXPECT_TRUE(window_.shown().transport_enabled);
  EXPECT_TRUE(window_.shown().open_enabled);
  EXPECT_TRUE(window_.shown().output_settings_enabled);
  char name[32];
  std::snprintf(name, sizeof name, "/M4V%05d.MP4", counter);
  ASSERT_EQ(finished_paths_.size(), 1u);
  EXPECT_EQ(finished_paths_[0], out_ + name);
  EXPECT_EQ(presenter_->output().file_number, counter + 1);
  EXPECT_EQ(ReadSettingInt("OutputConfig\\file_number", -1), counter + 1);
  // The next conversion gets the next name.
  std::snprintf(name, sizeof name, "/M4V%05d.MP4", counter + 1);
  EXPECT_EQ(presenter_->output_path(), out_ + name);
  EXPECT_EQ(window_.shown().progress_status.rfind("100.0% Recorded 0:00:04", 0), 0u)
      << window_.shown().progress_status;
  EXPECT_NEAR(std::atof(test::ProbeEntry(finished_paths_[0], "v:0", "stream=duration").c_str()),
              4.0, 0.1);
  // After 2.5 s the picture became the PSP's thumbnail beside the file.
  const std::string thumbnail = ThumbnailPath(finished_paths_[0]);
  EXPECT_EQ(test::ProbeEntry(thumbnail, "v:0", "stream=codec_name,width,height"),
            "mjpeg\n160\n120");
}

TEST_F(MainPresenterTest, StoppingPassOneRecordsTheSameRangeInPassTwo) {
  Create();
  ChooseProfile("AVI");
  presenter_->output().n_pass = 2;
  Open(8.0);
  presenter_->StartRecordingButtonClick();
  ASSERT_TRUE(presenter_->converting());
  ASSERT_TRUE(RunUntil([this] { return presenter_->capture().recorded_seconds() >= 3.0; }));
  presenter_->PerformanceMonitorTimer();  // the low thumb follows the position
  box_.Answer(kButtonYes);
  presenter_->StartRecordingButtonClick();
  ASSERT_FALSE(box_.Texts().empty());
  EXPECT_EQ(box_.Texts().back(), "Stop 1st-Pass recording and start 2nd-Pass now?\n");
  ASSERT_TRUE(presenter_->converting());
  EXPECT_EQ(presenter_->output().pass, 2);
  const int stop = presenter_->bar().StopPointSec();
  EXPECT_EQ(presenter_->bar().StartPointSec(), 0);
  EXPECT_GE(stop, 3);
  EXPECT_LT(stop, 8);
  ASSERT_TRUE(RunToTheEnd());
  EXPECT_EQ(presenter_->output().pass, 1);
  ASSERT_EQ(finished_paths_.size(), 1u);
  const double duration =
      std::atof(test::ProbeEntry(finished_paths_[0], "v:0", "stream=duration").c_str());
  EXPECT_NEAR(duration, stop, 0.6);
  EXPECT_EQ(test::ProbeEntry(finished_paths_[0], "a:0", "stream=codec_name"), "mp3");
}

TEST_F(MainPresenterTest, AnsweringNoKeepsTheConversionGoing) {
  Create(/*processors=*/1);
  ChooseProfile("iPod");
  Open(3.0);
  presenter_->StartRecordingButtonClick();
  ASSERT_TRUE(presenter_->converting());
  EXPECT_FALSE(presenter_->session().uses_threads());
  box_.Answer(kButtonNo);
  presenter_->StartRecordingButtonClick();
  EXPECT_EQ(box_.Texts().back(), "Stop recording?\n");
  EXPECT_TRUE(presenter_->converting());
  EXPECT_FALSE(presenter_->stopped_by_user());
  ASSERT_TRUE(RunToTheEnd());
  EXPECT_NEAR(std::atof(test::ProbeEntry(finished_paths_[0], "v:0", "stream=duration").c_str()),
              3.0, 0.1);
}

TEST_F(MainPresenterTest, AnOutputThatCannotBeOpenedStartsNothing) {
  Create();
  ChooseProfile("iPod");
  Open(2.0);
  presenter_->profiles().OutputFolderEditChange(world_.Path("no/such/folder"));
  presenter_->StartRecordingButtonClick();
  EXPECT_FALSE(presenter_->converting());
  EXPECT_EQ(window_.shown().convert_caption, "Convert");
  EXPECT_TRUE(window_.shown().transport_enabled);
  EXPECT_TRUE(window_.shown().open_enabled);
  EXPECT_FALSE(box_.Texts().empty());
}

TEST_F(MainPresenterTest, MessagesReachTheirHandlers) {
  Create();
  EXPECT_TRUE(presenter_->HandleMessage(kWmCommand, 0, 0));
  EXPECT_FALSE(presenter_->HandleMessage(0x8002, 0, 0));
  ChooseProfile("PSP");
  Open(4.0);
  presenter_->StartRecordingButtonClick();
  ASSERT_TRUE(presenter_->converting());
  EXPECT_TRUE(presenter_->HandleMessage(kWmStopRecording, 0, 0));
  EXPECT_FALSE(presenter_->converting());
  EXPECT_EQ(finished_paths_.size(), 1u);
}

TEST_F(MainPresenterTest, ClosingDuringAConversionAsksFirst) {
  Create();
  ChooseProfile("PSP");
  Open(4.0);
  presenter_->StartRecordingButtonClick();
  box_.Answer(kButtonNo);
  EXPECT_FALSE(presenter_->FormClose());
  EXPECT_TRUE(presenter_->converting());
  box_.Answer(kButtonYes);
  EXPECT_TRUE(presenter_->FormClose());
  EXPECT_FALSE(presenter_->converting());
  EXPECT_EQ(ReadSettingText("WindowSize", ""), "0 0 800 600");
}

TEST_F(MainPresenterTest, TheStoredWindowPlaceIsRestoredOnce) {
  WriteSettingText("", "WindowSize", "10 20 800 600");
  Create();
  presenter_->FormActivate();
  EXPECT_EQ(window_.shown().window_left, 10);
  EXPECT_EQ(window_.shown().window_top, 20);
  window_.MoveWindowOnScreen(5, 5);
  presenter_->FormActivate();
  EXPECT_EQ(window_.shown().window_left, 5);
}

}  // namespace
}  // namespace ovc
