// The title that the transfer window shows and edits, on files made by our
// own PSP output: the writer stores it where the reader looks, and a new
// title of any length leaves the file playing to its full length.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/scripted_message_box.h"
#include "engine/record/format_output_factory.h"
#include "engine/record/recording_session.h"
#include "support/command_output.h"
#include "support/temp_world.h"
#include "transfer/mp4_title.h"

namespace ovc {
namespace {

constexpr int kFrames = 60;  // 2 s at 29.97 fps

std::string RecordPspClip(const std::string& path, const std::string& title) {
  OutputConfig output;
  output.format = kFormatMp4;
  output.device_kind = kDevicePsp;
  output.title = title;
  output.width = 320;
  output.height = 240;
  output.out_frame_rate = 29.97;
  output.video_bitrate = 500;
  output.audio_bitrate = 128;
  output.audio_output_freq = 48000;
  output.audio_channels = 2;
  output.input_sample_rate = 48000;
  output.input_channels = 2;
  FormatOutputFactory factory(nullptr);
  RecordingSession session(&output, &factory, 2);
  session.set_output_path(path);
  if (session.OpenOutput(false) != 0) return "open failed";
  session.StartProducers();
  // 4:2:0 frames: a moving luma ramp on grey.
  std::vector<uint8_t> frame(320 * 240 * 3 / 2, 0x80);
  std::vector<int16_t> pcm(1602 * 2, 0);
  for (int i = 0; i < kFrames; ++i) {
    for (size_t p = 0; p < 320 * 240; ++p) frame[p] = static_cast<uint8_t>((p + i * 3) & 0xff);
    session.Produce(frame.data(), pcm.data(), i % 5 == 4 ? 1601 : 1602);
  }
  session.StopProducers();
  session.FinishOutput();
  return "";
}

TEST(OwnPspOutputTitle, ReadsAndRewritesTheTitleOurWriterStored) {
  test::TempWorld world;
  ScriptedMessageBox box;
  ScopedMessageBox installed(&box);
  std::string path = world.Path("M4V00001.MP4");
  ASSERT_EQ(RecordPspClip(path, "Holiday clip"), "");
  ASSERT_TRUE(box.Texts().empty()) << box.Texts()[0];
  EXPECT_EQ(ReadMp4Title(path), "Holiday clip");

  for (const std::u16string& title :
       {std::u16string(u"A much longer title than the one the clip was made with"),
        std::u16string(u"Short"), std::u16string(u"Wide \u00e9t\u00e9 title")}) {
    std::u16string old_title;
    ASSERT_EQ(ReadMp4TitleText(path, &old_title), Mp4TitleStatus::kOk);
    auto before = static_cast<long>(std::filesystem::file_size(path));
    ASSERT_EQ(WriteMp4Title(path, title), Mp4TitleStatus::kOk);
    std::u16string stored;
    ASSERT_EQ(ReadMp4TitleText(path, &stored), Mp4TitleStatus::kOk);
    EXPECT_EQ(stored, title);
    // The title is kept as UTF-16: the file grows or shrinks by two bytes
    // for each unit the title gains or loses.
    EXPECT_EQ(static_cast<long>(std::filesystem::file_size(path)) - before,
              2 * (static_cast<long>(title.size()) - static_cast<long>(old_title.size())));
    EXPECT_EQ(test::ProbeEntry(path, "v:0", "stream=nb_read_frames"), std::to_string(kFrames));
    EXPECT_NE(test::ProbeEntry(path, "a:0", "stream=nb_read_frames"), "");
  }
}

}  // namespace
}  // namespace ovc
