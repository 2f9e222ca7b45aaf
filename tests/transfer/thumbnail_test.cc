#include "transfer/thumbnail.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

#include "platform/av/av_handles.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

struct PathCase {
  const char* name;
  const char* output;
  const char* thumbnail;
};
void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

const PathCase kPathCases[] = {
    {"psp_output_upper_case", "/stick/MP_ROOT/100MNV01/M4V00001.MP4",
     "/stick/MP_ROOT/100MNV01/M4V00001.THM"},
    {"avc_output", "/videos/MAQ00042.MP4", "/videos/MAQ00042.THM"},
    {"lower_case_extension", "/videos/holiday.mp4", "/videos/holiday.thm"},
    {"mixed_case_extension", "/videos/holiday.Mp4", "/videos/holiday.THM"},
    {"only_the_last_extension", "/videos/a.b.mp4", "/videos/a.b.thm"},
    {"dot_in_a_folder_name", "/my.videos/CLIP", "/my.videos/CLIP.THM"},
    {"no_extension_lower_case_name", "/videos/clip", "/videos/clip.thm"},
    {"hidden_file_name", "/videos/.clip", "/videos/.clip.thm"},
    {"relative_name", "M4V00003.MP4", "M4V00003.THM"},
    {"folder_only", "/videos/", ""},
    {"empty", "", ""},
};

class ThumbnailPathRule : public testing::TestWithParam<PathCase> {};

TEST_P(ThumbnailPathRule, ReplacesTheExtension) {
  EXPECT_EQ(ThumbnailPath(GetParam().output), GetParam().thumbnail);
}

INSTANTIATE_TEST_SUITE_P(Paths, ThumbnailPathRule, testing::ValuesIn(kPathCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct PlacementCase {
  const char* name;
  int width, height;
  double display_aspect;
  ThumbnailPlacement expected;
};
void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.name; }

const PlacementCase kPlacementCases[] = {
    {"four_by_three_fills", 320, 240, 0, {0, 0, 160, 120}},
    {"wide_screen_gets_bars_above_and_below", 1280, 720, 0, {0, 14, 160, 90}},
    {"pal_picture_shown_wide", 720, 576, 16.0 / 9, {0, 14, 160, 90}},
    {"pal_picture_of_square_pixels", 720, 576, 0, {4, 0, 150, 120}},
    {"portrait_gets_bars_at_the_sides", 720, 1280, 0, {46, 0, 68, 120}},
    {"a_line_stays_visible", 4000, 10, 0, {0, 58, 160, 2}},
};

class Placement : public testing::TestWithParam<PlacementCase> {};

TEST_P(Placement, KeepsThePicturesShape) {
  const PlacementCase& c = GetParam();
  ThumbnailPlacement place = PlaceThumbnail(c.width, c.height, c.display_aspect);
  EXPECT_EQ(place.x, c.expected.x);
  EXPECT_EQ(place.y, c.expected.y);
  EXPECT_EQ(place.width, c.expected.width);
  EXPECT_EQ(place.height, c.expected.height);
}

INSTANTIATE_TEST_SUITE_P(Shapes, Placement, testing::ValuesIn(kPlacementCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A top-down bitmap: the upper half red, the lower half blue.
Bitmap24 TwoColourBitmap(int width, int height) {
  Bitmap24 bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.pixels.resize(static_cast<size_t>(3 * width * height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* pixel = &bitmap.pixels[static_cast<size_t>(3 * (y * width + x))];
      bool upper = y < height / 2;
      pixel[0] = upper ? 0 : 255;  // blue
      pixel[1] = 0;                // green
      pixel[2] = upper ? 255 : 0;  // red
    }
  return bitmap;
}

struct DecodedPicture {
  AVCodecID codec = AV_CODEC_ID_NONE;
  int width = 0;
  int height = 0;
  av::FramePtr frame;
};

// Reads the file back with libavformat and decodes its one picture.
DecodedPicture Decode(const std::string& path) {
  DecodedPicture decoded;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return decoded;
  av::InputContextPtr input(raw);
  if (avformat_find_stream_info(input.get(), nullptr) < 0 || input->nb_streams != 1)
    return decoded;
  const AVCodecParameters* parameters = input->streams[0]->codecpar;
  decoded.codec = parameters->codec_id;
  decoded.width = parameters->width;
  decoded.height = parameters->height;
  const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
  av::CodecContextPtr decoder(avcodec_alloc_context3(codec));
  if (!decoder || avcodec_parameters_to_context(decoder.get(), parameters) < 0 ||
      avcodec_open2(decoder.get(), codec, nullptr) < 0)
    return decoded;
  av::PacketPtr packet(av_packet_alloc());
  av::FramePtr frame(av_frame_alloc());
  if (av_read_frame(input.get(), packet.get()) < 0 ||
      avcodec_send_packet(decoder.get(), packet.get()) < 0 ||
      avcodec_send_packet(decoder.get(), nullptr) < 0 ||
      avcodec_receive_frame(decoder.get(), frame.get()) < 0)
    return decoded;
  decoded.frame = std::move(frame);
  return decoded;
}

// Luma and the two chroma values at a pixel of a decoded 4:2:0 picture.
struct Yuv {
  int y, u, v;
};
Yuv At(const AVFrame& frame, int x, int y) {
  return {frame.data[0][y * frame.linesize[0] + x],
          frame.data[1][(y / 2) * frame.linesize[1] + x / 2],
          frame.data[2][(y / 2) * frame.linesize[2] + x / 2]};
}

bool IsRed(Yuv c) { return c.v > 200 && c.u < 128; }
bool IsBlue(Yuv c) { return c.u > 200 && c.v < 128; }
bool IsBlack(Yuv c) { return c.y < 24 && std::abs(c.u - 128) < 12 && std::abs(c.v - 128) < 12; }

class WriteThumbnailTest : public testing::Test {
 protected:
  test::TempWorld world_;
};

TEST_F(WriteThumbnailTest, WritesABaselineJpegOfThePspsSize) {
  std::string path = world_.Path("M4V00001.THM");
  ASSERT_EQ(WriteThumbnail(TwoColourBitmap(320, 240), path), 0);

  std::string bytes = test::ReadFile(path);
  ASSERT_GT(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xD8\xFF\xE0", 4)) << "JFIF header first";
  EXPECT_EQ(bytes.substr(6, 5), std::string("JFIF\0", 5));
  EXPECT_NE(bytes.find(std::string("\xFF\xC0", 2)), std::string::npos) << "baseline frame";
  EXPECT_EQ(bytes.find(std::string("\xFF\xC2", 2)), std::string::npos) << "not progressive";

  DecodedPicture decoded = Decode(path);
  EXPECT_EQ(decoded.codec, AV_CODEC_ID_MJPEG);
  EXPECT_EQ(decoded.width, kThumbnailWidth);
  EXPECT_EQ(decoded.height, kThumbnailHeight);
  ASSERT_TRUE(decoded.frame);
  EXPECT_TRUE(IsRed(At(*decoded.frame, 80, 20)));
  EXPECT_TRUE(IsBlue(At(*decoded.frame, 80, 100)));
  // A 4:3 picture fills the thumbnail: no bars.
  EXPECT_TRUE(IsRed(At(*decoded.frame, 1, 1)));
  EXPECT_TRUE(IsBlue(At(*decoded.frame, 158, 118)));

  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(WriteThumbnailTest, WideScreenPictureGetsBlackBars) {
  std::string path = world_.Path("wide.thm");
  ASSERT_EQ(WriteThumbnail(TwoColourBitmap(720, 576), path, 16.0 / 9), 0);
  DecodedPicture decoded = Decode(path);
  ASSERT_TRUE(decoded.frame);
  EXPECT_EQ(decoded.width, kThumbnailWidth);
  EXPECT_EQ(decoded.height, kThumbnailHeight);
  EXPECT_TRUE(IsBlack(At(*decoded.frame, 80, 4)));
  EXPECT_TRUE(IsRed(At(*decoded.frame, 80, 30)));
  EXPECT_TRUE(IsBlue(At(*decoded.frame, 80, 90)));
  EXPECT_TRUE(IsBlack(At(*decoded.frame, 80, 115)));
}

TEST_F(WriteThumbnailTest, BottomUpPictureIsTurnedRightWayUp) {
  Bitmap24 bitmap = TwoColourBitmap(160, 120);
  // The same pixels read from the last line upwards: blue on top.
  BgrPicture picture;
  picture.width = 160;
  picture.height = 120;
  picture.stride = -3 * 160;
  picture.bgr = bitmap.pixels.data() + 3 * 160 * 119;
  std::string path = world_.Path("flipped.THM");
  ASSERT_EQ(WriteThumbnail(picture, path), 0);
  DecodedPicture decoded = Decode(path);
  ASSERT_TRUE(decoded.frame);
  EXPECT_TRUE(IsBlue(At(*decoded.frame, 80, 20)));
  EXPECT_TRUE(IsRed(At(*decoded.frame, 80, 100)));
}

TEST_F(WriteThumbnailTest, FailuresLeaveNoFileAndKeepTheOldOne) {
  std::string path = world_.Path("M4V00002.THM");
  test::WriteFile(path, "old thumbnail");

  EXPECT_EQ(WriteThumbnail(Bitmap24(), path), -1);
  Bitmap24 short_pixels = TwoColourBitmap(64, 48);
  short_pixels.pixels.resize(short_pixels.pixels.size() / 2);
  EXPECT_EQ(WriteThumbnail(short_pixels, path), -1);
  EXPECT_EQ(test::ReadFile(path), "old thumbnail");

  EXPECT_EQ(WriteThumbnail(TwoColourBitmap(64, 48), world_.Path("no/such/folder/X.THM")), -1);
  // No temporary file is left behind.
  for (const auto& entry : std::filesystem::directory_iterator(world_.root()))
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();

  // A good picture replaces the old file.
  EXPECT_EQ(WriteThumbnail(TwoColourBitmap(64, 48), path), 0);
  EXPECT_EQ(Decode(path).codec, AV_CODEC_ID_MJPEG);
}

#ifdef OVC_FFPROBE
// ffprobe, an independent reader, sees the same picture.
TEST_F(WriteThumbnailTest, FfprobeReadsIt) {
  if (std::string(OVC_FFPROBE).empty()) GTEST_SKIP() << "no ffprobe";
  std::string path = world_.Path("M4V00005.THM");
  ASSERT_EQ(WriteThumbnail(TwoColourBitmap(640, 360), path), 0);
  std::string command = std::string(OVC_FFPROBE) +
                        " -v error -select_streams v:0 -show_entries stream=codec_name,width,height"
                        " -of csv=p=0 '" + path + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[256] = {};
  std::string output = fgets(line, sizeof line, pipe) ? line : "";
  pclose(pipe);
  EXPECT_EQ(output, "mjpeg,160,120\n");
}
#endif

}  // namespace
}  // namespace ovc
