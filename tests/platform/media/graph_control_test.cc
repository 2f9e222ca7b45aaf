// The graph's shape after RenderFile, the pin operations a repair of the
// video path needs, and Stop against a callback that blocks.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/media/filter_graph.h"
#include "platform/media/grabber_filter.h"
#include "platform/media/media_test_support.h"
#include "support/clip_generator.h"
#include "support/command_output.h"
#include "support/temp_world.h"

namespace ovc::media::test {
namespace {

using ovc::test::ClipContainer;
using ovc::test::ClipRecipe;

ClipRecipe SmallClip() {
  ClipRecipe clip_recipe;
  clip_recipe.width = 160;
  clip_recipe.height = 120;
  clip_recipe.seconds = 1.0;
  return clip_recipe;
}

// "name: pin->peer-filter, pin (unconnected) …" for every filter, so one
// comparison shows the whole graph.
std::vector<std::string> Describe(const FilterGraph& graph, const std::string& path) {
  std::vector<std::string> lines;
  for (const Filter* filter : graph.Filters()) {
    std::string line = filter->name() == path ? "<source>" : filter->name();
    line += ":";
    for (const auto& pin : filter->pins()) {
      line += " " + pin->name();
      if (const Pin* peer = pin->ConnectedTo()) {
        line += (pin->direction() == PinDirection::kOutput ? "->" : "<-") +
                (peer->filter()->name() == path ? "<source>" : peer->filter()->name());
      } else {
        line += "(-)";
      }
    }
    lines.push_back(line);
  }
  return lines;
}

struct ShapeCase {
  std::string name;
  bool has_video;
  bool has_audio;
  std::vector<std::string> graph;
};
void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

const ShapeCase kShapeCases[] = {
    {"AudioAndVideo",
     true,
     true,
     {"Video Grabber: In<-Video Decoder Out->Video Renderer",
      "Audio Grabber: In<-Audio Decoder Out->Audio Renderer",
      "<source>: Video->Video Decoder Audio->Audio Decoder",
      "Video Decoder: In<-<source> Out->Video Grabber", "Video Renderer: In<-Video Grabber",
      "Audio Decoder: In<-<source> Out->Audio Grabber", "Audio Renderer: In<-Audio Grabber"}},
    {"AudioOnlyLeavesTheVideoGrabberUnconnected",
     false,
     true,
     {"Video Grabber: In(-) Out(-)", "Audio Grabber: In<-Audio Decoder Out->Audio Renderer",
      "<source>: Audio->Audio Decoder", "Audio Decoder: In<-<source> Out->Audio Grabber",
      "Audio Renderer: In<-Audio Grabber"}},
    {"VideoOnlyLeavesTheAudioGrabberUnconnected",
     true,
     false,
     {"Video Grabber: In<-Video Decoder Out->Video Renderer", "Audio Grabber: In(-) Out(-)",
      "<source>: Video->Video Decoder", "Video Decoder: In<-<source> Out->Video Grabber",
      "Video Renderer: In<-Video Grabber"}},
};

class GraphShapeTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(GraphShapeTest, RenderFileRoutesEachStreamThroughItsGrabber) {
  const ShapeCase& c = GetParam();
  ovc::test::TempWorld world;
  ClipRecipe clip_recipe = SmallClip();
  clip_recipe.has_video = c.has_video;
  clip_recipe.has_audio = c.has_audio;
  const std::string path = world.Path("clip.mp4");
  ASSERT_EQ(ovc::test::WriteClip(path, clip_recipe), "");

  FilterGraph graph;
  auto video = std::make_shared<VideoGrabber>();
  auto audio = std::make_shared<AudioGrabber>();
  graph.AddFilter(video, "Video Grabber");
  graph.AddFilter(audio, "Audio Grabber");
  ASSERT_EQ(graph.RenderFile(path), kOk);
  EXPECT_EQ(Describe(graph, path), c.graph);
  MediaType type;
  EXPECT_EQ(Succeeded(video->GetConnectedMediaType(&type)), c.has_video);
  EXPECT_EQ(Succeeded(audio->GetConnectedMediaType(&type)), c.has_audio);

  // What is connected plays to the end.
  GrabberRecorder recorder(video.get(), audio.get());
  StopOnExit stop(graph);
  graph.SetFreeRunning(true);
  ASSERT_EQ(graph.Run(), kOk);
  ASSERT_EQ(WaitForEvent(graph), kEventComplete);
  graph.Stop();
  EXPECT_EQ(recorder.video().size(), c.has_video ? 25u : 0u);
  EXPECT_EQ(recorder.audio().empty(), !c.has_audio);
}

INSTANTIATE_TEST_SUITE_P(Files, GraphShapeTest, ::testing::ValuesIn(kShapeCases),
                         [](const auto& info) { return info.param.name; });

TEST(GraphTest, UnplayableFilesLeaveTheGraphAsItWas) {
  ovc::test::TempWorld world;
  ovc::test::WriteFile(world.Path("notes.mp4"), "this is not a video file\n");
  FilterGraph graph;
  EXPECT_EQ(graph.RenderFile(world.Path("missing.mp4")), kErrorFileNotFound);
  EXPECT_EQ(graph.RenderFile(world.Path("notes.mp4")), kErrorUnknownFileType);
  // Neither a pipe (whose opening would wait for a writer), a device nor a
  // folder is opened.
  const std::string pipe = world.Path("pipe.mp4");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const std::string& path : {pipe, std::string("/dev/null"), world.root()})
    EXPECT_EQ(graph.RenderFile(path), kErrorNotAFile) << path;
  EXPECT_TRUE(graph.Filters().empty());
  double duration = -1;
  graph.GetDuration(&duration);
  EXPECT_EQ(duration, 0.0);
}

TEST(GraphTest, AnAbortedRenderOpensNothing) {
  ovc::test::TempWorld world;
  const std::string path = world.Path("clip.mp4");
  ASSERT_EQ(ovc::test::WriteClip(path, ovc::test::ClipRecipe{}), "");
  FilterGraph graph;
  graph.AbortRender();
  EXPECT_EQ(graph.RenderFile(path), kErrorAbort);
  EXPECT_TRUE(graph.Filters().empty());
}

TEST(GraphTest, VideoPathCanBeRoutedThroughAGrabberAddedLater) {
  ovc::test::TempWorld world;
  const std::string path = world.Path("clip.mkv");
  ClipRecipe clip_recipe = SmallClip();
  clip_recipe.container = ClipContainer::kMkv;
  ASSERT_EQ(ovc::test::WriteClip(path, clip_recipe), "");

  FilterGraph graph;
  ASSERT_EQ(graph.RenderFile(path), kOk);
  Filter* renderer = graph.FindFilterByName("Video Renderer");
  Filter* decoder = graph.FindFilterByName("Video Decoder");
  ASSERT_NE(renderer, nullptr);
  ASSERT_NE(decoder, nullptr);
  Pin* renderer_in = renderer->FindPin("In");
  Pin* decoder_out = renderer_in->ConnectedTo();
  ASSERT_EQ(decoder_out, decoder->FindPin("Out"));

  auto grabber = std::make_shared<VideoGrabber>();
  ASSERT_EQ(graph.AddFilter(grabber, "Video Grabber"), kOk);
  EXPECT_EQ(graph.Disconnect(renderer_in), kOk);
  EXPECT_EQ(graph.Disconnect(decoder_out), kFalse) << "already apart";
  // Pictures do not go into the audio grabber.
  auto audio_grabber = std::make_shared<AudioGrabber>();
  graph.AddFilter(audio_grabber, "Audio Grabber");
  EXPECT_EQ(graph.Connect(decoder_out, audio_grabber->in()), kErrorTypeNotAccepted);
  EXPECT_EQ(graph.RemoveFilter(audio_grabber.get()), kOk);

  ASSERT_EQ(graph.Connect(decoder_out, grabber->FindPin("In")), kOk);
  ASSERT_EQ(graph.Render(grabber->FindPin("Out")), kOk);
  EXPECT_EQ(renderer_in->ConnectedTo(), grabber->FindPin("Out")) << "the free renderer is reused";
  EXPECT_EQ(graph.FindFilterByName("Video Renderer 0001"), nullptr);

  GrabberRecorder recorder(grabber.get(), nullptr);
  StopOnExit stop(graph);
  graph.SetFreeRunning(true);
  ASSERT_EQ(graph.Run(), kOk);
  EXPECT_EQ(graph.Connect(decoder_out, renderer_in), kErrorNotStopped);
  ASSERT_EQ(WaitForEvent(graph), kEventComplete);
  graph.Stop();
  const std::vector<VideoRecord> pictures = recorder.video();
  ASSERT_EQ(pictures.size(), 25u);
  EXPECT_EQ(pictures.back().frame_number, 24);
}

TEST(GraphTest, TakenNamesGetANumber) {
  FilterGraph graph;
  auto first = std::make_shared<VideoGrabber>();
  auto second = std::make_shared<VideoGrabber>();
  auto third = std::make_shared<VideoGrabber>();
  EXPECT_EQ(graph.AddFilter(first, "Video Renderer"), kOk);
  EXPECT_EQ(graph.AddFilter(second, "Video Renderer"), kOk);
  EXPECT_EQ(graph.AddFilter(third, "Video Renderer"), kOk);
  EXPECT_EQ(graph.AddFilter(third, "Again"), kErrorInvalidArg);
  EXPECT_EQ(first->name(), "Video Renderer");
  EXPECT_EQ(second->name(), "Video Renderer 0001");
  EXPECT_EQ(third->name(), "Video Renderer 0002");
  EXPECT_EQ(graph.RemoveFilter(second.get()), kOk);
  EXPECT_EQ(second->name(), "");
  EXPECT_EQ(graph.FindFilterByName("Video Renderer 0001"), nullptr);
  EXPECT_EQ(graph.RemoveFilter(second.get()), kErrorNotFound);
}

// Stop must not return while a streaming thread is inside a callback: the
// capture relies on it. The audio stream, waiting on the clock, shows when
// Stop has begun: its wait is cancelled then.
TEST(GraphTest, StopReturnsOnlyAfterABlockedCallbackReturned) {
  ovc::test::TempWorld world;
  const std::string path = world.Path("clip.mp4");
  ASSERT_EQ(ovc::test::WriteClip(path, SmallClip()), "");
  FilterGraph graph;
  auto video = std::make_shared<VideoGrabber>();
  auto audio = std::make_shared<AudioGrabber>();
  graph.AddFilter(video, "Video Grabber");
  graph.AddFilter(audio, "Audio Grabber");
  ASSERT_EQ(graph.RenderFile(path), kOk);
  auto clock = std::make_shared<FakeClock>(0);
  graph.SetReferenceClock(clock);
  GrabberRecorder recorder(video.get(), audio.get());
  StopOnExit stop(graph);
  recorder.BlockVideoAt(0);

  ASSERT_EQ(graph.Run(), kOk);
  ASSERT_TRUE(recorder.WaitUntilBlocked());
  ASSERT_TRUE(clock->WaitForBlockedCount(1)) << "the audio waits for its second block";

  std::atomic<bool> stop_returned{false};
  bool callback_had_returned = false;
  std::thread stopper([&] {
    graph.Stop();
    callback_had_returned = recorder.callback_returned_after_block();
    stop_returned = true;
  });
  ASSERT_TRUE(clock->WaitForBlockedCount(0)) << "Stop released the audio stream";
  EXPECT_FALSE(stop_returned) << "Stop returned while a callback was still running";
  recorder.Release();
  stopper.join();
  EXPECT_TRUE(callback_had_returned);
  EXPECT_EQ(graph.GetState(), GraphState::kStopped);
  const size_t pictures = recorder.video().size();
  EXPECT_EQ(pictures, 1u) << "no picture starts down the graph once Stop began";
}

// Each grabber hears of its stream's end once, after its last sample.
TEST(GraphTest, EachGrabberHearsOfItsStreamsEndAfterItsLastSample) {
  ovc::test::TempWorld world;
  const std::string path = world.Path("clip.mp4");
  ASSERT_EQ(ovc::test::WriteClip(path, SmallClip()), "");
  FilterGraph graph;
  auto video = std::make_shared<VideoGrabber>();
  auto audio = std::make_shared<AudioGrabber>();
  graph.AddFilter(video, "Video Grabber");
  graph.AddFilter(audio, "Audio Grabber");
  ASSERT_EQ(graph.RenderFile(path), kOk);
  GrabberRecorder recorder(video.get(), audio.get());
  std::mutex mutex;
  std::vector<size_t> video_ends, audio_ends;  // samples seen at each end
  video->SetEndOfStreamCallback([&] {
    std::lock_guard lock(mutex);
    video_ends.push_back(recorder.video().size());
  });
  audio->SetEndOfStreamCallback([&] {
    std::lock_guard lock(mutex);
    audio_ends.push_back(recorder.audio().size());
  });
  StopOnExit stop(graph);
  graph.SetFreeRunning(true);
  ASSERT_EQ(graph.Run(), kOk);
  ASSERT_EQ(WaitForEvent(graph), kEventComplete);
  graph.Stop();
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(video_ends, std::vector<size_t>{recorder.video().size()});
    EXPECT_EQ(audio_ends, std::vector<size_t>{recorder.audio().size()});
  }
}

// An MPEG program stream's time stamps are missing on some pictures; going
// back to its start must not skip its first group of pictures.
TEST(GraphTest, PlayingAnMpegStreamAgainFromItsStartKeepsEveryPicture) {
  ovc::test::TempWorld world;
  const std::string path = world.Path("menu.mpg");
  ASSERT_EQ(ovc::test::CommandOutput("ffmpeg -v error -y -f lavfi -t 1 -i "
                                     "testsrc=size=160x120:rate=25 -c:v mpeg1video -g 12 '" +
                                     path + "' 2>&1"),
            "");
  FilterGraph graph;
  auto video = std::make_shared<VideoGrabber>();
  graph.AddFilter(video, "Video Grabber");
  ASSERT_EQ(graph.RenderFile(path), kOk);
  GrabberRecorder recorder(video.get(), nullptr);
  StopOnExit stop(graph);
  graph.SetFreeRunning(true);
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(graph.Run(), kOk);
    ASSERT_EQ(WaitForEvent(graph), kEventComplete);
    graph.Stop();
    graph.SetCurrentPosition(0);
  }
  const std::vector<VideoRecord> pictures = recorder.video();
  ASSERT_EQ(pictures.size(), 50u);
  EXPECT_EQ(pictures[25].start, 0) << "the second run starts at the first picture";
}

}  // namespace
}  // namespace ovc::media::test
