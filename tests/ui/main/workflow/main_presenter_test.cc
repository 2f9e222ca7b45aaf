#include "ui/main/main_presenter.h"

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "app/multiconv/headless_window.h"
#include "common/paths.h"
#include "common/scripted_message_box.h"
#include "engine/record/profile.h"
#include "settings/settings_store.h"
#include "support/clip_generator.h"
#include "support/clip_reader.h"
#include "support/command_output.h"
#include "support/temp_world.h"
#include "transfer/thumbnail.h"
#include "ui/main/progress_status.h"
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
      shown_at_report_ = window_.shown();
    };
    window_.status_changed = [this](const std::string& text) {
      statuses_.push_back({text, finished_paths_.size()});
    };
  }

  void Create(int processors = 2) {
    MainWindowParts parts = window_.parts();
    MainWindowOptions options;
    options.processors = processors;
    options.start_folder = world_.root();
    options.ticks = ticks_;
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
    test::ClipRecipe clip_recipe;
    clip_recipe.seconds = seconds;
    std::string path = world_.Path("clip.mp4");
    EXPECT_EQ(test::WriteClip(path, clip_recipe), "");
    return path;
  }

  // Opens a clip and sends the output to the world's out/ folder.
  void Open(double seconds) {
    ASSERT_EQ(presenter_->OpenVideoFile(Clip(seconds)), 0);
    window_.ProcessPendingMessages();
    presenter_->profiles().OutputFolderEditChange(out_);
  }

  // An AVI conversion of a 10 s clip "long.mp4" into out/, split every
  // megabyte (about every 8 s).
  void OpenForSplitting() {
    Create();
    ChooseProfile("AVI");
    test::ClipRecipe clip_recipe;
    clip_recipe.seconds = 10.0;
    const std::string clip = world_.Path("long.mp4");
    ASSERT_EQ(test::WriteClip(clip, clip_recipe), "");
    ASSERT_EQ(presenter_->OpenVideoFile(clip), 0);
    window_.ProcessPendingMessages();
    presenter_->profiles().OutputFolderEditChange(out_);
    presenter_->profiles().current()->b = 3000;
    presenter_->output().split_size = 1;
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
  std::function<uint32_t()> ticks_;  // null: the machine's clock
  std::vector<std::string> finished_paths_;
  // What the window showed when the report came up.
  HeadlessWindow::Shown shown_at_report_;
  // Every status line shown, with the number of reports shown before it.
  struct Status {
    std::string text;
    size_t reports_before = 0;
  };
  std::vector<Status> statuses_;
};

// "Output: <size> MB" as the status line shows the size of `path`.
std::string OutputText(const std::string& path) {
  char text[64];
  std::snprintf(text, sizeof text, "Output: %.1f MB", ReadOutputSizeMb(path));
  return text;
}

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
  // The finished state was on the status line when the report came up, and
  // stays there: the whole range, the finished file's size.
  const std::string final_status = shown_at_report_.progress_status;
  EXPECT_EQ(final_status.rfind("100.0% Recorded 0:00:04", 0), 0u) << final_status;
  EXPECT_NE(final_status.find(OutputText(finished_paths_[0])), std::string::npos) << final_status;
  EXPECT_EQ(shown_at_report_.progress_bar, 100);
  EXPECT_EQ(shown_at_report_.bar_low, shown_at_report_.bar_high);
  EXPECT_EQ(window_.shown().progress_status, final_status);
  EXPECT_NEAR(std::atof(test::ProbeEntry(finished_paths_[0], "v:0", "stream=duration").c_str()),
              4.0, 0.1);
  // After 2.5 s the picture became the PSP's thumbnail beside the file.
  const std::string thumbnail = ThumbnailPath(finished_paths_[0]);
  EXPECT_EQ(test::ProbeEntry(thumbnail, "v:0", "stream=codec_name,width,height"),
            "mjpeg\n160\n120");
}

// The desktop program converts a source without sound after one line of
// information, no warning: the output's sound track is silence as long as
// the picture.
TEST_F(MainPresenterTest, ASourceWithoutSoundConvertsWithASilentTrack) {
  Create();
  ChooseProfile("3GP phone");
  test::ClipRecipe clip_recipe;
  clip_recipe.has_audio = false;
  clip_recipe.seconds = 2.0;
  const std::string clip = world_.Path("soundless.mp4");
  ASSERT_EQ(test::WriteClip(clip, clip_recipe), "");
  ASSERT_EQ(presenter_->OpenVideoFile(clip), 0);
  window_.ProcessPendingMessages();
  presenter_->profiles().OutputFolderEditChange(out_);
  presenter_->StartRecordingButtonClick();
  ASSERT_TRUE(presenter_->converting());
  ASSERT_TRUE(RunToTheEnd());
  window_.ProcessPendingMessages();

  const std::vector<MessageRequest> shown = box_.Shown();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown[0].text, clip + " has no sound; the output gets a silent sound track");
  EXPECT_EQ(shown[0].kind, MessageKind::kInformation);
  for (const MessageRequest& request : shown) {
    EXPECT_NE(request.kind, MessageKind::kWarning) << request.text;
    EXPECT_NE(request.kind, MessageKind::kError) << request.text;
  }
  ASSERT_EQ(finished_paths_.size(), 1u);
  const std::string output = finished_paths_[0];
  EXPECT_EQ(test::ProbeEntry(output, "a:0", "stream=codec_name,channels,sample_rate"),
            "amr_nb\n8000\n1");
  const double video = std::atof(test::ProbeEntry(output, "v:0", "stream=duration").c_str());
  const double audio = std::atof(test::ProbeEntry(output, "a:0", "stream=duration").c_str());
  EXPECT_NEAR(video, 2.0, 0.1);
  EXPECT_NEAR(audio, video, 0.05);
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

// A conversion from a start point begins with the very picture at that
// point: the first output frame shows the source frame there, in every pass
// and with either producer.
struct StartPointCase {
  const char* name;
  const char* profile;
  int processors;
  int passes;
  int start_seconds;  // a key frame at 2 s (gop 25); 1 s lies between key frames
};

void PrintTo(const StartPointCase& c, std::ostream* os) { *os << c.name; }

class StartPointTest : public MainPresenterTest,
                       public testing::WithParamInterface<StartPointCase> {};

TEST_P(StartPointTest, TheFirstOutputFrameIsTheSourceFrameAtTheStartPoint) {
  const StartPointCase& c = GetParam();
  Create(c.processors);
  ChooseProfile(c.profile);
  presenter_->output().n_pass = c.passes;
  test::ClipRecipe clip_recipe;
  clip_recipe.seconds = 4.0;
  clip_recipe.gop = 25;
  const std::string clip = world_.Path("numbered.mp4");
  ASSERT_EQ(test::WriteClip(clip, clip_recipe), "");
  ASSERT_EQ(presenter_->OpenVideoFile(clip), 0);
  window_.ProcessPendingMessages();
  presenter_->profiles().OutputFolderEditChange(out_);
  // Typed into the Time rows: one second from the start point.
  presenter_->profiles().TimeValueListStringsChange({"1", std::to_string(c.start_seconds)});

  presenter_->StartRecordingButtonClick();
  ASSERT_TRUE(presenter_->converting());
  ASSERT_TRUE(RunToTheEnd());
  ASSERT_EQ(finished_paths_.size(), 1u);
  test::DecodedClip decoded;
  ASSERT_EQ(test::ReadClip(finished_paths_[0], &decoded), "");
  ASSERT_FALSE(decoded.frame_numbers.empty());
  // 25 pictures a second in the source.
  EXPECT_EQ(decoded.frame_numbers.front(), c.start_seconds * clip_recipe.fps_num);
  // One second at 29.97 output frames a second, the last one at most
  // a source picture short of the stop point.
  EXPECT_NEAR(static_cast<double>(decoded.frame_numbers.size()), 29.97, 1.5);
  EXPECT_LE(decoded.frame_numbers.back(), (c.start_seconds + 1) * clip_recipe.fps_num);
}

const StartPointCase kStartPoints[] = {
    {"Threads_KeyFrame", "PSP", 2, 1, 2},
    {"Threads_BetweenKeyFrames", "PSP", 2, 1, 1},
    {"Inline_KeyFrame", "iPod", 1, 1, 2},
    // Both output formats here run at 29.97 frames a second.
    {"TwoPasses", "AVI", 2, 2, 1},
};

INSTANTIATE_TEST_SUITE_P(Starts, StartPointTest, testing::ValuesIn(kStartPoints));

TEST_F(MainPresenterTest, AStopByTheUserShowsTheFiguresReachedBeforeTheReport) {
  Create();
  ChooseProfile("PSP");
  Open(8.0);
  presenter_->StartRecordingButtonClick();
  ASSERT_TRUE(RunUntil([this] { return presenter_->capture().recorded_seconds() >= 2.0; }));
  box_.Answer(kButtonYes);
  presenter_->StartRecordingButtonClick();
  ASSERT_EQ(finished_paths_.size(), 1u);
  // Not the whole range: the part recorded, in the file as it was finished.
  const std::string& status = shown_at_report_.progress_status;
  const double percent = std::atof(status.c_str());
  EXPECT_GT(percent, 20.0) << status;
  EXPECT_LT(percent, 100.0) << status;
  EXPECT_NE(status.find(OutputText(finished_paths_[0])), std::string::npos) << status;
  EXPECT_EQ(shown_at_report_.progress_bar, static_cast<int>(percent)) << status;
  window_.ProcessPendingMessages();
  EXPECT_EQ(window_.shown().progress_status, status);
}

TEST_F(MainPresenterTest, TheEndOfPassOneDoesNotShowPassTwoAsDone) {
  Create();
  ChooseProfile("AVI");
  presenter_->output().n_pass = 2;
  Open(3.0);
  presenter_->StartRecordingButtonClick();
  ASSERT_TRUE(RunToTheEnd());
  window_.ProcessPendingMessages();
  // Pass 1 ended at the end of the file and posted its end message; pass 2
  // was running by then. Only pass 2's own end shows it as done, as the
  // last status line before the report, and nothing changes after it.
  int done_lines = 0;
  for (size_t i = 0; i < statuses_.size(); ++i) {
    const Status& line = statuses_[i];
    EXPECT_EQ(line.reports_before, 0u) << line.text;
    if (line.text.rfind("[Pass 2 of 2]  100.0%", 0) == 0) {
      ++done_lines;
      EXPECT_EQ(i, statuses_.size() - 1) << line.text;
    }
  }
  EXPECT_EQ(done_lines, 1);
  EXPECT_EQ(shown_at_report_.progress_status.rfind("[Pass 2 of 2]  100.0% Recorded 0:00:03", 0),
            0u)
      << shown_at_report_.progress_status;
}

// Pass 1's capture may ask for a stop (a declined part, the stop point) just
// as the pass reaches its end; that stop, handled late, must not end pass 2.
TEST_F(MainPresenterTest, ALateStopOfPassOneLeavesPassTwoRunning) {
  Create();
  ChooseProfile("AVI");
  presenter_->output().n_pass = 2;
  Open(3.0);
  presenter_->StartRecordingButtonClick();
  ASSERT_TRUE(RunUntil(
      [this] { return presenter_->output().pass == 2 && presenter_->session().recording(); }));
  const intptr_t pass_one = 1;  // the stop messages carry the pass they belong to
  presenter_->HandleMessage(kWmStopRecording, pass_one, 0);
  EXPECT_TRUE(presenter_->session().recording());
  ASSERT_TRUE(RunToTheEnd());
  EXPECT_EQ(finished_paths_.size(), 1u);
}

TEST_F(MainPresenterTest, APassTwoThatCannotStartLeavesTheWindowReady) {
  // An AVI file through the installed codec, with the MP3 encoder library
  // missing: the first pass (no sound) runs, the second cannot start.
  test::WriteFile(ProgramFolder() + "/profile/Codec AVI.pr",
            "device  = \"\"\nfileext = \"avi\"\nt = 0\nss = 0\nvcodec = \"divx\"\n"
            "s = \"320x240\"\nb = 400\nr = 25\nacodec = \"mp3\"\nac = \"2\"\nab = 128\n"
            "ar = 44100\n");
  world_.SetEnv("OVC_MP3_LIBRARY", world_.Path("missing/libmp3lame.so.0"));
  Create();
  ChooseProfile("Codec AVI");
  // No codec pair of a container: the stored format stays, here AVI
  // through the installed codec.
  presenter_->output().format = kFormatAvi;
  presenter_->output().n_pass = 2;
  Open(3.0);
  presenter_->StartRecordingButtonClick();
  ASSERT_TRUE(presenter_->converting());
  ASSERT_TRUE(RunUntil([this] { return !presenter_->converting(); }));
  window_.ProcessPendingMessages();

  ASSERT_FALSE(box_.Texts().empty());
  EXPECT_NE(box_.Texts().back().find("lame not loaded"), std::string::npos) << box_.Texts().back();
  EXPECT_TRUE(finished_paths_.empty());
  EXPECT_EQ(presenter_->output().pass, 1);
  const HeadlessWindow::Shown& shown = window_.shown();
  EXPECT_EQ(shown.convert_caption, "Convert");
  EXPECT_TRUE(shown.convert_enabled);
  EXPECT_TRUE(shown.transport_enabled);
  EXPECT_TRUE(shown.open_enabled);
  EXPECT_TRUE(shown.output_settings_enabled);
  EXPECT_EQ(shown.cursor, CursorShape::kArrow);
  EXPECT_EQ(shown.guide_text, "Ready to record this title [0:00:03]");
}

TEST_F(MainPresenterTest, SplitPartsAllCountInTheOutputSize) {
  OpenForSplitting();
  presenter_->StartRecordingButtonClick();
  ASSERT_TRUE(RunToTheEnd());
  const std::vector<std::string> parts = presenter_->session().part_paths();
  ASSERT_GE(parts.size(), 2u) << "the output did not split";
  double total = 0;
  for (const std::string& part : parts) total += ReadOutputSizeMb(part);
  // The report's status line: every part's size, beside the last part's
  // name.
  const std::string& status = shown_at_report_.progress_status;
  const size_t output = status.find("Output: ");
  ASSERT_NE(output, std::string::npos) << status;
  EXPECT_NEAR(std::atof(status.c_str() + output + 8), total, 0.051) << status;
  EXPECT_NE(status.find(parts.back()), std::string::npos) << status;
}

TEST_F(MainPresenterTest, DecliningTheNextPartEndsTheConversionWhereItWas) {
  OpenForSplitting();
  test::WriteFile(out_ + "/long - 02.avi", "precious");
  box_.Answer(kButtonNo);
  presenter_->StartRecordingButtonClick();
  ASSERT_TRUE(RunToTheEnd());
  ASSERT_EQ(box_.Texts().size(), 1u);
  // The question as the translation table words it, when one is loaded.
  EXPECT_EQ(box_.Texts()[0].find(out_ + "/long - 02.avi "), 0u) << box_.Texts()[0];
  EXPECT_NE(box_.Texts()[0].find("Overwrite?"), std::string::npos) << box_.Texts()[0];
  EXPECT_EQ(test::ReadFile(out_ + "/long - 02.avi"), "precious");
  EXPECT_EQ(presenter_->session().part_paths().size(), 1u);
  // Stopped at the part's end, not run on to the end writing nothing.
  const double part_seconds = std::atof(
      test::ProbeEntry(presenter_->session().part_paths()[0], "v:0", "stream=duration").c_str());
  EXPECT_LT(part_seconds, 9.5);
  EXPECT_NEAR(presenter_->capture().covered_seconds(), part_seconds, 0.1);
  EXPECT_EQ(shown_at_report_.progress_status.find("100.0%"), std::string::npos)
      << shown_at_report_.progress_status;
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

// Elapsed leaves out the time a question was open, whichever thread asked
// it. The clock stands still except while a question is open, when it
// moves on ten minutes: Elapsed must stay at zero.
enum class Question { kStop, kClose, kNextPartExists };

struct QuestionCase {
  const char* name;
  Question question;
  const char* asked;  // part of the text asked
};
void PrintTo(const QuestionCase& c, std::ostream* os) { *os << c.name; }

class ElapsedWithoutQuestions : public MainPresenterTest,
                                public testing::WithParamInterface<QuestionCase> {
 protected:
  // Answers from box_'s script; each question takes ten minutes.
  class SlowToAnswer : public MessageBox {
   public:
    SlowToAnswer(MessageBox* inner, std::atomic<uint32_t>* ms) : inner_(inner), ms_(ms) {}
    MessageButton Show(const MessageRequest& request) override {
      *ms_ += 600000;
      return inner_->Show(request);
    }

   private:
    MessageBox* inner_;
    std::atomic<uint32_t>* ms_;
  };

  // A conversion under way that asks the question and goes on.
  void ConvertAsking(Question question) {
    if (question == Question::kNextPartExists) {
      // Asked on the capture thread when the output splits.
      OpenForSplitting();
      test::WriteFile(out_ + "/long - 02.avi", "old");
      box_.Answer(kButtonYes);
      presenter_->StartRecordingButtonClick();
      return;
    }
    Create();
    ChooseProfile("iPod");
    Open(2.0);
    presenter_->StartRecordingButtonClick();
    box_.Answer(kButtonNo);
    if (question == Question::kStop) {
      presenter_->StartRecordingButtonClick();
    } else {
      EXPECT_FALSE(presenter_->FormClose());
    }
  }

  std::atomic<uint32_t> ms_{1000};
  SlowToAnswer slow_{&box_, &ms_};
};

TEST_P(ElapsedWithoutQuestions, StaysOutOfElapsed) {
  ticks_ = [this] { return ms_.load(); };
  ScopedMessageBox installed(&slow_);
  ConvertAsking(GetParam().question);
  ASSERT_TRUE(RunToTheEnd());
  ASSERT_EQ(box_.Texts().size(), 1u);
  EXPECT_NE(box_.Texts()[0].find(GetParam().asked), std::string::npos) << box_.Texts()[0];
  const std::string& status = shown_at_report_.progress_status;
  EXPECT_NE(status.find("Elapsed 0:00:00 "), std::string::npos) << status;
}

const QuestionCase kQuestions[] = {
    {"StopAnsweredNo", Question::kStop, "Stop recording?"},
    {"CloseAnsweredNo", Question::kClose, "Stop recording?"},
    {"NextPartExistsAnsweredYes", Question::kNextPartExists, "long - 02.avi"},
};

INSTANTIATE_TEST_SUITE_P(Questions, ElapsedWithoutQuestions, testing::ValuesIn(kQuestions),
                         [](const testing::TestParamInfo<QuestionCase>& info) {
                           return std::string(info.param.name);
                         });

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

TEST_F(MainPresenterTest, AFrameRateEditedToZeroStartsNothingAndSaysWhy) {
  Create();
  ChooseProfile("iPod");
  Open(2.0);
  presenter_->profiles().current()->r = 0;  // as the FPS cell leaves it for "0"
  presenter_->StartRecordingButtonClick();
  EXPECT_FALSE(presenter_->converting());
  EXPECT_EQ(window_.shown().convert_caption, "Convert");
  ASSERT_FALSE(box_.Texts().empty());
  EXPECT_EQ(box_.Texts().back().rfind("Profile \"iPod\": frame rate \"r\" must be", 0), 0u)
      << box_.Texts().back();
  EXPECT_TRUE(std::filesystem::is_empty(out_));
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

// The output folder is removed while the file is written: the conversion
// ends at once, as "Pause/Stop" would, with the one message of the
// failure and no report of a finished file; a first pass of two starts no
// second.
class MainPresenterOutputGone : public MainPresenterTest,
                                public testing::WithParamInterface<int> {};

TEST_P(MainPresenterOutputGone, EndsTheConversionWithoutAReport) {
  Create();
  ChooseProfile("PSP");
  Open(30.0);
  presenter_->output().n_pass = GetParam();
  const int counter = presenter_->output().file_number;
  presenter_->StartRecordingButtonClick();
  ASSERT_TRUE(presenter_->converting());
  const std::string path = presenter_->session().output_path();
  ASSERT_TRUE(RunUntil([&] { return ReadOutputSizeMb(path) > 0.05; }));
  std::filesystem::remove_all(out_);
  ASSERT_TRUE(RunUntil([&] { return presenter_->ended_by_failure(); }));
  window_.ProcessPendingMessages();

  EXPECT_FALSE(presenter_->converting());
  EXPECT_TRUE(finished_paths_.empty());
  EXPECT_EQ(box_.Texts(), std::vector<std::string>{"Could not write the output file.\n\n" + path +
                                                   "\nThe file or its folder is no longer there."});
  EXPECT_EQ(presenter_->output().pass, 1);
  EXPECT_EQ(presenter_->output().file_number, counter + 1);
  EXPECT_EQ(window_.shown().convert_caption, "Convert");
  EXPECT_TRUE(window_.shown().transport_enabled);
  EXPECT_TRUE(window_.shown().open_enabled);
  // The status line keeps the figures reached, short of the end.
  EXPECT_EQ(presenter_->progress_status().find("100.0%"), std::string::npos)
      << presenter_->progress_status();
  EXPECT_FALSE(std::filesystem::exists(out_));
}

INSTANTIATE_TEST_SUITE_P(Passes, MainPresenterOutputGone, testing::Values(1, 2));

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
