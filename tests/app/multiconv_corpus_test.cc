// Files as people have them: old, odd, from cameras, phones, DVDs and the
// web, made with the ffmpeg command, converted with every device profile and
// read back with ffprobe and the ffmpeg command; with them the user's choice
// of shape and interlaced sources. Each source shows a white
// circle (round on the screen, in the upper half of the upright picture) on
// grey: the output's black bars, its declared pixel shape and the circle
// tell how a player shows it.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/multiconv_fixture.h"

namespace ovc::test {
namespace {

// Sound may differ from the longer stream by this much (seconds).
constexpr double kSoundTolerance = 0.05;

// The sixth picture (or the last of fewer) shows the scene's circle at
// least this many lines tall.
constexpr int kLeastLinesForTheCircle = 48;

const char* const kProfiles[] = {"PSP", "iPod", "3GP phone", "AVI", "WMV",
                                 "Phone (H.264 720p)"};
// The web's profiles follow the source's size, rate and sound; AV1 and VP9
// are slow, so they take only the files that try that most: turned phone
// pictures, 10 bits, non-square pixels, 96 kHz sound.
const char* const kWebProfiles[] = {"Web (WebM VP9)", "AV1 (small files)"};
const char* const kWebSources[] = {"phone-vfr.mp4", "hevc-10bit.mp4", "camcorder-pal.dv",
                                   "studio-96k.mkv"};

// How a damaged source is made from a good one.
enum class Damage {
  kNone,
  kClockJump,         // a second part whose clock runs an hour later
  kUnknownSoundCode,  // an AVI whose sound has a format tag no decoder knows
  kUnknownPictureCode,
  kSoundPages,  // Ogg sound pages garbled (with their checksums made good)
};

struct CorpusFile {
  const char* file;  // its extension names the container
  const char* size;  // the stored picture, "WxH"
  const char* rate;  // pictures a second
  double video_seconds;
  const char* sound;  // a lavfi sound source; "" for none
  double sound_seconds;
  int sar_num;  // the stored pixel shape
  int sar_den;
  const char* store;  // filters after the upright scene; "" keeps it
  int rotate;         // the display matrix's turn, clockwise
  const char* codec_args;
  Damage damage = Damage::kNone;
  const char* refusal = "";  // what multiconv says when it cannot convert it
};
void PrintTo(const CorpusFile& c, std::ostream* os) { *os << c.file; }

const char kX264[] = "-c:v libx264 -preset ultrafast ";

const CorpusFile kCorpus[] = {
    {"mjpeg.avi", "320x240", "15", 1.5, "sine=r=11025:d=1.5", 1.5, 1, 1, "", 0,
     "-c:v mjpeg -q:v 5 -c:a pcm_u8 -ac 1"},
    {"camcorder-pal.dv", "720x576", "25", 1, "sine=r=48000:d=1", 1, 16, 15, "", 0,
     "-target pal-dv"},
    // NTSC sources hold 30 whole pictures.
    {"camcorder-ntsc.dv", "720x480", "30000/1001", 1.001, "sine=r=48000:d=1.001", 1.001, 8, 9,
     "", 0,
     "-target ntsc-dv"},
    {"film-pal-wide.vob", "720x576", "25", 1, "sine=r=48000:d=1", 1, 64, 45, "", 0,
     "-target pal-dvd -aspect 16:9"},
    {"film-ntsc.vob", "720x480", "30000/1001", 1.001, "sine=r=48000:d=1.001", 1.001, 8, 9, "", 0,
     "-target ntsc-dvd -aspect 4:3"},
    // A DVD menu whose sound stops early.
    {"menu-ntsc-wide.vob", "720x480", "30000/1001", 1.5, "sine=r=48000:d=0.5", 0.5, 32, 27, "",
     0, "-target ntsc-dvd -aspect 16:9"},
    // A phone held upright: a portrait scene stored on its side, a picture
    // missing now and then.
    {"phone-vfr.mp4", "360x640", "30", 1.5, "sine=r=48000:d=1.5", 1.5, 1, 1,
     "transpose=clock,select='not(eq(mod(n\\,4)\\,2))'", 90,
     "-fps_mode vfr -c:v libx264 -preset ultrafast -c:a aac"},
    {"theora.ogg", "320x240", "25", 1.5, "sine=r=44100:d=1.5", 1.5, 1, 1, "", 0,
     "-c:v libtheora -q:v 5 -c:a libvorbis"},
    {"vp8.webm", "320x240", "25", 1.5, "sine=r=48000:d=1.5", 1.5, 1, 1, "", 0,
     "-c:v libvpx -deadline realtime -cpu-used 8 -b:v 300k -c:a libopus"},
    {"vp9.webm", "320x240", "25", 1.5, "sine=r=48000:d=1.5", 1.5, 1, 1, "", 0,
     "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 300k -c:a libopus"},
    {"av1.mkv", "320x240", "25", 1.5, "sine=r=48000:d=1.5", 1.5, 1, 1, "", 0,
     "-c:v libaom-av1 -usage realtime -cpu-used 8 -c:a libopus"},
    // A phone's HEVC, upside down, and another turned the other way.
    {"hevc-10bit.mp4", "640x360", "25", 1.5, "sine=r=48000:d=1.5", 1.5, 1, 1, "hflip,vflip",
     180,
     "-c:v libx265 -preset ultrafast -pix_fmt yuv420p10le -x265-params log-level=error "
     "-tag:v hvc1 -c:a aac"},
    {"slow-motion.mp4", "360x640", "120", 1, "sine=r=48000:d=1", 1, 1, 1, "transpose=cclock",
     270, "-c:v libx264 -preset ultrafast -c:a aac"},
    // Pages of its sound garbled: some blocks get a stale time stamp.
    {"damaged-sound.ogg", "320x240", "25", 2, "sine=r=44100:d=2", 2, 1, 1, "", 0,
     "-c:v libtheora -q:v 5 -c:a libvorbis -page_duration 100000", Damage::kSoundPages},
    {"elementary.m1v", "352x288", "25", 1.5, "", 0, 1, 1, "", 0,
     "-c:v mpeg1video -f mpeg1video"},
    // A music clip: a short picture, the sound runs on.
    {"flash.flv", "320x240", "25", 1, "sine=r=22050:d=2.5", 2.5, 1, 1, "", 0,
     "-c:v flv -c:a libmp3lame"},
    {"rv10.rm", "320x240", "25", 1.5, "sine=r=44100:d=1.5", 1.5, 1, 1, "", 0,
     "-c:v rv10 -c:a ac3"},
    {"rv20.rm", "320x240", "25", 1.5, "sine=r=44100:d=1.5", 1.5, 1, 1, "", 0,
     "-c:v rv20 -c:a ac3"},
    {"h264-square-3x2.avi", "720x480", "25", 1.5, "sine=r=44100:d=1.5", 1.5, 1, 1, "", 0,
     "-c:v libx264 -preset ultrafast -c:a pcm_s16le"},
    {"clock-jump.ts", "320x240", "25", 2, "sine=r=48000:d=1", 2, 1, 1, "", 0,
     "-c:v mpeg2video -c:a mp2", Damage::kClockJump},
    {"surround-7.1.mkv", "320x240", "25", 1,
     "aevalsrc=sin(440*2*PI*t)|sin(550*2*PI*t)|sin(660*2*PI*t)|sin(50*2*PI*t)|sin(770*2*PI*t)"
     "|sin(880*2*PI*t)|sin(990*2*PI*t)|sin(330*2*PI*t):c=7.1:s=48000:d=1",
     1, 1, 1, "", 0, "-c:v libx264 -preset ultrafast -c:a aac"},
    {"studio-96k.mkv", "320x240", "25", 1, "sine=r=96000:d=1", 1, 1, 1, "", 0,
     "-c:v libx264 -preset ultrafast -c:a flac -sample_fmt s32"},
    {"tiny-16x16.mp4", "16x16", "25", 1.5, "sine=r=44100:d=1.5", 1.5, 1, 1, "", 0,
     "-c:v libx264 -preset ultrafast -c:a aac"},
    {"screen-175x97.mkv", "175x97", "25", 1.5, "", 0, 1, 1, "format=yuv444p", 0,
     "-c:v ffv1"},
    {"camera-4000x3000.mov", "4000x3000", "5", 1, "sine=r=48000:d=1", 1, 1, 1, "", 0,
     "-c:v mjpeg -q:v 8 -c:a pcm_s16le"},
    {"slides.mp4", "320x240", "0.5", 4, "sine=r=44100:d=4", 4, 1, 1, "", 0,
     "-c:v libx264 -preset ultrafast -c:a aac"},
    // The sound's format is one no decoder knows: converted as if silent.
    {"unknown-sound.avi", "320x240", "25", 1, "sine=r=44100:d=1", 0, 1, 1, "", 0,
     "-c:v mpeg4 -c:a pcm_s16le", Damage::kUnknownSoundCode},
    {"unknown-picture.avi", "320x240", "25", 1, "sine=r=44100:d=1", 1, 1, 1, "", 0,
     "-c:v mpeg4 -c:a pcm_s16le", Damage::kUnknownPictureCode,
     "Cannot open the file %s Its picture cannot be decoded."},
    // A digital cinema picture in CIE XYZ colours: nothing here converts them.
    {"cinema-xyz.mkv", "320x240", "24", 1, "sine=r=48000:d=1", 1, 1, 1, "", 0,
     "-c:v ffv1 -pix_fmt yuv420p10le -color_primaries smpte428 -color_trc smpte428 "
     "-colorspace bt709 -c:a pcm_s16le",
     Damage::kNone,
     "Cannot open the file %s Its picture cannot be converted: its colours (transfer "
     "smpte428, primaries smpte428, matrix bt709) cannot be converted."},
};

double Number(const std::string& text) { return text.empty() ? -1 : std::atof(text.c_str()); }

// From the first packet of a stream to the end of its last: what a player
// plays, also where a container declares no stream duration. A packet
// without a duration lasts `frame` seconds.
double PacketSpan(const std::string& path, const char* stream, double frame = 0) {
  char last[32];
  std::snprintf(last, sizeof last, "%g", frame);
  return Number(CommandOutput(
      std::string("ffprobe -v error -select_streams ") + stream +
      " -show_entries packet=pts_time,duration_time -of csv=p=0 " + Quote(path) +
      " | awk -F, '$1 != \"N/A\" { end = $1 + ($2 == \"N/A\" ? " + last +
      " : $2); if (n++ == 0 || $1 < first) first = $1; if (end > last) last = end }"
      " END { print last - first }'"));
}

// The loudest sample of the sound from `from` seconds on, in dB (-91 for
// digital silence).
double MaxVolume(const std::string& path, double from = 0) {
  char start[32];
  std::snprintf(start, sizeof start, "%g", from);
  const std::string volume = CommandOutput(
      "ffmpeg -v info -nostats -ss " + std::string(start) + " -i " + Quote(path) +
      " -map 0:a:0 -af volumedetect -f null - 2>&1 | sed -n 's/.*max_volume: \\(.*\\) dB/\\1/p'");
  return volume.empty() ? 0 : Number(volume);
}

// Replaces every `from` in a file's bytes with `to` (as long).
bool PatchFile(const std::string& path, const std::string& from, const std::string& to) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bool found = false;
  for (size_t at = 0; (at = bytes.find(from, at)) != std::string::npos; at += to.size()) {
    bytes.replace(at, from.size(), to);
    found = true;
  }
  std::ofstream(path, std::ios::binary) << bytes;
  return found;
}

// Garbles the sound pages of the middle fifth of an Ogg file (the ones of
// its sound stream: the stream whose first page holds the Vorbis header)
// the same way every time, and makes their checksums good again: the
// demuxer takes the pages, the decoder meets the damage.
bool GarbleOggSoundPages(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  struct Page {
    size_t at, header, body;
  };
  std::vector<Page> sound;
  std::string sound_serial;
  for (size_t at = 0; at + 27 < bytes.size() && bytes.compare(at, 4, "OggS") == 0;) {
    const size_t segments = static_cast<uint8_t>(bytes[at + 26]);
    Page page{at, 27 + segments, 0};
    for (size_t i = 0; i < segments; ++i) page.body += static_cast<uint8_t>(bytes[at + 27 + i]);
    const std::string serial = bytes.substr(at + 14, 4);
    if (sound_serial.empty() && bytes.compare(at + page.header + 1, 6, "vorbis") == 0)
      sound_serial = serial;
    if (!sound_serial.empty() && serial == sound_serial) sound.push_back(page);
    at += page.header + page.body;
  }
  if (sound.size() < 10) return false;
  uint32_t table[256];
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t r = i << 24;
    for (int bit = 0; bit < 8; ++bit) r = r & 0x80000000u ? (r << 1) ^ 0x04c11db7u : r << 1;
    table[i] = r;
  }
  uint32_t seed = 3;
  for (size_t k = 2 * sound.size() / 5; k < 3 * sound.size() / 5; ++k) {
    const Page& page = sound[k];
    for (size_t i = 0; i < page.body / 16; ++i) {
      seed = (seed * 1103515245u + 12345u) & 0x7fffffffu;
      bytes[page.at + page.header + seed % page.body] = static_cast<char>((seed >> 8) & 0xff);
    }
    bytes.replace(page.at + 22, 4, 4, '\0');
    uint32_t crc = 0;
    for (size_t i = 0; i < page.header + page.body; ++i)
      crc = (crc << 8) ^ table[((crc >> 24) ^ static_cast<uint8_t>(bytes[page.at + i])) & 0xff];
    for (int i = 0; i < 4; ++i) bytes[page.at + 22 + i] = static_cast<char>(crc >> (8 * i));
  }
  std::ofstream(path, std::ios::binary) << bytes;
  return true;
}

// The longest stretch of silence in a file's sound, in seconds.
double LongestSilence(const std::string& path) {
  return Number(CommandOutput(
      "ffmpeg -nostats -i " + Quote(path) +
      " -af silencedetect=n=-50dB:d=0.05 -f null - 2>&1 | sed -n "
      "'s/.*silence_duration: \\([0-9.]*\\).*/\\1/p' | sort -g | tail -1"));
}

class CorpusSourceTest : public MulticonvTest {
 protected:
  // Writes the source with the ffmpeg command.
  std::string MakeSource(const CorpusFile& c) {
    int width = 0;
    int height = 0;
    std::sscanf(c.size, "%dx%d", &width, &height);
    // The scene is drawn small and scaled: drawing 4000x3000 pictures
    // pixel by pixel takes long.
    const int upright_height = c.rotate % 180 ? width : height;
    const int upright_width = c.rotate % 180 ? height : width;
    const int shrink = std::max(1, upright_height / 240);
    char scene[512];
    std::snprintf(scene, sizeof scene,
                  "color=c=gray:s=%dx%d:r=%s:d=%g,format=yuv444p,"
                  "geq=lum='if(lt(hypot((X-W/2)*%d/%d\\,Y-H/4)\\,H/6)\\,235\\,128)':cb=128:"
                  "cr=128,scale=%d:%d",
                  upright_width / shrink, upright_height / shrink, c.rate,
                  c.video_seconds / (c.damage == Damage::kClockJump ? 2 : 1), c.sar_num,
                  c.sar_den, upright_width, upright_height);
    std::string filter = std::string(scene) + (*c.store ? "," : "") + c.store;
    char sar[32];
    std::snprintf(sar, sizeof sar, ",setsar=%d/%d", c.sar_num, c.sar_den);
    filter += sar;
    if (std::string(c.store).find("format=") == std::string::npos) filter += ",format=yuv420p";
    const std::string path = world_.Path(c.file);
    const std::string stored = world_.Path(std::string("stored-") + c.file);
    auto make = [&](const std::string& to, const std::string& extra) {
      std::string command = "ffmpeg -v error -y -f lavfi -i " + Quote(filter);
      if (*c.sound) command += " -f lavfi -i " + Quote(c.sound);
      command += " " + std::string(c.codec_args) + " " + extra + " " + Quote(to) + " 2>&1";
      EXPECT_EQ(CommandOutput(command), "") << command;
    };
    switch (c.damage) {
      case Damage::kNone:
        make(c.rotate ? stored : path, "");
        break;
      case Damage::kClockJump:
        make(stored, "-f mpegts");
        make(path + ".later", "-f mpegts -output_ts_offset 3600");
        CommandOutput("cat " + Quote(stored) + " " + Quote(path + ".later") + " >" + Quote(path));
        break;
      case Damage::kUnknownSoundCode:
        make(path, "");
        // WAVE_FORMAT_PCM (1) in the sound's format chunk becomes 0x7777.
        EXPECT_TRUE(PatchFile(path, std::string("strf\x10\0\0\0\x01\0", 10),
                              std::string("strf\x10\0\0\0\x77\x77", 10)));
        break;
      case Damage::kUnknownPictureCode:
        make(path, "-tag:v FMP4");
        EXPECT_TRUE(PatchFile(path, "FMP4", "QQQQ"));
        break;
      case Damage::kSoundPages:
        make(path, "-fflags +bitexact");
        EXPECT_TRUE(GarbleOggSoundPages(path));
        break;
    }
    if (c.rotate) {
      // The turn as a phone's display matrix.
      const std::string command = "ffmpeg -v error -y -i " + Quote(stored) +
                                  " -c copy -metadata:s:v:0 rotate=" + std::to_string(c.rotate) +
                                  " " + Quote(path) + " 2>&1";
      EXPECT_EQ(CommandOutput(command), "") << command;
    }
    return path;
  }

  // How long the source's streams last. Its pictures: as many as it holds
  // at its rate (the lavfi scene makes whole pictures), or as long as it
  // was made where pictures are missing on purpose or its clock jumps. Its
  // sound: as long as it was made (codecs pad it to their blocks).
  struct Lengths {
    double picture;
    double sound;
  };
  Lengths SourceLengths(const CorpusFile& c, const std::string& source) {
    Lengths lengths{c.video_seconds, c.sound_seconds};
    if (c.damage == Damage::kClockJump) return lengths;
    double num = 0;
    double den = 1;
    if (std::string(c.store).find("select") == std::string::npos &&
        std::sscanf(c.rate, "%lf/%lf", &num, &den) >= 1 && num > 0)
      lengths.picture = Number(ProbeEntry(source, "v:0", "stream=nb_read_frames")) * den / num;
    return lengths;
  }

  // The output lasts as long as the longer stream; its sound is there,
  // silent where the source has none.
  void CheckDurations(const CorpusFile& c, const std::string& output, const Lengths& source) {
    const double length = std::max(source.picture, source.sound);
    const double rate = Number(CommandOutput(
        "ffprobe -v error -select_streams v:0 -show_entries stream=avg_frame_rate -of csv=p=0 " +
        Quote(output) + " | awk -F/ '{ print ($2 ? $1 / $2 : $1) }'"));
    ASSERT_GT(rate, 0);
    const double picture = PacketSpan(output, "v:0", 1 / rate);
    EXPECT_NEAR(picture, length, 1 / rate + 0.005) << "picture";
    // The sound lasts as long as the output's pictures, which may hold one
    // output frame more than the source (a frame shows the picture on
    // screen at its middle).
    EXPECT_NEAR(PacketSpan(output, "a:0"), picture, kSoundTolerance) << "sound";
    if (c.sound_seconds > 0)
      EXPECT_GT(MaxVolume(output), -40);
    else
      EXPECT_LT(MaxVolume(output), -80);
    // After a sound that ends early, silence (past the encoders' smear).
    if (c.sound_seconds > 0 && c.sound_seconds + 0.15 < length) {
      EXPECT_LT(MaxVolume(output, c.sound_seconds + 0.15), -80);
    }
  }

  // The picture fills the frame one way with the shape it is shown with,
  // on black bars, upright.
  void CheckShape(const CorpusFile& c, const std::string& output) {
    const int width = std::atoi(ProbeEntry(output, "v:0", "stream=width").c_str());
    const int height = std::atoi(ProbeEntry(output, "v:0", "stream=height").c_str());
    ASSERT_GT(width, 0);
    int sar_num = 1;
    int sar_den = 1;
    const std::string sar = ProbeEntry(output, "v:0", "stream=sample_aspect_ratio");
    if (std::sscanf(sar.c_str(), "%d:%d", &sar_num, &sar_den) != 2 || sar_num <= 0) sar_num = 1;
    if (sar_den <= 0) sar_den = sar_num = 1;
    const double output_sar = static_cast<double>(sar_num) / sar_den;

    const std::string luma = CommandOutput(
        "ffmpeg -v error -i " + Quote(output) +
        " -vf 'trim=end_frame=6,reverse' -frames:v 1 -f rawvideo -pix_fmt gray - 2>/dev/null");
    ASSERT_EQ(luma.size(), static_cast<size_t>(width) * height);
    int stored_width = 0;
    int stored_height = 0;
    std::sscanf(c.size, "%dx%d", &stored_width, &stored_height);
    double aspect = static_cast<double>(stored_width) * c.sar_num / c.sar_den / stored_height;
    if (c.rotate % 180) aspect = 1 / aspect;

    // The picture (grey and white) against the bars (black), to a pixel or
    // two of coding blur; pictures within 2 % of the frame's shape fill it.
    const Box picture = BoxAbove(luma, width, height, 60);
    const bool fills_width = std::abs(picture.width() - width) <= 3;
    const bool fills_height = std::abs(picture.height() - height) <= 3;
    EXPECT_TRUE(fills_width || fills_height) << picture.width() << "x" << picture.height();
    EXPECT_NEAR(picture.width() * output_sar / picture.height(), aspect, aspect * 0.03 + 0.02)
        << picture.width() << "x" << picture.height() << " at " << sar;
    EXPECT_NEAR(picture.left + picture.right, width - 1, 4);
    EXPECT_NEAR(picture.top + picture.bottom, height - 1, 4);

    // The circle is round on the screen and sits in the upper half; a
    // frame kept as small as a tiny source has too few lines to tell.
    if (height < kLeastLinesForTheCircle) return;
    const Box circle = BoxAbove(luma, width, height, 200);
    ASSERT_GT(circle.width(), 5);
    EXPECT_NEAR(circle.width() * output_sar / circle.height(), 1.0, 0.1)
        << circle.width() << "x" << circle.height();
    EXPECT_LT(circle.bottom, picture.top + picture.height() / 2);
  }
};

class MulticonvCorpusTest : public CorpusSourceTest,
                            public testing::WithParamInterface<CorpusFile> {};

TEST_P(MulticonvCorpusTest, EveryProfileKeepsTheLengthTheSoundAndTheShape) {
  const CorpusFile& c = GetParam();
  const std::string source = MakeSource(c);
  const Lengths lengths = *c.refusal ? Lengths{} : SourceLengths(c, source);
  std::vector<const char*> profiles(std::begin(kProfiles), std::end(kProfiles));
  if (std::find_if(std::begin(kWebSources), std::end(kWebSources), [&](const char* file) {
        return std::string(file) == c.file;
      }) != std::end(kWebSources))
    profiles.insert(profiles.end(), std::begin(kWebProfiles), std::end(kWebProfiles));
  for (const char* profile : profiles) {
    SCOPED_TRACE(profile);
    ProgramRun run = Multiconv("-q -y -p " + Quote(profile) + " -o " + Quote(out_) + " " +
                               Quote(source));
    if (*c.refusal) {
      // One line names the file and why.
      char expected[512];
      std::snprintf(expected, sizeof expected, c.refusal, source.c_str());
      EXPECT_EQ(run.exit_code, 1);
      EXPECT_EQ(run.err, "multiconv: " + std::string(expected) + "\n");
      EXPECT_TRUE(run.out_lines.empty());
      continue;
    }
    ASSERT_EQ(run.exit_code, 0) << run.err;
    ASSERT_EQ(run.out_lines.size(), 1u) << run.err;
    // Without sound, one line says what the output gets and why; nothing
    // else.
    const std::string silent =
        c.damage == Damage::kUnknownSoundCode
            ? " has sound that cannot be decoded (its format is unknown); the output gets a "
              "silent sound track\n"
            : " has no sound; the output gets a silent sound track\n";
    if (c.damage == Damage::kSoundPages) {
      // One line about the damage; the sound goes on where it can be
      // decoded, in its place (a stale time stamp put it seconds back,
      // and the capture waited for it).
      EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
      EXPECT_NE(run.err.find("errors reported while reading the source"), std::string::npos);
      EXPECT_LT(LongestSilence(run.out_lines[0]), 0.2);
    } else {
      EXPECT_EQ(run.err, c.sound_seconds > 0 ? "" : "multiconv: " + source + silent);
    }
    CheckDurations(c, run.out_lines[0], lengths);
    CheckShape(c, run.out_lines[0]);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, MulticonvCorpusTest, testing::ValuesIn(kCorpus),
                         [](const auto& info) {
                           std::string name = info.param.file;
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

// Two passes give the whole length too, where the picture or the sound is
// missing for part of it.
TEST_F(CorpusSourceTest, TwoPassesKeepTheLengthOfSourcesWithSoundMissingOrRunningOn) {
  for (const CorpusFile& c : kCorpus) {
    const std::string name = c.file;
    if (name != "elementary.m1v" && name != "flash.flv") continue;
    SCOPED_TRACE(name);
    const std::string source = MakeSource(c);
    ProgramRun run = Multiconv("-q -y -p AVI --passes 2 -o " + Quote(out_) + " " + Quote(source));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    ASSERT_EQ(run.out_lines.size(), 1u) << run.err;
    CheckDurations(c, run.out_lines[0], SourceLengths(c, source));
  }
}

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

class MulticonvStretchTest : public CorpusSourceTest,
                             public testing::WithParamInterface<StretchCase> {};

TEST_P(MulticonvStretchTest, TheUsersChoiceToStretchWidescreenHolds) {
  const StretchCase& c = GetParam();
  WriteFile(world_.Path("url.reg"),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Orvane\\Orvane Video Converter "
            "Zezivovi\\OutputConfig\\vc_aspect]\n@=dword:00000001\n");
  const CorpusFile wide{"wide.mp4", "640x360", "25", 1, "sine=r=48000:d=1", 1, 1, 1, "", 0,
                       "-c:v libx264 -preset ultrafast -c:a aac"};
  const std::string source = MakeSource(wide);
  ProgramRun run = Multiconv("-q -p " + Quote(c.profile) + " -o " + Quote(out_) + " " +
                             Quote(source));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(run.out_lines.size(), 1u) << run.err;
  const std::string& output = run.out_lines[0];
  EXPECT_EQ(ProbeEntry(output, "v:0", "stream=width"), std::to_string(c.width));
  EXPECT_EQ(ProbeEntry(output, "v:0", "stream=height"), std::to_string(c.height));
  if (*c.sar) {
    EXPECT_EQ(ProbeEntry(output, "v:0", "stream=sample_aspect_ratio"), c.sar);
  }
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

TEST_F(MulticonvTest, SplitPartsOfASourceWithoutSoundEachHaveTheirSilence) {
  ClipRecipe clip_recipe;
  clip_recipe.container = ClipContainer::kMkv;
  clip_recipe.has_audio = false;
  clip_recipe.seconds = 24;  // about 2.2 MB at the iPod profile's rates
  const std::string clip = world_.Path("big.mkv");
  ASSERT_EQ(WriteClip(clip, clip_recipe), "");
  ProgramRun run = Multiconv("-q -p iPod --split-mb 1 -o " + Quote(out_) + " " + Quote(clip));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_GE(run.out_lines.size(), 2u) << "the output did not split";
  double video = 0;
  for (const std::string& part : run.out_lines) {
    const double part_video = PacketSpan(part, "v:0");
    EXPECT_NEAR(PacketSpan(part, "a:0"), part_video, kSoundTolerance) << part;
    EXPECT_LT(MaxVolume(part), -80) << part;
    video += part_video;
  }
  EXPECT_NEAR(video, 24.0, 0.1 * run.out_lines.size());
}

}  // namespace
}  // namespace ovc::test
