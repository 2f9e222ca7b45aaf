// The title writer on files written by the ffmpeg command's PSP muxer, with
// the media data before the movie box (as ffmpeg writes it) and after it
// (+faststart). The changed file must decode to exactly the same frames.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "support/temp_world.h"
#include "transfer/mp4_title.h"
#include "transfer/utf16_text.h"

namespace ovc {
namespace {

// The command's output with its error output, and its exit status.
int RunCommand(const std::string& command, std::string* output) {
  output->clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::array<char, 4096> buffer;
  size_t got;
  while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output->append(buffer.data(), got);
  return pclose(pipe);
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// Decoded frames of every stream, counted by ffprobe, and their checksums.
std::string FrameCounts(const std::string& path) {
  std::string output;
  RunCommand(std::string(OVC_FFPROBE) +
          " -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 " +
          Quoted(path),
      &output);
  return output;
}

std::string FrameChecksums(const std::string& path) {
  std::string output;
  RunCommand(std::string(OVC_FFMPEG) + " -v error -i " + Quoted(path) + " -f framemd5 -", &output);
  return output;
}

struct Clip {
  std::string path;
  std::string frame_counts;
  std::string frame_checksums;
};

struct TitleCase {
  const char* name;
  const char* title;   // UTF-8, as given to the writer
  const char* stored;  // as read back
  int delta;           // entry, boxes and file, in bytes
};
void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.name; }

// "Original title" has 14 characters: an entry of 10 + 30 bytes.
const TitleCase kTitles[] = {
    {"shorter", "Original tit", "Original tit", -4},
    {"longer", "Original title, now longer", "Original title, now longer", 24},
    {"empty", "", " ", -26},
    {"same_length", "Lanigiro title", "Lanigiro title", 0},
};

class FfmpegTitle : public testing::TestWithParam<std::tuple<TitleCase, bool>> {
 protected:
  static void SetUpTestSuite() {
    if (std::string(OVC_FFMPEG).empty() || std::string(OVC_FFPROBE).empty()) return;
    std::string base = std::filesystem::temp_directory_path().string();
    if (const char* scratch = std::getenv("OVC_TEST_SCRATCH"); scratch && *scratch) {
      std::filesystem::create_directories(scratch);
      base = scratch;
    }
    std::string pattern = base + "/ffmpeg-clips-XXXXXX";
    if (!mkdtemp(pattern.data())) return;
    folder_ = new std::string(pattern);
    for (bool faststart : {false, true}) {
      Clip& clip = clips_[faststart];
      clip.path = *folder_ + (faststart ? "/faststart.mp4" : "/plain.mp4");
      std::string output;
      int status = RunCommand(std::string(OVC_FFMPEG) +
                           " -v error -y -f lavfi -i testsrc=size=64x48:rate=30000/1001"
                           " -f lavfi -i sine -t 1 -c:v mpeg4 -c:a aac -f psp" +
                           (faststart ? " -movflags +faststart" : "") +
                           " -metadata title='Original title' " + Quoted(clip.path),
                       &output);
      if (status != 0) {
        ADD_FAILURE() << "ffmpeg failed: " << output;
        clip.path.clear();
        continue;
      }
      clip.frame_counts = FrameCounts(clip.path);
      clip.frame_checksums = FrameChecksums(clip.path);
    }
  }

  static void TearDownTestSuite() {
    if (!folder_) return;
    std::error_code ec;
    std::filesystem::remove_all(*folder_, ec);
    delete folder_;
    folder_ = nullptr;
  }

  void SetUp() override {
    if (!folder_) GTEST_SKIP() << "the ffmpeg and ffprobe commands are not installed";
  }

  static std::string* folder_;
  static Clip clips_[2];
  test::TempWorld world_;
};

std::string* FfmpegTitle::folder_ = nullptr;
Clip FfmpegTitle::clips_[2];

TEST_P(FfmpegTitle, TitleChangesAndTheVideoStillPlaysInFull) {
  const auto& [title, faststart] = GetParam();
  const Clip& clip = clips_[faststart];
  ASSERT_FALSE(clip.path.empty());
  ASSERT_EQ(clip.frame_counts.rfind("30\n", 0), 0u) << "30 video frames expected: " << clip.frame_counts;
  std::string path = world_.Path("M4V00001.MP4");
  std::filesystem::copy_file(clip.path, path);
  ASSERT_EQ(ReadMp4Title(path), "Original title");
  Mp4TitleLocation before;
  ASSERT_EQ(LocateMp4Title(path, &before), Mp4TitleStatus::kOk);
  ASSERT_EQ(before.entry_size, 40);
  // The movie box comes last unless the file was made for fast start.
  ASSERT_EQ(before.moov_offset + before.moov_size == before.file_size, !faststart);

  ASSERT_EQ(WriteMp4Title(path, Utf8ToUtf16(title.title)), Mp4TitleStatus::kOk);
  EXPECT_EQ(ReadMp4Title(path), title.stored);
  Mp4TitleLocation after;
  ASSERT_EQ(LocateMp4Title(path, &after), Mp4TitleStatus::kOk);
  EXPECT_EQ(int64_t(after.file_size) - int64_t(before.file_size), title.delta);
  EXPECT_EQ(int64_t(after.moov_size) - int64_t(before.moov_size), title.delta);
  EXPECT_EQ(int64_t(after.uuid_size) - int64_t(before.uuid_size), title.delta);
  EXPECT_EQ(int64_t(after.metadata_size) - int64_t(before.metadata_size), title.delta);
  EXPECT_EQ(FrameCounts(path), clip.frame_counts);
  EXPECT_EQ(FrameChecksums(path), clip.frame_checksums);
}

INSTANTIATE_TEST_SUITE_P(
    Clips, FfmpegTitle, testing::Combine(testing::ValuesIn(kTitles), testing::Bool()),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) ? "_faststart" : "_media_first");
    });

}  // namespace
}  // namespace ovc
