// Building, checking and closing the playback graph on generated files.

#include "engine/playback/playback_graph.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <fstream>
#include <iterator>
#include <ostream>

#include "common/scripted_message_box.h"
#include "engine/playback/capture_stage.h"
#include "engine/playback/capture_test_support.h"
#include "platform/media/video_renderer.h"
#include "support/clip_generator.h"
#include "support/temp_world.h"

extern "C" {
#include <libavutil/crc.h>
}

namespace ovc {
namespace {

class FakeGraphHost : public PlaybackGraphHost {
 public:
  void FocusVideoPanel() override {}
  void SetBusyCursor(bool busy) override {
    busy_ = busy;
    if (busy && on_busy) on_busy();
  }
  void PumpMessages() override { ++pumps; }
  void PostGraphNotify() override { ++notifies; }
  void HideStillPicture() override {}
  void ClearProgressText() override {}
  void HideBlankScreens() override {}
  std::shared_ptr<media::VideoSurface> PreviewSurface() override { return nullptr; }
  std::shared_ptr<media::AudioSink> PreviewSink() override { return nullptr; }
  void SourceReady(const std::string& path) override { ready_path = path; }
  void SourceLengthKnown(double seconds) override { length = seconds; }
  void ShowGuide(int state) override { guide = state; }
  void GraphClosed() override { ++closes; }

  bool busy() const { return busy_; }
  std::function<void()> on_busy;
  int pumps = 0;
  int notifies = 0;
  std::string ready_path;
  double length = -1;
  int guide = 0;
  int closes = 0;

 private:
  bool busy_ = false;
};

class FakeView : public PlaybackView {
 public:
  void HideStillPicture() override {}
  void ShowVideoWindow() override {}
  void ShowStillPicture() override {}
};

class PlaybackGraphTest : public testing::Test {
 protected:
  PlaybackGraphTest() {
    target_.recording_flag = false;
    OutputConfig output;
    output.width = 160;
    output.height = 120;
    capture_.SetOutput(output);
  }

  std::string Clip(const std::string& name, const test::ClipRecipe& clip_recipe) {
    const std::string path = world_.Path(name);
    const std::string error = test::WriteClip(path, clip_recipe);
    EXPECT_EQ(error, "");
    return path;
  }

  int32_t Open(const std::string& path) {
    graph_.set_source_path(path);
    return graph_.BuildPlaybackGraph();
  }

  test::TempWorld world_;
  ScriptedMessageBox box_;
  ScopedMessageBox installed_{&box_};
  RecordingClock clock_;
  test::FakeTarget target_;
  test::FakeHost capture_host_;
  CaptureStage capture_{&clock_, &target_, &capture_host_};
  FakeView view_;
  PlaybackControl control_{&clock_, &capture_, &target_, &view_};
  FakeGraphHost host_;
  PlaybackGraph graph_{&capture_, &clock_, &control_, &host_};
};

TEST_F(PlaybackGraphTest, BuildsAFileGraphAndReportsTheSource) {
  test::ClipRecipe clip_recipe;
  clip_recipe.seconds = 3.0;
  const std::string path = Clip("clip.mp4", clip_recipe);
  ASSERT_EQ(Open(path), 0);

  EXPECT_EQ(graph_.render_state(), PlaybackGraph::RenderState::kIdle);
  EXPECT_TRUE(graph_.source_ready());
  EXPECT_TRUE(graph_.video_grabber_connected());
  EXPECT_EQ(host_.ready_path, path);
  EXPECT_NEAR(host_.length, 3.0, 0.1);
  EXPECT_EQ(host_.guide, 4);
  EXPECT_FALSE(host_.busy());
  // The capture adopted the connected types.
  EXPECT_EQ(capture_.input_width(), 320);
  EXPECT_EQ(capture_.input_height(), 240);
  EXPECT_EQ(capture_.audio_rate(), 48000);
  EXPECT_EQ(capture_.audio_channels(), 2);
  EXPECT_EQ(control_.state(), kStopped);
  EXPECT_TRUE(box_.Texts().empty());
  EXPECT_TRUE(test::TraceHas("Render ...\n"));
  EXPECT_TRUE(test::TraceHas("Filter: Video Grabber"));
  EXPECT_TRUE(test::TraceHas("\t Pin:  Out          --> Video Renderer"));
  EXPECT_FALSE(test::TraceHas("not connected"));
  // Runs on the recording clock.
  EXPECT_EQ(graph_.graph()->GetReferenceClock().get(), &clock_);

  graph_.ClosePlaybackGraph();
  EXPECT_EQ(graph_.graph(), nullptr);
  EXPECT_EQ(control_.state(), kClosed);
  EXPECT_TRUE(test::TraceHas("CloseDVDVolume finished"));
}

TEST_F(PlaybackGraphTest, SecondBuildWhileRenderingIsIgnored) {
  const std::string path = Clip("clip.mp4", test::ClipRecipe{});
  int inner = -7;
  int builds = 0;
  host_.on_busy = [&] {
    if (++builds == 1) inner = graph_.BuildPlaybackGraph();
  };
  ASSERT_EQ(Open(path), 0);
  EXPECT_EQ(inner, 0);
  EXPECT_EQ(builds, 1);  // the ignored request did not get as far as the cursor
  EXPECT_TRUE(graph_.source_ready());
}

TEST_F(PlaybackGraphTest, ASourceWithoutAPictureIsRefusedAtEveryOpen) {
  test::ClipRecipe clip_recipe;
  clip_recipe.has_video = false;
  const std::string path = Clip("sound.mp4", clip_recipe);
  const std::string refusal = "Cannot open the file\n" + path +
                              "\nIt has no picture, only sound: there is nothing to convert.";
  for (int open = 1; open <= 2; ++open) {
    SCOPED_TRACE(open);
    EXPECT_LT(Open(path), 0);
    EXPECT_FALSE(graph_.source_ready());
    EXPECT_EQ(graph_.graph(), nullptr);
    ASSERT_EQ(box_.Texts().size(), static_cast<size_t>(open));
    EXPECT_EQ(box_.Texts().back(), refusal);
    EXPECT_FALSE(host_.busy());
  }
  // A file with a picture opens after it.
  EXPECT_EQ(Open(Clip("clip.mp4", test::ClipRecipe{})), 0);
  EXPECT_TRUE(graph_.source_ready());
}

// Sources the capture gives a silent track: without a sound stream, or with
// one no decoder takes (an AVI whose sound format tag is 0x7777).
struct SoundlessCase {
  const char* name;
  bool has_sound_stream;
  const char* said;  // after the path
};
void PrintTo(const SoundlessCase& c, std::ostream* os) { *os << c.name; }

class PlaybackGraphSoundlessTest : public PlaybackGraphTest,
                                   public testing::WithParamInterface<SoundlessCase> {};

// One line of information, no warning, and the capture makes a silent
// track.
TEST_P(PlaybackGraphSoundlessTest, OpensWithOneLineOfInformation) {
  const SoundlessCase& c = GetParam();
  test::ClipRecipe clip_recipe;
  clip_recipe.container = test::ClipContainer::kAvi;
  clip_recipe.audio_codec = test::ClipAudioCodec::kPcm;
  clip_recipe.has_audio = c.has_sound_stream;
  const std::string path = Clip("silent.avi", clip_recipe);
  if (c.has_sound_stream) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = bytes.find(std::string("strf\x10\0\0\0\x01\0", 10));
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at + 8, 2, "\x77\x77");
    std::ofstream(path, std::ios::binary) << bytes;
  }
  EXPECT_EQ(Open(path), 0);
  EXPECT_TRUE(graph_.source_ready());
  const std::vector<MessageRequest> shown = box_.Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, path + " " + c.said);
  EXPECT_EQ(shown[0].kind, MessageKind::kInformation);
  EXPECT_FALSE(capture_.source_has_sound());

  // A source with sound after it has its own again.
  box_.Clear();
  EXPECT_EQ(Open(Clip("clip.mp4", test::ClipRecipe{})), 0);
  EXPECT_TRUE(box_.Texts().empty());
  EXPECT_TRUE(capture_.source_has_sound());
}

const SoundlessCase kSoundless[] = {
    {"NoSoundStream", false, "has no sound; the output gets a silent sound track"},
    {"UndecodableSound", true,
     "has sound that cannot be decoded (its format is unknown); the output gets a silent sound "
     "track"},
};
INSTANTIATE_TEST_SUITE_P(Sources, PlaybackGraphSoundlessTest, testing::ValuesIn(kSoundless),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlaybackGraphTest, APipeIsRefusedWithoutWaitingForAWriter) {
  const std::string path = world_.Path("pipe.mp4");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(Open(path), media::kErrorNotAFile);
  EXPECT_FALSE(graph_.source_ready());
  ASSERT_EQ(box_.Texts().size(), 1u);
  EXPECT_EQ(box_.Texts()[0], "Cannot open the file\n" + path +
                                 "\nIt is not a regular file: a pipe, a device or a folder "
                                 "cannot be converted.");
}

TEST_F(PlaybackGraphTest, AnInterruptEndsTheOpenWithoutAMessage) {
  std::atomic<bool> interrupt{false};
  graph_.set_interrupt(&interrupt);
  const std::string path = Clip("clip.mp4", test::ClipRecipe{});
  host_.on_busy = [&] { interrupt.store(true); };
  EXPECT_EQ(Open(path), 1);
  EXPECT_FALSE(graph_.source_ready());
  EXPECT_EQ(graph_.graph(), nullptr);
  EXPECT_TRUE(box_.Texts().empty());
  EXPECT_FALSE(host_.busy());
}

TEST_F(PlaybackGraphTest, RemovesASecondVideoRendererFromTheListing) {
  ASSERT_EQ(Open(Clip("clip.mp4", test::ClipRecipe{})), 0);
  media::FilterGraph* graph = graph_.graph();
  media::Filter* grabber = graph->FindFilterByName("Video Grabber");
  auto extra = std::make_shared<media::VideoRenderer>(std::make_shared<media::NullVideoSurface>(),
                                                      nullptr);
  ASSERT_EQ(graph->AddFilter(extra, "Video Renderer"), 0);
  EXPECT_EQ(extra->name(), "Video Renderer 0001");
  ASSERT_EQ(graph->Disconnect(grabber->FindPin("Out")), 0);
  ASSERT_EQ(graph->Connect(grabber->FindPin("Out"), extra->InputPin()), 0);

  EXPECT_EQ(graph_.CheckGraphConnections(true), 0);
  EXPECT_TRUE(test::TraceHas("Removie Video Renderer"));
  EXPECT_EQ(graph->FindFilterByName("Video Renderer 0001"), nullptr);
}

TEST_F(PlaybackGraphTest, RepairsAVideoPathThatBypassesTheGrabber) {
  ASSERT_EQ(Open(Clip("clip.mp4", test::ClipRecipe{})), 0);
  media::FilterGraph* graph = graph_.graph();
  media::Filter* grabber = graph->FindFilterByName("Video Grabber");
  media::Filter* renderer = graph->FindFilterByName("Video Renderer");
  media::Pin* decoder_out = grabber->FindPin("In")->ConnectedTo();
  ASSERT_NE(decoder_out, nullptr);
  graph->Disconnect(grabber->FindPin("In"));
  graph->Disconnect(grabber->FindPin("Out"));
  ASSERT_EQ(graph->Connect(decoder_out, renderer->InputPin()), 0);

  EXPECT_EQ(graph_.CheckGraphConnections(false), -1);
  EXPECT_TRUE(test::TraceHas("Retry3"));
  EXPECT_TRUE(graph_.video_grabber_connected());
  EXPECT_EQ(grabber->FindPin("In")->ConnectedTo(), decoder_out);
  EXPECT_EQ(grabber->FindPin("Out")->ConnectedTo(), renderer->InputPin());
  EXPECT_TRUE(box_.Texts().empty());
}

TEST_F(PlaybackGraphTest, ACloseDuringTheBuildEndsItWithOne) {
  const std::string path = Clip("clip.mp4", test::ClipRecipe{});
  host_.on_busy = [&] {
    host_.on_busy = nullptr;
    graph_.ClosePlaybackGraph();
  };
  EXPECT_EQ(Open(path), 1);
  EXPECT_FALSE(graph_.source_ready());
  EXPECT_EQ(graph_.render_state(), PlaybackGraph::RenderState::kIdle);
  EXPECT_EQ(Open(path), 0);
}

// Hands every frame to a conversion that blocks until released.
class BlockingTarget : public RecordingTarget {
 public:
  bool recording() const override { return true; }
  void Produce(const uint8_t*, const int16_t*, int) override {
    std::unique_lock lock(mutex_);
    entered_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
  }
  int NextOutputPart() override { return 0; }
  double OutputSizeMb() const override { return 0; }
  void WaitEntered() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return entered_; });
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool entered_ = false;
  bool released_ = false;
};

TEST(PlaybackGraphStopTest, ClosingAfterAStopTimedOutLeavesTheStuckGraphAlone) {
  test::TempWorld world;
  ScriptedMessageBox box;
  ScopedMessageBox installed(&box);
  const std::string path = world.Path("clip.mp4");
  ASSERT_EQ(test::WriteClip(path, test::ClipRecipe{}), "");
  OutputConfig output;
  output.width = 320;
  output.height = 240;
  output.out_frame_rate = 25;
  RecordingClock clock;
  BlockingTarget target;
  test::FakeHost capture_host;
  CaptureStage capture(&clock, &target, &capture_host);
  FakeView view;
  PlaybackControl control(&clock, &capture, &target, &view);
  PlaybackControl::Timeouts timeouts;
  timeouts.stop = std::chrono::milliseconds(50);
  timeouts.before_stop = timeouts.before_stop_again = std::chrono::milliseconds(0);
  control.set_timeouts(timeouts);
  FakeGraphHost host;
  {
    PlaybackGraph graph(&capture, &clock, &control, &host);
    graph.set_source_path(path);
    ASSERT_EQ(graph.BuildPlaybackGraph(), 0);
    capture.SetOutput(output);
    capture.BeginRecording(false);
    graph.SetFreeRunning(true);
    ASSERT_EQ(control.PlayMovie(), 0);
    target.WaitEntered();

    control.StopMovie();
    ASSERT_TRUE(control.stop_timed_out());
    // Returns although the graph's stop is still stuck in the callback.
    media::FilterGraph* stuck = graph.graph();
    graph.ClosePlaybackGraph();
    EXPECT_EQ(graph.graph(), nullptr);
    EXPECT_EQ(control.state(), kClosed);
    EXPECT_TRUE(test::TraceHas("CloseDVDVolume finished"));

    target.Release();
    // The stuck graph was kept: waiting for its stop is safe.
    stuck->Stop();
    ASSERT_EQ(graph.BuildPlaybackGraph(), 0);
    EXPECT_FALSE(control.stop_timed_out());
    EXPECT_TRUE(graph.source_ready());
  }
}

// --- Files the graph cannot play. ---

struct BadInput {
  const char* name;
  // Writes the file into `path`.
  std::function<void(const std::string& path, test::TempWorld& world)> write;
  const char* reason;  // part of the box text
};

void PrintTo(const BadInput& c, std::ostream* os) { *os << c.name; }

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void PutBigEndian(std::string* out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(value >> shift));
}

// A PNG picture whose header claims `side` × `side` pixels; its data is cut
// short.
std::string HugePng(uint32_t side) {
  std::string chunk = "IHDR";
  PutBigEndian(&chunk, side);
  PutBigEndian(&chunk, side);
  chunk += std::string("\x08\x02\x00\x00\x00", 5);
  const uint32_t crc =
      av_crc(av_crc_get_table(AV_CRC_32_IEEE_LE), 0xFFFFFFFFu,
             reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size()) ^
      0xFFFFFFFFu;
  std::string png("\x89PNG\r\n\x1a\n", 8);
  PutBigEndian(&png, 13);
  png += chunk;
  PutBigEndian(&png, crc);
  PutBigEndian(&png, 16);
  png += "IDAT";
  png += std::string(16, '\x00');
  PutBigEndian(&png, 0);
  return png;
}

class BadInputTest : public PlaybackGraphTest, public testing::WithParamInterface<BadInput> {};

TEST_P(BadInputTest, FailsWithAMessageAndTheNextFileOpens) {
  const std::string path = world_.Path(std::string("bad_") + GetParam().name);
  GetParam().write(path, world_);

  const int32_t result = Open(path);
  EXPECT_LT(result, 0);
  EXPECT_FALSE(graph_.source_ready());
  EXPECT_FALSE(host_.busy());
  ASSERT_EQ(box_.Texts().size(), 1u);
  EXPECT_NE(box_.Texts()[0].find(path), std::string::npos) << box_.Texts()[0];
  EXPECT_NE(box_.Texts()[0].find(GetParam().reason), std::string::npos) << box_.Texts()[0];
  EXPECT_TRUE(test::TraceHas("Cannot open " + path));

  box_.Clear();
  ASSERT_EQ(Open(Clip("good.mp4", test::ClipRecipe{})), 0);
  EXPECT_TRUE(graph_.source_ready());
  EXPECT_TRUE(box_.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadInputTest,
    testing::Values(
        BadInput{"missing", [](const std::string&, test::TempWorld&) {}, "does not exist"},
        BadInput{"zero_bytes", [](const std::string& p, test::TempWorld&) { WriteBytes(p, ""); },
                 "not a video"},
        BadInput{"text",
                 [](const std::string& p, test::TempWorld&) {
                   WriteBytes(p, std::string(4000, 'x') + "\nnot a movie at all\n");
                 },
                 "not a video"},
        BadInput{"subtitles_only",
                 [](const std::string& p, test::TempWorld&) {
                   WriteBytes(p + ".srt", "1\n00:00:00,000 --> 00:00:01,000\nhello\n\n");
                   std::rename((p + ".srt").c_str(), p.c_str());
                 },
                 "not a video"},
        BadInput{"truncated",
                 [](const std::string& p, test::TempWorld& world) {
                   test::ClipRecipe clip_recipe;
                   const std::string whole = world.Path("whole.mp4");
                   ASSERT_EQ(test::WriteClip(whole, clip_recipe), "");
                   WriteBytes(p, ReadBytes(whole).substr(0, 2000));
                 },
                 "not a video"},
        BadInput{"unknown_codec",
                 [](const std::string& p, test::TempWorld& world) {
                   test::ClipRecipe clip_recipe;
                   clip_recipe.container = test::ClipContainer::kAvi;
                   clip_recipe.has_audio = false;
                   const std::string whole = world.Path("whole.avi");
                   ASSERT_EQ(test::WriteClip(whole, clip_recipe), "");
                   std::string bytes = ReadBytes(whole);
                   // Rename the video codec in both stream headers.
                   const size_t strf = bytes.find("strf");
                   ASSERT_NE(strf, std::string::npos);
                   const size_t strh = bytes.find("strh");
                   ASSERT_NE(strh, std::string::npos);
                   std::memcpy(&bytes[strh + 12], "QQZZ", 4);
                   std::memcpy(&bytes[strf + 8 + 16], "QQZZ", 4);
                   WriteBytes(p, bytes);
                 },
                 "decoded"},
        BadInput{"huge_picture",
                 [](const std::string& p, test::TempWorld&) { WriteBytes(p, HugePng(16000)); },
                 "too large"}),
    [](const testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ovc
