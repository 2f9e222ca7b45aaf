// The picture keeps its shape: sources of every pixel shape and turn,
// converted with the device profiles, read back with ffprobe and the ffmpeg
// command. Each source shows a white circle (round on the screen) on grey;
// the output's black bars, its declared pixel shape and the circle's
// outline tell how a player shows it.

#include <cmath>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "app/multiconv_fixture.h"

namespace ovc::test {
namespace {

// How a source is made: its stored size, its pixel shape, the ffmpeg
// filter that turns the upright scene into what is stored, the turn its
// metadata asks for (clockwise, as the "rotate" tag counts) and its
// container and codec.
struct SourceRecipe {
  const char* size;  // the upright scene, "WxH"
  int sar_num;
  int sar_den;
  const char* store;  // filter after the scene; "" stores it as it is
  int rotate;
  const char* file;
  const char* codec_args;
};

const SourceRecipe kSquare3x2{"720x480", 1, 1, "", 0, "square.mp4", "-c:v libx264 -c:a aac"};
const SourceRecipe kPalDvdWide{"720x576", 64, 45, "", 0, "pal.mpg",
                               "-c:v mpeg2video -b:v 4M -aspect 16:9 -c:a mp2"};
const SourceRecipe kNtscDvdWide{"720x480", 32, 27, "", 0, "ntsc.mpg",
                                "-c:v mpeg2video -b:v 4M -aspect 16:9 -c:a mp2"};
// A phone held upright: a portrait scene stored on its side.
const SourceRecipe kPortrait90{"360x640", 1, 1, "transpose=clock", 90, "upright90.mp4",
                               "-c:v libx264 -c:a aac"};
const SourceRecipe kPortrait270{"360x640", 1, 1, "transpose=cclock", 270, "upright270.mp4",
                                "-c:v libx264 -c:a aac"};
const SourceRecipe kUpsideDown{"640x360", 1, 1, "hflip,vflip", 180, "upside.mp4",
                               "-c:v libx264 -c:a aac"};

struct ShapeCase {
  const char* name;
  const SourceRecipe* source;
  const char* profile;
  int width;  // the output frame
  int height;
  int sar_num;  // the pixel shape it declares
  int sar_den;
  int area_x;  // where the picture lies; the rest is black
  int area_y;
  int area_width;
  int area_height;
};
void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

const ShapeCase kShapes[] = {
    {"3:2 on PSP", &kSquare3x2, "PSP", 368, 208, 1, 1, 28, 0, 312, 208},
    {"3:2 on PSP AVC", &kSquare3x2, "PSP AVC", 368, 208, 1, 1, 28, 0, 312, 208},
    {"3:2 on iPod", &kSquare3x2, "iPod", 320, 224, 1, 1, 0, 4, 320, 214},
    {"3:2 on 3GP phone", &kSquare3x2, "3GP phone", 176, 144, 12, 11, 0, 8, 176, 128},
    {"3:2 on AVI", &kSquare3x2, "AVI", 640, 432, 1, 1, 0, 0, 640, 432},
    {"PAL DVD 16:9 on PSP", &kPalDvdWide, "PSP", 368, 208, 1, 1, 0, 0, 368, 208},
    {"PAL DVD 16:9 on 3GP phone", &kPalDvdWide, "3GP phone", 176, 144, 12, 11, 0, 18, 176, 108},
    {"NTSC DVD 16:9 on PSP AVC", &kNtscDvdWide, "PSP AVC", 368, 208, 1, 1, 0, 0, 368, 208},
    {"NTSC DVD 16:9 on iPod", &kNtscDvdWide, "iPod", 320, 192, 1, 1, 0, 6, 320, 180},
    {"NTSC DVD 16:9 on AVI", &kNtscDvdWide, "AVI", 640, 368, 1, 1, 0, 4, 640, 360},
    {"upright phone on PSP", &kPortrait90, "PSP", 320, 240, 1, 1, 92, 0, 136, 240},
    {"upright phone on iPod", &kPortrait270, "iPod", 320, 240, 1, 1, 92, 0, 136, 240},
    {"upright phone on 3GP phone", &kPortrait270, "3GP phone", 176, 144, 12, 11, 50, 0, 74, 144},
    {"upside-down phone on PSP AVC", &kUpsideDown, "PSP AVC", 368, 208, 1, 1, 0, 0, 368, 208},
    {"upside-down phone on AVI", &kUpsideDown, "AVI", 640, 368, 1, 1, 0, 4, 640, 360},
};

// Bounds of the pixels of one decoded grey picture whose luma passes a
// threshold.
struct Box {
  int left = 1 << 30;
  int top = 1 << 30;
  int right = -1;  // inclusive
  int bottom = -1;
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};

Box BoxAbove(const std::string& luma, int width, int height, int threshold) {
  Box box;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (static_cast<uint8_t>(luma[static_cast<size_t>(y) * width + x]) <= threshold) continue;
      box.left = std::min(box.left, x);
      box.right = std::max(box.right, x);
      box.top = std::min(box.top, y);
      box.bottom = std::max(box.bottom, y);
    }
  return box;
}

class SourceMakingTest : public MulticonvTest {
 protected:
  // Writes the source with the ffmpeg command: one second of the scene.
  std::string MakeSource(const SourceRecipe& r) {
    const std::string path = world_.Path(r.file);
    // Round on the screen: x counts in display units.
    char scene[400];
    std::snprintf(scene, sizeof scene,
                  "geq=lum='if(lt(hypot((X-W/2)*%d/%d\\,Y-H/4)\\,H/6)\\,235\\,128)':cb=128:cr=128",
                  r.sar_num, r.sar_den);
    std::string filter = scene;
    if (*r.store) filter += std::string(",") + r.store;
    char sar[32];
    std::snprintf(sar, sizeof sar, ",setsar=%d/%d", r.sar_num, r.sar_den);
    filter += sar;
    const std::string stored = world_.Path(std::string("stored-") + r.file);
    std::string command = std::string("ffmpeg -v error -y -f lavfi -i color=c=gray:s=") + r.size +
                          ":r=25:d=1 -f lavfi -i sine=d=1:r=48000 -vf " + Quote(filter) + " " +
                          r.codec_args + " -shortest " + Quote(r.rotate ? stored : path) +
                          " 2>&1";
    EXPECT_EQ(CommandOutput(command), "") << command;
    if (r.rotate) {
      // The turn as a phone's display matrix.
      command = "ffmpeg -v error -y -i " + Quote(stored) + " -c copy -metadata:s:v:0 rotate=" +
                std::to_string(r.rotate) + " " + Quote(path) + " 2>&1";
      EXPECT_EQ(CommandOutput(command), "") << command;
    }
    return path;
  }
};

class MulticonvShapeTest : public SourceMakingTest,
                           public testing::WithParamInterface<ShapeCase> {};

TEST_P(MulticonvShapeTest, ThePictureKeepsItsShapeUprightOnBlack) {
  const ShapeCase& c = GetParam();
  const std::string source = MakeSource(*c.source);
  ProgramRun run = Multiconv("-q -p " + Quote(c.profile) + " -o " + Quote(out_) + " " +
                             Quote(source));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(run.out_lines.size(), 1u) << run.err;
  const std::string& output = run.out_lines[0];

  // The frame and the pixel shape players are told.
  EXPECT_EQ(ProbeEntry(output, "v:0", "stream=width"), std::to_string(c.width));
  EXPECT_EQ(ProbeEntry(output, "v:0", "stream=height"), std::to_string(c.height));
  const std::string sar = ProbeEntry(output, "v:0", "stream=sample_aspect_ratio");
  if (c.sar_num == c.sar_den)
    EXPECT_TRUE(sar == "1:1" || sar == "0:1" || sar == "N/A") << sar;
  else
    EXPECT_EQ(sar, std::to_string(c.sar_num) + ":" + std::to_string(c.sar_den));

  // One picture from the middle, as grey levels.
  const std::string luma = CommandOutput(
      "ffmpeg -v error -i " + Quote(output) +
      " -vf 'select=eq(n\\,10)' -frames:v 1 -f rawvideo -pix_fmt gray - 2>/dev/null");
  ASSERT_EQ(luma.size(), static_cast<size_t>(c.width) * c.height);

  // The picture (grey and white) against the bars (black), to a pixel or
  // two of coding blur.
  const Box picture = BoxAbove(luma, c.width, c.height, 60);
  EXPECT_NEAR(picture.left, c.area_x, 2);
  EXPECT_NEAR(picture.top, c.area_y, 2);
  EXPECT_NEAR(picture.width(), c.area_width, 3);
  EXPECT_NEAR(picture.height(), c.area_height, 3);

  // The circle is round on the screen and sits in the upper half: upright.
  const Box circle = BoxAbove(luma, c.width, c.height, 200);
  ASSERT_GT(circle.width(), 10);
  const double shown_width = circle.width() * static_cast<double>(c.sar_num) / c.sar_den;
  EXPECT_NEAR(shown_width / circle.height(), 1.0, 0.08)
      << circle.width() << "x" << circle.height();
  EXPECT_LT(circle.bottom, c.area_y + c.area_height / 2);
  EXPECT_NEAR((circle.left + circle.right) / 2.0, c.area_x + c.area_width / 2.0, 3);
}

INSTANTIATE_TEST_SUITE_P(Sources, MulticonvShapeTest, testing::ValuesIn(kShapes));

// "Stretch 16:9 widescreen to 4:3 automatically", chosen in the Output
// Setting dialog (here: stored by a registry file the program imports from
// its working folder), holds wherever the profile's device is not the PSP.
struct StretchCase {
  const char* profile;
  int width;
  int height;
  const char* sar;  // declared
  int area_y;       // the picture's top line
  double circle;    // the circle's shown width ÷ height
};
void PrintTo(const StretchCase& c, std::ostream* os) { *os << c.profile; }

const StretchCase kStretches[] = {
    {"iPod", 320, 240, "", 0, 0.75},
    {"AVI", 640, 480, "1:1", 0, 0.75},
    {"WMV", 320, 240, "1:1", 0, 0.75},
    {"3GP phone", 176, 144, "12:11", 0, 0.75},
    {"PSP", 368, 208, "1:1", 0, 1.0},
};

class MulticonvStretchTest : public SourceMakingTest,
                             public testing::WithParamInterface<StretchCase> {};

TEST_P(MulticonvStretchTest, TheUsersChoiceToStretchWidescreenHolds) {
  const StretchCase& c = GetParam();
  WriteFile(world_.Path("url.reg"),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Orvane\\Orvane Video Converter "
            "Zezivovi\\OutputConfig\\vc_aspect]\n@=dword:00000001\n");
  const SourceRecipe wide{"640x360", 1, 1, "", 0, "wide.mp4", "-c:v libx264 -c:a aac"};
  const std::string source = MakeSource(wide);
  ProgramRun run = Multiconv("-q -p " + Quote(c.profile) + " -o " + Quote(out_) + " " +
                             Quote(source));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(run.out_lines.size(), 1u) << run.err;
  const std::string& output = run.out_lines[0];
  EXPECT_EQ(ProbeEntry(output, "v:0", "stream=width"), std::to_string(c.width));
  EXPECT_EQ(ProbeEntry(output, "v:0", "stream=height"), std::to_string(c.height));
  if (*c.sar) EXPECT_EQ(ProbeEntry(output, "v:0", "stream=sample_aspect_ratio"), c.sar);
  const std::string luma = CommandOutput(
      "ffmpeg -v error -i " + Quote(output) +
      " -vf 'select=eq(n\\,10)' -frames:v 1 -f rawvideo -pix_fmt gray - 2>/dev/null");
  ASSERT_EQ(luma.size(), static_cast<size_t>(c.width) * c.height);
  const Box picture = BoxAbove(luma, c.width, c.height, 60);
  EXPECT_NEAR(picture.top, c.area_y, 2);
  EXPECT_NEAR(picture.width(), c.width, 3);
  const Box circle = BoxAbove(luma, c.width, c.height, 200);
  ASSERT_GT(circle.width(), 10);
  int sar_num = 1;
  int sar_den = 1;
  std::sscanf(c.sar, "%d:%d", &sar_num, &sar_den);
  EXPECT_NEAR(circle.width() * static_cast<double>(sar_num) / sar_den / circle.height(), c.circle,
              0.06);
}

INSTANTIATE_TEST_SUITE_P(Profiles, MulticonvStretchTest, testing::ValuesIn(kStretches));

// Interlaced sources: a white bar moving 24 pixels a field across grey, two
// fields a picture, as a camcorder or a DVD holds it.
struct InterlacedCase {
  const char* name;
  const char* file;
  const char* codec_args;
  const char* field_order;  // "tff" or "bff"
  const char* profile;
};
void PrintTo(const InterlacedCase& c, std::ostream* os) { *os << c.name; }

const InterlacedCase kInterlaced[] = {
    {"DV PAL on AVI", "camcorder.avi", "-c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le", "bff",
     "AVI"},
    {"DVD on AVI", "dvd.mpg", "-c:v mpeg2video -flags +ildct+ilme -b:v 6M -c:a mp2", "tff",
     "AVI"},
    {"DVD on QuickTime", "dvd.mpg", "-c:v mpeg2video -flags +ildct+ilme -b:v 6M -c:a mp2",
     "tff", "QuickTime"},
};

// How much the lines of a grey picture stand out from the two around them,
// on average: combs of two moments make every other line differ; a
// progressive picture of vertical edges has next to none.
double Combing(const std::string& luma, int width, int height) {
  double total = 0;
  int count = 0;
  for (int y = 1; y + 1 < height; ++y)
    for (int x = 0; x < width; ++x) {
      auto at = [&](int row) {
        return static_cast<uint8_t>(luma[static_cast<size_t>(row) * width + x]);
      };
      total += std::abs(at(y) - (at(y - 1) + at(y + 1)) / 2.0);
      ++count;
    }
  return total / count;
}

class MulticonvInterlacedTest : public MulticonvTest,
                                public testing::WithParamInterface<InterlacedCase> {};

TEST_P(MulticonvInterlacedTest, ShowsNoCombsAtMoreThanHalfTheHeight) {
  const InterlacedCase& c = GetParam();
  const std::string source = world_.Path(c.file);
  const std::string command =
      std::string("ffmpeg -v error -y -f lavfi -i color=c=gray:s=720x576:r=50:d=1 -f lavfi -i "
                  "sine=d=1:r=48000 -vf \"geq=lum='if(lt(abs(X-mod(N*24,720)),40),235,128)':"
                  "cb=128:cr=128,interlace=scan=") +
      c.field_order + ",setfield=" + c.field_order + "\" -aspect 4:3 " + c.codec_args +
      " -shortest " + Quote(source) + " 2>&1";
  ASSERT_EQ(CommandOutput(command), "") << command;
  const std::string source_luma = CommandOutput(
      "ffmpeg -v error -i " + Quote(source) +
      " -vf 'select=eq(n\\,10)' -frames:v 1 -f rawvideo -pix_fmt gray - 2>/dev/null");
  ASSERT_EQ(source_luma.size(), 720u * 576);
  ASSERT_GT(Combing(source_luma, 720, 576), 4.0) << "the source shows no combs to remove";

  ProgramRun run = Multiconv("-q -p " + Quote(c.profile) + " -o " + Quote(out_) + " " +
                             Quote(source));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(run.out_lines.size(), 1u) << run.err;
  const std::string& output = run.out_lines[0];
  const int width = std::atoi(ProbeEntry(output, "v:0", "stream=width").c_str());
  const int height = std::atoi(ProbeEntry(output, "v:0", "stream=height").c_str());
  ASSERT_GT(width, 0);
  const std::string luma = CommandOutput(
      "ffmpeg -v error -i " + Quote(output) +
      " -vf 'select=eq(n\\,10)' -frames:v 1 -f rawvideo -pix_fmt gray - 2>/dev/null");
  ASSERT_EQ(luma.size(), static_cast<size_t>(width) * height);
  // Scaled without blending the fields, 480 lines of these 576 keep combs
  // of about 2.4.
  EXPECT_LT(Combing(luma, width, height), 0.5) << width << "x" << height;
}

INSTANTIATE_TEST_SUITE_P(Sources, MulticonvInterlacedTest, testing::ValuesIn(kInterlaced));

}  // namespace
}  // namespace ovc::test
