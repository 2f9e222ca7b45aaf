#include "engine/record/wmv_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/scripted_message_box.h"
#include "engine/record/wmv_streams.h"
#include "platform/wmf/wm_codecs.h"
#include "support/command_output.h"
#include "support/temp_world.h"
#include "support/i420_picture.h"

namespace ovc {
namespace {

using wmf::MajorType;

constexpr char kProfileFailed[] = "WMV Profile failed to initialize.";
constexpr char kCannotWrite[] =
    "Unable to Initialize Writing. Make sure the file/folder is NOT readonly and you have the "
    "permission to write.";

// --- Pure rules ------------------------------------------------------------------

struct FailureTextCase {
  const char* name;
  wmf::HResult hr;
  const char* text;
};
void PrintTo(const FailureTextCase& c, std::ostream* os) { *os << c.name; }

class BeginWritingFailureTextTest : public testing::TestWithParam<FailureTextCase> {};

TEST_P(BeginWritingFailureTextTest, NamesTheCause) {
  EXPECT_STREQ(BeginWritingFailureText(GetParam().hr), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Results, BeginWritingFailureTextTest,
    testing::Values(
        FailureTextCase{"OutOfMemory", 0x8007000E, "Out of memory. Unable to Initialize Writing."},
        FailureTextCase{"InvalidOutputFormat", 0xC00D0BBB,
                        "Invalid output format. Unable to Initialize Writing."},
        FailureTextCase{"AudioCodecNotInstalled", 0xC00D0BC2,
                        "Audio codec not installed. Unable to Initialize Writing."},
        FailureTextCase{"AudioCodecError", 0xC00D0BC3,
                        "Audio codec error. Unable to Initialize Writing."},
        FailureTextCase{"VideoCodecNotInstalled", 0xC00D0BC4,
                        "Video codec not installed. Unable to Initialize Writing."},
        FailureTextCase{"VideoCodecError", 0xC00D0BC5,
                        "Video codec error. Unable to Initialize Writing."},
        FailureTextCase{"AccessDenied", 0x80070005, kCannotWrite},
        FailureTextCase{"Unspecified", 0x80004005, kCannotWrite}),
    [](const testing::TestParamInfo<FailureTextCase>& info) { return info.param.name; });

struct AspectCase {
  const char* name;
  int width, height, aspect_x, aspect_y;
  bool set;
  uint32_t x, y;
};
void PrintTo(const AspectCase& c, std::ostream* os) { *os << c.name; }

class AspectRatioAttributesTest : public testing::TestWithParam<AspectCase> {};

TEST_P(AspectRatioAttributesTest, GivesThePixelShape) {
  const AspectCase& c = GetParam();
  uint32_t x = 0, y = 0;
  ASSERT_EQ(AspectRatioAttributes(c.width, c.height, c.aspect_x, c.aspect_y, &x, &y), c.set);
  if (!c.set) return;
  EXPECT_EQ(x, c.x);
  EXPECT_EQ(y, c.y);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, AspectRatioAttributesTest,
    testing::Values(AspectCase{"SquareFourThree", 320, 240, 4, 3, true, 1, 1},
                    AspectCase{"WideOnFourThree", 320, 240, 16, 9, true, 4, 3},
                    AspectCase{"NtscFourThree", 720, 480, 4, 3, true, 8, 9},
                    AspectCase{"PalWide", 720, 576, 16, 9, true, 64, 45},
                    AspectCase{"NoSourceAspect", 320, 240, 0, 0, false, 0, 0},
                    AspectCase{"NoFrame", 0, 240, 4, 3, false, 0, 0}),
    [](const testing::TestParamInfo<AspectCase>& info) { return info.param.name; });

// --- Files -------------------------------------------------------------------------

OutputConfig Config() {
  OutputConfig output;
  output.format = kFormatWmv;
  output.width = 320;
  output.height = 240;
  output.out_frame_rate = 29.97;
  output.video_bitrate = 500;
  output.input_sample_rate = 44100;
  output.input_channels = 2;
  output.aspect_x = 16;
  output.aspect_y = 9;
  return output;
}

std::vector<uint8_t> Frame(int width, int height, int index) {
  std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 2);
  for (size_t i = 0; i < frame.size(); i += 2) {
    size_t pixel = i / 2;
    frame[i] = static_cast<uint8_t>(128 + 90 * std::sin(pixel % width / 5.0 + index) *
                                               std::cos(pixel / width / 4.0 - index / 2.0));
    frame[i + 1] = static_cast<uint8_t>(pixel % 2 ? 110 : 150);
  }
  return test::I420FromYuy2(frame, width, height);
}

class WmvFileTest : public testing::Test {
 protected:
  std::unique_ptr<CWMVFile> Open(const OutputConfig& output, const std::string& path,
                                 const WmvCodecChoice& codecs = {}) {
    return std::make_unique<CWMVFile>(output, codecs, path, output.width, output.height,
                                      output.input_sample_rate, output.input_channels);
  }

  test::TempWorld world_;
  ScriptedMessageBox box_;
  ScopedMessageBox installed_{&box_};
};

TEST_F(WmvFileTest, BuildsAnAudioAndAVideoStream) {
  OutputConfig output = Config();
  auto file = Open(output, world_.Path("clip.wmv"));
  ASSERT_EQ(file->status(), 0) << file->error_text();
  EXPECT_EQ(file->audio_state(), 2);
  EXPECT_EQ(file->video_state(), 2);
  EXPECT_EQ(file->audio_input(), 0u);
  EXPECT_EQ(file->video_input(), 1u);

  auto profile = file->CopyProfile();
  ASSERT_TRUE(profile);
  EXPECT_EQ(profile->GetVersion(), wmf::kWmtVer90);
  EXPECT_EQ(profile->GetName(), "Profile");
  EXPECT_EQ(profile->GetDescription(), "Description");
  ASSERT_EQ(profile->GetStreamCount(), 2u);

  const wmf::WmStreamConfig& audio = profile->streams()[0];
  EXPECT_EQ(audio.GetStreamType(), MajorType::kAudio);
  EXPECT_EQ(audio.GetStreamNumber(), 1);
  EXPECT_EQ(audio.GetStreamName(), "Audio");
  EXPECT_EQ(audio.GetConnectionName(), "AudioConnect");
  EXPECT_EQ(audio.GetBitrate(), 64000u);
  EXPECT_EQ(audio.GetBufferWindow(), 3000u);
  EXPECT_EQ(audio.GetLanguage(), kDefaultLanguage);
  ASSERT_TRUE(audio.GetMediaType().wave_format());
  EXPECT_EQ(audio.GetMediaType().subtype, wmf::kSubtypeWmAudioV8);
  EXPECT_EQ(audio.GetMediaType().wave_format()->samples_per_sec, 44100u);
  EXPECT_EQ(audio.GetMediaType().wave_format()->channels, 2);

  const wmf::WmStreamConfig& video = profile->streams()[1];
  EXPECT_EQ(video.GetStreamType(), MajorType::kVideo);
  EXPECT_EQ(video.GetStreamNumber(), 2);
  EXPECT_EQ(video.GetStreamName(), "Video");
  EXPECT_EQ(video.GetConnectionName(), "VideoConnect");
  EXPECT_EQ(video.GetBitrate(), 500000u);
  EXPECT_EQ(video.GetBufferWindow(), 3000u);
  EXPECT_EQ(video.GetQuality(), 75u);
  EXPECT_EQ(video.GetMaxKeyFrameSpacing(), 20000000);
  EXPECT_EQ(video.GetMediaType().subtype, wmf::kSubtypeWmv2);
  const wmf::VideoInfoHeader* info = video.GetMediaType().video_info();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->source.right, 320);
  EXPECT_EQ(info->source.bottom, 240);
  EXPECT_EQ(info->target.right, 320);
  EXPECT_EQ(info->bit_rate, 500000u);
  // 29.97 frames per second keeps its exact period, not 1/29 s.
  EXPECT_EQ(info->avg_time_per_frame, 333667);
  EXPECT_EQ(info->bmi.width, 320);
  EXPECT_EQ(info->bmi.height, 240);
  EXPECT_EQ(info->bmi.image_size, 320u * 240 * 2);

  uint32_t x = 0, y = 0;
  ASSERT_TRUE(file->VideoAttribute(wmf::kAspectRatioX, &x));
  ASSERT_TRUE(file->VideoAttribute(wmf::kAspectRatioY, &y));
  EXPECT_EQ(x, 4u);
  EXPECT_EQ(y, 3u);

  EXPECT_EQ(file->Close(), wmf::kSOk);
  EXPECT_EQ(file->audio_state(), 0);
  EXPECT_FALSE(file->CopyProfile());
  EXPECT_TRUE(box_.Texts().empty());
}

TEST_F(WmvFileTest, TheChosenVideoCodecWritesTheStream) {
  WmvCodecChoice codecs;
  codecs.video_codec = "Windows Media Video 7";
  auto file = Open(Config(), world_.Path("clip.wmv"), codecs);
  ASSERT_EQ(file->status(), 0);
  EXPECT_EQ(file->CopyProfile()->streams()[1].GetMediaType().subtype, wmf::kSubtypeWmv1);
}

// Adds a codec to this machine's table for one case.
using MachineChange = void (*)(wmf::CodecTable*);

struct OpenFailureCase {
  const char* name;
  MachineChange machine;
  void (*change)(OutputConfig*, WmvCodecChoice*, std::string* path);
  const char* text;
  bool leaves_no_file;
};
void PrintTo(const OpenFailureCase& c, std::ostream* os) { *os << c.name; }

class WmvOpenFailureTest : public WmvFileTest,
                           public testing::WithParamInterface<OpenFailureCase> {};

TEST_P(WmvOpenFailureTest, IsShownOnceAndClosesEverything) {
  const OpenFailureCase& c = GetParam();
  wmf::CodecTable machine = wmf::DefaultCodecs();
  if (c.machine) c.machine(&machine);
  wmf::ScopedCodecTable installed(machine);
  OutputConfig output = Config();
  WmvCodecChoice codecs;
  std::string path = world_.Path("clip.wmv");
  c.change(&output, &codecs, &path);

  auto file = Open(output, path, codecs);
  EXPECT_EQ(file->status(), -1);
  EXPECT_EQ(file->error_text(), c.text);
  ASSERT_EQ(box_.Shown().size(), 1u);
  EXPECT_EQ(box_.Shown()[0].text, c.text);
  EXPECT_EQ(box_.Shown()[0].caption, "Error");
  EXPECT_EQ(box_.Shown()[0].kind, MessageKind::kError);
  EXPECT_EQ(file->audio_state(), 0);
  EXPECT_EQ(file->video_state(), 0);
  EXPECT_FALSE(file->CopyProfile());
  if (c.leaves_no_file) {
    EXPECT_FALSE(std::filesystem::exists(path));
  }

  // Writes to a file that never opened do nothing and say nothing.
  std::vector<uint8_t> frame(static_cast<size_t>(output.width) * output.height * 2);
  EXPECT_EQ(file->WriteVideo(0, frame.data()), wmf::kEFail);
  EXPECT_EQ(file->WriteAudio(0, frame.data(), 400), wmf::kEFail);
  EXPECT_EQ(box_.Shown().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, WmvOpenFailureTest,
    testing::Values(
        OpenFailureCase{"MissingFolder", nullptr,
                        [](OutputConfig*, WmvCodecChoice*, std::string* path) {
                          *path = std::filesystem::path(*path).parent_path() / "gone/clip.wmv";
                        },
                        "Unable to Set Output Filename. Make sure the folder exists and you have "
                        "permissions to write.\n\nYou may change the output location in File "
                        "Menu.",
                        true},
        OpenFailureCase{"FolderInThePlaceOfTheFile", nullptr,
                        [](OutputConfig*, WmvCodecChoice*, std::string* path) {
                          std::filesystem::create_directories(*path);
                        },
                        kCannotWrite, false},
        OpenFailureCase{"PathIsNotText", nullptr,
                        [](OutputConfig*, WmvCodecChoice*, std::string* path) {
                          *path += "\xff.wmv";
                        },
                        "Unable to Convert Output Filename", true},
        OpenFailureCase{"UnknownVideoCodec", nullptr,
                        [](OutputConfig*, WmvCodecChoice* codecs, std::string*) {
                          codecs->video_codec = "Windows Media Video 9";
                        },
                        kProfileFailed, true},
        OpenFailureCase{"UnknownAudioFormat", nullptr,
                        [](OutputConfig*, WmvCodecChoice* codecs, std::string*) {
                          codecs->audio_format = "64 kbps, 44 kHz, stereo (A/V) CBR";
                        },
                        kProfileFailed, true},
        OpenFailureCase{"NoWholeFrameRate", nullptr,
                        [](OutputConfig* output, WmvCodecChoice*, std::string*) {
                          output->out_frame_rate = 0.5;
                        },
                        kProfileFailed, true},
        OpenFailureCase{"NoVideoBitRate", nullptr,
                        [](OutputConfig* output, WmvCodecChoice*, std::string*) {
                          output->video_bitrate = 0;
                        },
                        "Invalid output format. Unable to Initialize Writing.", true},
        OpenFailureCase{"VideoCodecNotInstalled",
                        [](wmf::CodecTable* machine) {
                          machine->push_back(wmf::Codec{"Windows Media Video 9", MajorType::kVideo,
                                                        wmf::kSubtypeWmv3, "wmv3", {}});
                        },
                        [](OutputConfig*, WmvCodecChoice* codecs, std::string*) {
                          codecs->video_codec = "Windows Media Video 9";
                        },
                        "Video codec not installed. Unable to Initialize Writing.", true},
        OpenFailureCase{"AudioCodecNotInstalled",
                        [](wmf::CodecTable* machine) {
                          machine->insert(machine->begin(),
                                          wmf::Codec{"Windows Media Audio 9.2 Professional",
                                                     MajorType::kAudio, 0x0162, "wmapro",
                                                     {{"64 kbps, 44 kHz, stereo CBR", 64000,
                                                       44100, 2, 16, false}}});
                        },
                        [](OutputConfig*, WmvCodecChoice*, std::string*) {},
                        "Audio codec not installed. Unable to Initialize Writing.", true},
        OpenFailureCase{"AudioCodecRefusesTheFormat",
                        [](wmf::CodecTable* machine) {
                          machine->front().formats.insert(
                              machine->front().formats.begin(),
                              {"8 kbps, 8 kHz, mono CBR", 8000, 8000, 1, 16, false});
                        },
                        [](OutputConfig*, WmvCodecChoice* codecs, std::string*) {
                          codecs->audio_format = "8 kbps, 8 kHz, mono CBR";
                        },
                        "Audio codec error. Unable to Initialize Writing.", true},
        OpenFailureCase{"NoAudioChannels", nullptr,
                        [](OutputConfig* output, WmvCodecChoice*, std::string*) {
                          output->input_channels = 0;
                        },
                        "Unable to Set Audio Input Properties for Media Writer", true},
        OpenFailureCase{"OddFrameWidth", nullptr,
                        [](OutputConfig* output, WmvCodecChoice*, std::string*) {
                          output->width = 321;
                        },
                        "Unable to Set Video Input Properties for Media Writer", true}),
    [](const testing::TestParamInfo<OpenFailureCase>& info) { return info.param.name; });

TEST_F(WmvFileTest, WritesAfterCloseDoNothing) {
  OutputConfig output = Config();
  auto file = Open(output, world_.Path("clip.wmv"));
  ASSERT_EQ(file->status(), 0);
  auto frame = Frame(output.width, output.height, 0);
  EXPECT_EQ(file->WriteVideo(0, frame.data()), wmf::kSOk);
  EXPECT_EQ(file->Close(), wmf::kSOk);
  EXPECT_EQ(file->WriteVideo(1 / 29.97, frame.data()), wmf::kEFail);
  EXPECT_EQ(file->WriteAudio(0, frame.data(), 4000), wmf::kEFail);
  EXPECT_EQ(file->Close(), wmf::kSOk);
  EXPECT_TRUE(box_.Texts().empty());
}

TEST_F(WmvFileTest, AFailedWriteIsShownOnceAndClosesTheFile) {
  OutputConfig output = Config();
  std::string path = world_.Path("clip.wmv");
  auto file = Open(output, path);
  ASSERT_EQ(file->status(), 0);
  auto frame = Frame(output.width, output.height, 0);
  ASSERT_EQ(file->WriteVideo(0, frame.data()), wmf::kSOk);
  // Three bytes are no whole sample frame of 16-bit stereo.
  EXPECT_TRUE(wmf::Failed(file->WriteAudio(0, frame.data(), 3)));
  EXPECT_EQ(box_.Texts(), std::vector<std::string>{"Unable to Audio Write Frame"});
  EXPECT_TRUE(file->failed());
  EXPECT_EQ(file->video_state(), 0);
  EXPECT_EQ(file->WriteVideo(1 / 29.97, frame.data()), wmf::kEFail);
  EXPECT_EQ(box_.Texts().size(), 1u);
  // What was written before is a whole file.
  EXPECT_GT(std::filesystem::file_size(path), 1000u);
}

// Lowers the size limit for files this process writes, for one scope.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_handler_);
  }

 private:
  rlimit saved_{};
  sighandler_t previous_handler_;
};

// The file size limit reached: one message naming the file and the
// reason, and the file ends with its index, written into the space held
// back for it, so the pictures written before play.
TEST_F(WmvFileTest, TheSizeLimitEndsTheFileWithOneMessageAndItStillPlays) {
  OutputConfig output = Config();
  std::string path = world_.Path("clip.wmv");
  auto file = Open(output, path);
  ASSERT_EQ(file->status(), 0);
  std::vector<int16_t> pcm(1471 * 2);
  wmf::HResult hr = wmf::kSOk;
  constexpr int kFrames = 600;
  // The space held back (256 KiB) and some pictures.
  constexpr rlim_t kLimit = 400 * 1024;
  {
    FileSizeLimit limit(kLimit);
    for (int i = 0; i < kFrames && wmf::Succeeded(hr); ++i) {
      auto frame = Frame(output.width, output.height, i);
      hr = file->WriteAudio(i / 29.97, reinterpret_cast<const uint8_t*>(pcm.data()),
                            static_cast<uint32_t>(pcm.size() * 2));
      if (wmf::Succeeded(hr)) hr = file->WriteVideo(i / 29.97, frame.data());
    }
    file->Close();
  }
  EXPECT_TRUE(wmf::Failed(hr));
  EXPECT_TRUE(file->failed());
  ASSERT_EQ(box_.Texts().size(), 1u);
  const std::string reason = "\n\n" + path + "\nThe file has grown as large as the system allows.";
  EXPECT_TRUE(box_.Texts()[0] == "Unable to Write Frame" + reason ||
              box_.Texts()[0] == "Unable to Audio Write Frame" + reason)
      << box_.Texts()[0];
  EXPECT_LE(std::filesystem::file_size(path), kLimit);
  const int frames = std::atoi(test::ProbeEntry(path, "v:0", "stream=nb_read_frames").c_str());
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, kFrames);
}

}  // namespace
}  // namespace ovc
