// The capture stage feeding a real recording session.

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>

#include "common/scripted_message_box.h"
#include "engine/playback/capture_stage.h"
#include "engine/playback/capture_test_support.h"
#include "engine/record/fake_output.h"
#include "engine/record/recording_session.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

using media::ReferenceTime;
using test::UnitsAt;

constexpr int kWidth = 32;
constexpr int kHeight = 16;

using test::FakeFactory;
using test::OutputRecord;

class CaptureSessionTest : public testing::TestWithParam<int> {};

TEST_P(CaptureSessionTest, SplitsIntoNumberedPartsWithoutLosingAFrame) {
  test::TempWorld world;
  ScriptedMessageBox box;
  ScopedMessageBox installed(&box);
  OutputConfig output;
  output.width = kWidth;
  output.height = kHeight;
  output.out_frame_rate = 25;
  output.split_size = 1;  // MB: about 1,000 frames of the fake output
  output.format = kFormatFfmpegAvi;
  FakeFactory factory;
  RecordingSession session(&output, &factory, GetParam());
  session.set_output_path(world.Path("movie.avi"));

  test::FakeTicks ticks;
  RecordingClock clock(&ticks);
  SessionRecordingTarget target(&session);
  test::FakeHost host;
  CaptureStage stage(&clock, &target, &host);
  test::FakeSample video_type({}, test::Yuy2Type(kWidth, kHeight, 400000));
  test::FakeSample audio_type({}, test::PcmType(48000, 2));
  stage.AdoptVideoType(&video_type);
  stage.AdoptAudioType(&audio_type);

  stage.source_audio_format().ApplyTo(&output);
  ASSERT_EQ(session.OpenOutput(false), 0);
  stage.SetOutput(output);
  stage.BeginRecording(false);
  session.StartProducers();
  const int pictures = 2500;
  std::vector<int16_t> block(2 * 1920, 100);
  for (int i = 0; i < pictures; ++i) {
    std::vector<uint8_t> audio_bytes(block.size() * 2);
    std::memcpy(audio_bytes.data(), block.data(), audio_bytes.size());
    test::FakeSample audio(std::move(audio_bytes));
    ReferenceTime start = UnitsAt(i, 25), stop = UnitsAt(i + 1, 25);
    stage.OnAudioSample(audio, &start, &stop, 0, 0);
    test::FakeSample picture(test::PictureWithId(i, kWidth, kHeight));
    stage.OnVideoSample(picture, &start, &stop, 0, 0);
  }
  stage.PassCaptureLock();
  session.StopProducers();
  session.FinishOutput();

  ASSERT_GE(factory.outputs.size(), 3u);
  EXPECT_EQ(factory.outputs[0].path, world.Path("movie.avi"));
  EXPECT_EQ(factory.outputs[1].path, world.Path("movie - 02.avi"));
  EXPECT_EQ(factory.outputs[2].path, world.Path("movie - 03.avi"));
  std::vector<int> ids;
  long audio_frames = 0;
  for (const OutputRecord& record : factory.outputs) {
    ids.insert(ids.end(), record.frame_ids.begin(), record.frame_ids.end());
    audio_frames += record.audio_frames;
    // No part grows beyond the limit.
    EXPECT_LE(record.frame_ids.size(), 1024u) << record.path;
  }
  ASSERT_EQ(ids.size(), static_cast<size_t>(pictures));
  for (int i = 0; i < pictures; ++i) ASSERT_EQ(ids[i], i);
  EXPECT_NEAR(audio_frames, pictures * 1920.0, 1920.0);
  EXPECT_TRUE(box.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(Producers, CaptureSessionTest, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& info) {
                           return info.param == 1 ? std::string("Inline")
                                                  : std::string("Threads");
                         });

}  // namespace
}  // namespace ovc
