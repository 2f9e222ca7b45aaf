#include "engine/record/recording_session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "common/scripted_message_box.h"
#include "engine/record/fake_output.h"
#include "engine/record/profile.h"
#include "settings/settings_store.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

using test::FakeFactory;
using test::OutputRecord;

OutputConfig SmallConfig() {
  OutputConfig output;
  output.width = 32;
  output.height = 16;
  output.out_frame_rate = 15;
  output.input_sample_rate = 48000;
  output.input_channels = 2;
  return output;
}

std::vector<uint8_t> Frame(int id, const OutputConfig& output) {
  std::vector<uint8_t> frame(static_cast<size_t>(output.width) * output.height * 2, 0);
  std::memcpy(frame.data(), &id, sizeof id);
  return frame;
}

class RecordingSessionTest : public testing::Test {
 protected:
  test::TempWorld world_;
  ScriptedMessageBox box_;
  ScopedMessageBox installed_{&box_};
  FakeFactory factory_;
  OutputConfig output_ = SmallConfig();
};

TEST_F(RecordingSessionTest, DecliningToOverwriteLeavesEverythingAlone) {
  std::string path = world_.Path("movie.avi");
  test::WriteFile(path, "precious");
  RecordingSession session(&output_, &factory_, 2);
  session.set_output_path(path);
  box_.Answer(kButtonNo);
  EXPECT_EQ(session.OpenOutput(false), -1);
  EXPECT_EQ(box_.Texts(), std::vector<std::string>{path + " already exists. Overwrite?"});
  EXPECT_EQ(box_.Shown()[0].buttons, kButtonsYesNo);
  EXPECT_TRUE(factory_.opened_paths.empty());
  EXPECT_EQ(test::ReadFile(path), "precious");
  EXPECT_FALSE(session.recording());
}

TEST_F(RecordingSessionTest, AFailedOpenReturnsMinusOne) {
  factory_.fail = true;
  RecordingSession session(&output_, &factory_, 2);
  session.set_output_path(world_.Path("movie.avi"));
  EXPECT_EQ(session.OpenOutput(false), -1);
}

TEST_F(RecordingSessionTest, TheSourceIsRefusedBeforeAnyQuestionUnderAnySpelling) {
  const std::string source = world_.Path("movie.avi");
  test::WriteFile(source, "precious");
  std::filesystem::create_hard_link(source, world_.Path("linked.avi"));
  std::filesystem::create_symlink(source, world_.Path("name - 04.avi"));
  for (const std::string& output :
       {world_.Path("./movie.avi"), world_.Path("linked.avi"), world_.Path("name.avi")}) {
    SCOPED_TRACE(output);
    box_.Clear();
    RecordingSession session(&output_, &factory_, 2);
    session.set_source_path(source);
    session.set_output_path(output);
    box_.Answer(kButtonYes);
    EXPECT_EQ(session.OpenOutput(false), -1);
    ASSERT_EQ(box_.Texts().size(), 1u);
    EXPECT_NE(box_.Texts()[0].find(" is the file being converted; choose another output folder"),
              std::string::npos)
        << box_.Texts()[0];
  }
  EXPECT_TRUE(factory_.opened_paths.empty());
  EXPECT_EQ(test::ReadFile(source), "precious");
}

TEST_F(RecordingSessionTest, AFileAnotherConversionWritesIsRefused) {
  const std::string path = world_.Path("movie.avi");
  RecordingSession first(&output_, &factory_, 2);
  first.set_output_path(path);
  ASSERT_EQ(first.OpenOutput(false), 0);
  RecordingSession second(&output_, &factory_, 2);
  second.set_output_path(path);
  box_.Answer(kButtonYes);
  EXPECT_EQ(second.OpenOutput(false), -1);
  EXPECT_EQ(box_.Texts().back(), path + " is being written by another conversion; choose " +
                                     "another output folder or name");
  first.FinishOutput();
  box_.Answer(kButtonYes);
  EXPECT_EQ(second.OpenOutput(false), 0);
  second.FinishOutput();
}

TEST_F(RecordingSessionTest, ANumberedNameTakenMeanwhileMovesOnWithoutAsking) {
  // Another copy of the program took the first two numbers after this one
  // chose them: one finished its file, the other is still writing.
  const std::string finished = world_.Path("M4V00001.MP4");
  test::WriteFile(finished, "finished elsewhere");
  RecordingSession writing(&output_, &factory_, 2);
  writing.set_output_path(world_.Path("M4V00002.MP4"));
  ASSERT_EQ(writing.OpenOutput(false), 0);

  RecordingSession session(&output_, &factory_, 2);
  int next = 1;
  session.set_next_free_name(
      [&] { return world_.Path("M4V0000" + std::to_string(++next) + ".MP4"); });
  session.set_output_path(finished);
  box_.Answer(kButtonYes);  // were it asked, it would overwrite
  ASSERT_EQ(session.OpenOutput(false), 0);
  EXPECT_TRUE(box_.Texts().empty());
  EXPECT_EQ(session.output_path(), world_.Path("M4V00003.MP4"));
  EXPECT_EQ(session.part_paths(), std::vector<std::string>{world_.Path("M4V00003.MP4")});
  EXPECT_EQ(test::ReadFile(finished), "finished elsewhere");
  session.FinishOutput();
  writing.FinishOutput();

  // No free name left: refused with the reason, nothing overwritten.
  RecordingSession stuck(&output_, &factory_, 2);
  stuck.set_next_free_name([&] { return finished; });
  stuck.set_output_path(finished);
  EXPECT_EQ(stuck.OpenOutput(false), -1);
  ASSERT_EQ(box_.Texts().size(), 1u);
  EXPECT_NE(box_.Texts()[0].find("M4V00001.MP4 cannot be created"), std::string::npos);
  EXPECT_EQ(test::ReadFile(finished), "finished elsewhere");
}

// The file being written disappears: deleted, its folder removed, or
// another file put in its place. Writes into it would still succeed, into
// nothing; the session must notice at the next picture, tell the user
// once, stop feeding the file and not go on in a new part.
struct VanishCase {
  const char* name;
  void (*vanish)(const std::string& folder, const std::string& path);
};
void PrintTo(const VanishCase& c, std::ostream* os) { *os << c.name; }

class RecordingSessionVanish : public RecordingSessionTest,
                               public testing::WithParamInterface<VanishCase> {};

TEST_P(RecordingSessionVanish, TheNextPictureEndsTheFileOnce) {
  const std::string folder = world_.Path("out");
  std::filesystem::create_directory(folder);
  const std::string path = folder + "/movie.avi";
  output_.split_size = 1;  // a switch to the next part would come soon
  RecordingSession session(&output_, &factory_, 2);
  int told = 0;
  session.set_failure_listener([&] { ++told; });
  session.set_output_path(path);
  ASSERT_EQ(session.OpenOutput(false), 0);
  session.StartProducers();
  std::vector<int16_t> silence(3200 * 2, 0);
  for (int i = 0; i < 10; ++i) session.Produce(Frame(i, output_).data(), silence.data(), 3200);
  EXPECT_FALSE(session.output_failed());

  GetParam().vanish(folder, path);
  for (int i = 10; i < 200; ++i) session.Produce(Frame(i, output_).data(), silence.data(), 3200);
  EXPECT_EQ(session.NextOutputPart(), -1);
  session.StopProducers();
  session.FinishOutput();

  EXPECT_TRUE(session.output_failed());
  EXPECT_EQ(told, 1);
  EXPECT_EQ(box_.Texts(), std::vector<std::string>{"Could not write the output file.\n\n" + path +
                                                   "\nThe file or its folder is no longer there."});
  EXPECT_EQ(factory_.opened_paths, std::vector<std::string>{path});
  for (int id : factory_.outputs.front().frame_ids) EXPECT_LT(id, 10);

  // The next conversion starts with a sound output.
  std::filesystem::create_directories(folder);
  session.set_output_path(folder + "/next.avi");
  ASSERT_EQ(session.OpenOutput(false), 0);
  EXPECT_FALSE(session.output_failed());
  session.FinishOutput();
}

INSTANTIATE_TEST_SUITE_P(
    Ways, RecordingSessionVanish,
    testing::Values(
        VanishCase{"Deleted", [](const std::string&, const std::string& path) {
                     std::filesystem::remove(path);
                   }},
        VanishCase{"FolderRemoved", [](const std::string& folder, const std::string&) {
                     std::filesystem::remove_all(folder);
                   }},
        VanishCase{"Replaced", [](const std::string&, const std::string& path) {
                     test::WriteFile(path + ".new", "someone else's");
                     std::filesystem::rename(path + ".new", path);
                   }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordingSessionTest, APartThatCannotBeCreatedEndsTheOutput) {
  RecordingSession session(&output_, &factory_, 2);
  int told = 0;
  session.set_failure_listener([&] { ++told; });
  session.set_output_path(world_.Path("movie.avi"));
  ASSERT_EQ(session.OpenOutput(false), 0);
  session.StartProducers();
  factory_.fail = true;
  EXPECT_EQ(session.NextOutputPart(), -1);
  session.StopProducers();
  session.FinishOutput();
  EXPECT_TRUE(session.output_failed());
  EXPECT_EQ(told, 1);
}

TEST_F(RecordingSessionTest, AFailedConversionEndsInItsFirstPassAndTakesANewNumber) {
  output_.n_pass = 2;
  output_.pass = 2;
  output_.file_number = 7;
  RecordingSession session(&output_, &factory_, 2);
  int pass_mode_writes = 0;
  session.EndAfterFailure([&] { ++pass_mode_writes; });
  EXPECT_EQ(output_.pass, 1);
  EXPECT_EQ(pass_mode_writes, 1);
  EXPECT_EQ(output_.file_number, 8);
  EXPECT_EQ(ReadSettingInt("OutputConfig\\file_number", -1), 8);
}

struct PartsCase {
  const char* name;
  int processors;
  int n_pass;
  int pass;
};
void PrintTo(const PartsCase& c, std::ostream* os) { *os << c.name; }

class RecordingSessionParts : public RecordingSessionTest,
                              public testing::WithParamInterface<PartsCase> {};

TEST_P(RecordingSessionParts, SplitsIntoNumberedPartsWithoutLosingFrames) {
  output_.n_pass = GetParam().n_pass;
  output_.pass = GetParam().pass;
  // A dot in a folder name is not an extension.
  std::string folder = world_.Path("clips.2009");
  std::filesystem::create_directories(folder);
  RecordingSession session(&output_, &factory_, GetParam().processors);
  session.set_output_path(folder + "/name.avi");
  ASSERT_EQ(session.OpenOutput(false), 0);
  session.StartProducers();
  EXPECT_EQ(session.engine().threads_running(), GetParam().processors >= 2);

  std::vector<int16_t> period(3300 * 2, 100);
  for (int i = 0; i < 90; ++i) {
    auto frame = Frame(i, output_);
    session.Produce(frame.data(), period.data(), 3200);
    if (i == 29 || i == 59) {
      ASSERT_EQ(session.NextOutputPart(), 0);
    }
  }
  session.StopProducers();
  session.FinishOutput();

  EXPECT_EQ(factory_.opened_paths,
            (std::vector<std::string>{folder + "/name.avi", folder + "/name - 02.avi",
                                      folder + "/name - 03.avi"}));
  ASSERT_EQ(factory_.outputs.size(), 3u);
  std::vector<int> ids;
  long audio = 0;
  for (const OutputRecord& part : factory_.outputs) {
    EXPECT_TRUE(part.finished);
    ids.insert(ids.end(), part.frame_ids.begin(), part.frame_ids.end());
    audio += part.audio_frames;
  }
  ASSERT_EQ(ids.size(), 90u);
  for (int i = 0; i < 90; ++i) EXPECT_EQ(ids[i], i);
  EXPECT_EQ(factory_.outputs[0].frame_ids.size(), 30u);
  bool audio_on = !(GetParam().n_pass == 2 && GetParam().pass == 1);
  EXPECT_EQ(session.audio_enabled(), audio_on);
  if (audio_on) EXPECT_EQ(audio, 90L * 3200);
  else EXPECT_EQ(audio, 0);
}

INSTANTIATE_TEST_SUITE_P(Producers, RecordingSessionParts,
                         testing::Values(PartsCase{"TwoProcessors", 2, 1, 1},
                                         PartsCase{"OneProcessor", 1, 1, 1},
                                         PartsCase{"FirstOfTwoPasses", 2, 2, 1},
                                         PartsCase{"SecondOfTwoPasses", 1, 2, 2}),
                         [](const testing::TestParamInfo<PartsCase>& info) {
                           return info.param.name;
                         });

TEST_F(RecordingSessionTest, ExistingPartFileIsOnlyOverwrittenWhenTheUserAgrees) {
  std::string path = world_.Path("name.avi");
  test::WriteFile(world_.Path("name - 02.avi"), "old part");
  RecordingSession session(&output_, &factory_, 2);
  session.set_output_path(path);
  ASSERT_EQ(session.OpenOutput(false), 0);
  session.StartProducers();
  box_.Answer(kButtonNo);
  EXPECT_EQ(session.NextOutputPart(), -1);
  EXPECT_EQ(box_.Texts(),
            std::vector<std::string>{world_.Path("name - 02.avi") + " already exits. Overwrite?"});
  EXPECT_EQ(test::ReadFile(world_.Path("name - 02.avi")), "old part");
  // The recording goes on without a file and still stops cleanly.
  auto frame = Frame(1, output_);
  session.Produce(frame.data(), nullptr, 0);
  session.StopProducers();
  session.FinishOutput();
}

// The user interface may change its settings while a pass records (a batch
// stopped during its second pass sets one pass): the pass goes on with the
// settings it started with, so the part its first pass wrote is rewritten
// without asking.
TEST_F(RecordingSessionTest, APassKeepsTheSettingsItStartedWith) {
  output_.n_pass = 2;
  RecordingSession session(&output_, &factory_, 1);
  for (int pass = 1; pass <= 2; ++pass) {
    session.set_output_path(world_.Path("name.avi"));
    ASSERT_EQ(session.OpenOutput(false), 0);
    session.StartProducers();
    if (pass == 2) output_.n_pass = output_.pass = 1;
    ASSERT_EQ(session.NextOutputPart(), 0);
    session.StopProducers();
    session.FinishOutput();
    if (pass == 1) ASSERT_TRUE(session.AdvancePass({}));
  }
  EXPECT_EQ(box_.Texts(), std::vector<std::string>{});
  EXPECT_EQ(factory_.opened_paths.size(), 4u);
}

TEST_F(RecordingSessionTest, TwoPassesAlternateAndCountFinishedFiles) {
  output_.n_pass = 2;
  output_.file_number = 4;
  RecordingSession session(&output_, &factory_, 1);
  int pass_mode_writes = 0;
  auto write_mode = [&] { ++pass_mode_writes; };
  EXPECT_TRUE(session.AdvancePass(write_mode));
  EXPECT_EQ(output_.pass, 2);
  EXPECT_EQ(output_.file_number, 4);
  EXPECT_FALSE(session.AdvancePass(write_mode));
  EXPECT_EQ(output_.pass, 1);
  EXPECT_EQ(output_.file_number, 5);
  EXPECT_EQ(pass_mode_writes, 2);
  EXPECT_EQ(ReadSettingText("OutputConfig\\file_number", ""), "5");

  output_.n_pass = 1;
  EXPECT_FALSE(session.AdvancePass(write_mode));
  EXPECT_EQ(output_.file_number, 6);
  EXPECT_EQ(pass_mode_writes, 2);
}

TEST_F(RecordingSessionTest, TheStoredNumberNeverGoesBackBehindAnotherCopys) {
  // What another copy of the program stored while this one converted file 7.
  struct {
    int stored, expected;
  } cases[] = {{3, 8}, {8, 8}, {12, 12}, {90000, 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    WriteSettingInt("OutputConfig", "file_number", c.stored);
    output_.n_pass = 1;
    output_.file_number = 7;
    RecordingSession session(&output_, &factory_, 1);
    EXPECT_FALSE(session.AdvancePass(nullptr));
    EXPECT_EQ(output_.file_number, c.expected);
    EXPECT_EQ(ReadSettingInt("OutputConfig\\file_number", -1), c.expected);
  }
}

TEST_F(RecordingSessionTest, PspFilesGetThePspFrameGrid) {
  struct {
    int format;
    int device;
    double rate;
    double expected;
  } cases[] = {{kFormatMp4, kDevicePsp, 20, 29.97},  {kFormatMp4, kDevicePsp, 15, 14.985},
               {kFormatMp4, kDevicePsp, 29.97, 29.97}, {kFormatMp4, kDeviceIpod, 20, 20},
               {kFormat3gp, kDevicePsp, 20, 20},      {kFormatAvi, kDevicePsp, 20, 20}};
  for (const auto& c : cases) {
    output_.format = c.format;
    output_.device_kind = c.device;
    output_.out_frame_rate = c.rate;
    RecordingSession session(&output_, &factory_, 1);
    session.set_output_path(world_.Path("psp.MP4"));
    std::filesystem::remove(world_.Path("psp.MP4"));
    ASSERT_EQ(session.OpenOutput(false), 0);
    EXPECT_DOUBLE_EQ(output_.out_frame_rate, c.expected) << c.format << " " << c.rate;
    session.FinishOutput();
  }
}

struct ApplyCase {
  const char* name;
  std::string size;
  std::string vcodec;
  int expected_width;
  int expected_height;
};
void PrintTo(const ApplyCase& c, std::ostream* os) { *os << c.name; }

class ApplyProfileSize : public testing::TestWithParam<ApplyCase> {};

TEST_P(ApplyProfileSize, DerivesTheFrameSize) {
  OutputConfig output;
  output.source_width = 720;
  output.source_height = 576;
  output.aspect_x = 16;
  output.aspect_y = 9;
  CProfile profile;
  profile.s = GetParam().size;
  profile.vcodec = GetParam().vcodec;
  ApplyProfile(profile, &output);
  EXPECT_EQ(output.width, GetParam().expected_width);
  EXPECT_EQ(output.height, GetParam().expected_height);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ApplyProfileSize,
    testing::Values(ApplyCase{"Lower", "320x240", "mpeg4", 320, 240},
                    ApplyCase{"Upper", "320X240", "mpeg4", 320, 240},
                    ApplyCase{"FromSourceAspect", "", "mpeg4", 720, 400},
                    ApplyCase{"FromSourceWindowsMedia", "", "Windows Media Video 8", 720, 576},
                    ApplyCase{"NotANumber", "auto", "xvid", 720, 400}),
    [](const testing::TestParamInfo<ApplyCase>& info) { return info.param.name; });

TEST(ApplyProfile, CopiesRatesDeviceAndRange) {
  OutputConfig output;
  output.device_kind = kDeviceOtherPlayer;
  CProfile profile;
  profile.s = "480x272";
  profile.b = 768;
  profile.r = 29.97;
  profile.device = "iPod";
  profile.ab = 128;
  profile.ar = 48000;
  profile.ac = "1";
  profile.ss = 30;
  profile.t = 60;
  ProfileRange range = ApplyProfile(profile, &output);
  EXPECT_EQ(range.start, 30);
  EXPECT_EQ(range.end, 90);
  EXPECT_EQ(output.video_bitrate, 768.0f);
  EXPECT_DOUBLE_EQ(output.out_frame_rate, 29.97);
  EXPECT_EQ(output.device_kind, kDeviceIpod);
  EXPECT_EQ(output.audio_bitrate, 128);
  EXPECT_EQ(output.audio_output_freq, 48000);
  EXPECT_EQ(output.audio_channels, 1);

  profile.device = "mobile3gp";
  profile.t = 0;
  EXPECT_EQ(ApplyProfile(profile, &output).end, -1);
  EXPECT_EQ(output.device_kind, kDeviceIpod) << "other devices leave the kind unchanged";
}

TEST(NeedsResize, AnyChangeToThePictureNeedsTheScaler) {
  OutputConfig output;
  output.width = output.source_width = 320;
  output.height = output.source_height = 240;
  EXPECT_FALSE(NeedsResize(output, true));
  EXPECT_TRUE(NeedsResize(output, false));
  output.brightness_a = 12;
  EXPECT_TRUE(NeedsResize(output, true));
  output.brightness_a = 0;
  output.brightness_b = 1.12f;
  EXPECT_TRUE(NeedsResize(output, true));
  output.brightness_b = 1;
  output.height = 256;
  EXPECT_TRUE(NeedsResize(output, true));
}

}  // namespace
}  // namespace ovc
