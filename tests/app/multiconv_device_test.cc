// Every shipped profile's output of a hard clip (heavy noise, fast motion, a
// scene cut) as its player would take it: no second carries more video than
// the player's peak, the declared profile, level and peak rate, the frame
// size and shape, and neither FFmpeg's decoders nor GStreamer's players have
// anything to complain about. MPEG program streams and DVD sectors are read
// with parsers of their own here.

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/multiconv_fixture.h"
#include "support/command_output.h"

namespace ovc::test {
namespace {

struct DeviceCase {
  const char* profile;
  int peak_kbps;  // the most video in any one second
  const char* codec;
  const char* tag;  // codec_tag_string; "" not checked
  const char* level_profile;  // ffprobe's profile; "" not checked
  const char* level;          // ffprobe's level; "" not checked
  const char* size;           // of a 4:3 source
  const char* display_aspect;  // "" not checked
  bool index_first;            // moov before mdat, for players that stream
};
void PrintTo(const DeviceCase& c, std::ostream* os) { *os << c.profile; }

// The players' peaks are those of engine/record/device_limits.h; Windows
// Media keeps its 3-second buffer window, so its stream may carry four
// times its rate in one second; the web's files three times theirs.
const DeviceCase kDevices[] = {
    {"PSP", 768, "mpeg4", "mp4v", "Simple Profile", "4", "320x240", "", false},
    {"PSP AVC", 768, "h264", "avc1", "Main", "21", "320x240", "", false},
    {"iPod", 768, "h264", "avc1", "Constrained Baseline", "13", "320x240", "", false},
    {"iPod MPEG-4", 2500, "mpeg4", "mp4v", "Simple Profile", "4", "320x240", "", false},
    {"3GP phone", 128, "h263", "s263", "", "", "176x144", "", false},
    {"3GP MPEG-4", 384, "mpeg4", "mp4v", "Simple Profile", "3", "176x144", "", false},
    {"AVI", 4854, "mpeg4", "XVID", "Simple Profile", "4", "640x480", "", false},
    {"MPEG-2", 9800, "mpeg2video", "", "Main", "8", "720x480", "4:3", false},
    {"QuickTime", 8000, "mpeg4", "mp4v", "Simple Profile", "4", "640x480", "", false},
    {"WMV", 2000, "wmv2", "WMV2", "", "", "320x240", "", false},
    // A source smaller than the box keeps its size; the level is the
    // lowest of the phone's that holds it, the peak its High-profile rate.
    {"Phone (H.264 720p)", 17500, "h264", "avc1", "High", "31", "480x360", "", true},
    {"Phone (H.264 1080p)", 17500, "h264", "avc1", "High", "31", "480x360", "", true},
    {"iPhone/iPad (HEVC)", 10000, "hevc", "hvc1", "Main", "93", "480x360", "", true},
    // The web's players take any rate; the rate control still keeps each
    // second near the asked one. Sizes follow the source.
    {"Web (WebM VP9)", 6000, "vp9", "", "", "", "480x360", "", false},
    {"AV1 (small files)", 3000, "av1", "av01", "", "", "480x360", "", false},
};

// The most bits of the first video stream whose decoding times lie within
// one second of each other, in kbit/s.
double PeakKbps(const std::string& path) {
  std::istringstream lines(CommandOutput(
      "ffprobe -v error -select_streams v:0 -show_entries packet=dts_time,pts_time,size "
      "-of csv=p=0 " + Quote(path)));
  std::vector<std::pair<double, double>> packets;  // seconds, bits
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string dts, pts, size;
    std::getline(fields, dts, ',');
    std::getline(fields, pts, ',');
    std::getline(fields, size, ',');
    const std::string& time = dts != "N/A" ? dts : pts;
    if (time == "N/A" || size.empty()) continue;
    packets.push_back({std::atof(time.c_str()), 8.0 * std::atof(size.c_str())});
  }
  std::sort(packets.begin(), packets.end());
  double peak = 0, sum = 0;
  size_t end = 0;
  for (size_t i = 0; i < packets.size(); ++i) {
    while (end < packets.size() && packets[end].first < packets[i].first + 1 - 1e-6)
      sum += packets[end++].second;
    peak = std::max(peak, sum);
    sum -= packets[i].second;
  }
  return peak / 1000;
}

// An MPEG-4 sample description's esds as a player reads it: the most bits
// the stream carries in one second, its buffer, and the profile and level
// of the visual object sequence in its decoder configuration.
struct Esds {
  int64_t max_bit_rate = -1;
  int64_t buffer_bytes = -1;
  int profile_level = -1;
};
Esds ReadVideoEsds(const std::string& data) {
  Esds esds;
  const size_t box = data.find("esds", data.find("mp4v", data.find("moov")));
  if (box == std::string::npos) return esds;
  auto byte = [&](size_t i) { return i < data.size() ? static_cast<unsigned char>(data[i]) : 0u; };
  size_t at = box + 8;  // past the name, version and flags
  // A descriptor: a tag, then a length of 7 bits per byte.
  auto descriptor = [&](size_t* i) {
    ++*i;
    for (int n = 0; n < 4 && (byte((*i)++) & 0x80); ++n) {
    }
  };
  descriptor(&at);  // ES_Descriptor
  const unsigned flags = byte(at + 2);
  at += 3 + (flags & 0x80 ? 2 : 0) + (flags & 0x40 ? 1 + byte(at + 3) : 0) + (flags & 0x20 ? 2 : 0);
  descriptor(&at);  // DecoderConfigDescriptor
  auto be = [&](size_t i, int bytes) {
    int64_t value = 0;
    for (int k = 0; k < bytes; ++k) value = value << 8 | byte(i + k);
    return value;
  };
  esds.buffer_bytes = be(at + 2, 3);
  esds.max_bit_rate = be(at + 5, 4);
  const size_t vos = data.find(std::string("\x00\x00\x01\xB0", 4), at + 13);
  if (vos != std::string::npos && vos < box + 200) esds.profile_level = static_cast<int>(byte(vos + 4));
  return esds;
}

// The top-level boxes of an MP4 file, in order ("ftyp", "moov", "mdat" …).
std::vector<std::string> TopLevelBoxes(const std::string& data) {
  std::vector<std::string> boxes;
  size_t at = 0;
  while (at + 8 <= data.size()) {
    uint64_t size = 0;
    for (int i = 0; i < 4; ++i) size = size << 8 | static_cast<unsigned char>(data[at + i]);
    if (size == 1 && at + 16 <= data.size()) {
      size = 0;
      for (int i = 8; i < 16; ++i) size = size << 8 | static_cast<unsigned char>(data[at + i]);
    }
    boxes.push_back(data.substr(at + 4, 4));
    if (size < 8) break;
    at += size;
  }
  return boxes;
}

bool IndexBeforeMedia(const std::string& path) {
  const std::vector<std::string> boxes = TopLevelBoxes(ReadFile(path));
  const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
  const auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
  return moov != boxes.end() && mdat != boxes.end() && moov < mdat;
}

// What GStreamer says when it plays `path` to the end through its own
// demuxers and decoders: its warnings and errors, or "" when it has none
// (or when GStreamer isn't installed; scripts/install-deps installs it).
std::string GstreamerComplaints(const std::string& path) {
  if (CommandOutput("command -v gst-launch-1.0").empty()) return "";
  return CommandOutput("gst-launch-1.0 filesrc location=" + Quote(path) +
                       " ! decodebin name=d d. ! queue ! fakesink sync=false"
                       " d. ! queue ! fakesink sync=false 2>&1 | grep -E 'WARNING|ERROR'"
                       " || true");
}

class MulticonvDeviceTest : public MulticonvTest {
 protected:
  // A hard clip: scrolling test pattern, then scrolling bars, under heavy
  // noise that changes every picture; 4:3 or 16:9.
  std::string HardClip(const std::string& name, int width, int height) {
    const std::string path = world_.Path(name);
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string command =
        "ffmpeg -v error -nostdin -y -filter_complex \""
        "testsrc2=s=" + size + ":r=30000/1001:d=1.5,scroll=h=0.031:v=0.017[a];"
        "smptehdbars=s=" + size + ":r=30000/1001:d=1.5,scroll=h=-0.05[b];"
        "[a][b]concat=n=2:v=1:a=0,format=yuv420p,noise=alls=60:allf=t+u[v]\" "
        "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=3 -map '[v]' -map 0:a "
        "-c:v libx264 -preset ultrafast -qp 6 -c:a pcm_s16le -ac 2 " + Quote(path) +
        " 2>&1";
    EXPECT_EQ(CommandOutput(command), "");
    return path;
  }

  // A short H.264 + AAC clip of the testsrc2 `source` ("s=WxH:r=R") whose
  // file asks players to turn it by `rotate` degrees.
  std::string TurnedClip(const std::string& name, const std::string& source, int rotate) {
    const std::string coded = world_.Path(name + "-coded.mp4");
    const std::string clip = world_.Path(name + ".mp4");
    EXPECT_EQ(CommandOutput("ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=" + source +
                            ":d=0.5 -f lavfi -i sine=sample_rate=48000:d=0.5 -c:v libx264 "
                            "-preset ultrafast -c:a aac " + Quote(coded) + " 2>&1"),
              "");
    // The turn reaches the file's display matrix only when the streams are
    // copied.
    EXPECT_EQ(CommandOutput("ffmpeg -v error -nostdin -y -i " + Quote(coded) +
                            " -c copy -metadata:s:v:0 rotate=" + std::to_string(rotate) + " " +
                            Quote(clip) + " 2>&1"),
              "");
    return clip;
  }

  // Converts `clip` with `profile`; returns the output's path, "" on failure.
  std::string Convert(const std::string& profile, const std::string& clip) {
    ProgramRun run = Multiconv("-q -y -p " + Quote(profile) + " -o " + Quote(out_) + " " +
                               Quote(clip));
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err.find("underflow"), std::string::npos) << run.err;
    return run.out_lines.empty() ? "" : run.out_lines[0];
  }
};

TEST_F(MulticonvDeviceTest, EveryProfileStaysInsideItsPlayersLimitsOnHardContent) {
  const std::string clip = HardClip("hard.mkv", 480, 360);
  for (const DeviceCase& c : kDevices) {
    SCOPED_TRACE(c.profile);
    const std::string path = Convert(c.profile, clip);
    ASSERT_FALSE(path.empty());
    EXPECT_LE(PeakKbps(path), c.peak_kbps);
    EXPECT_EQ(ProbeEntry(path, "v:0", "stream=codec_name"), c.codec);
    if (*c.tag) {
      EXPECT_EQ(ProbeEntry(path, "v:0", "stream=codec_tag_string"), c.tag);
    }
    if (*c.level_profile) {
      EXPECT_EQ(ProbeEntry(path, "v:0", "stream=profile"), c.level_profile);
      EXPECT_EQ(ProbeEntry(path, "v:0", "stream=level"), c.level);
    }
    const std::string size = ProbeEntry(path, "v:0", "stream=width") + "x" +
                             ProbeEntry(path, "v:0", "stream=height");
    EXPECT_EQ(size, c.size);
    if (std::string(c.tag) == "mp4v") {
      // The esds declares the second that carries the most, as measured
      // here, and the level the stream's header has (Simple Profile: 0x0L).
      const Esds esds = ReadVideoEsds(ReadFile(path));
      EXPECT_NEAR(esds.max_bit_rate / 1000.0, PeakKbps(path), 1.0);
      EXPECT_GT(esds.buffer_bytes, 0);
      EXPECT_EQ(esds.profile_level, std::atoi(c.level));
    }
    if (std::string(c.codec) == "h263") {
      // The sample description's level: 45 for QCIF at 128 kbit/s (the
      // muxer alone writes 10, which allows 64).
      const std::string data = ReadFile(path);
      const size_t at = data.find("d263", data.find("moov"));
      ASSERT_NE(at, std::string::npos);
      ASSERT_GT(data.size(), at + 9);
      EXPECT_EQ(static_cast<int>(static_cast<unsigned char>(data[at + 9])), 45);
    }
    if (*c.display_aspect) {
      EXPECT_EQ(ProbeEntry(path, "v:0", "stream=display_aspect_ratio"), c.display_aspect);
    }
    if (c.index_first) {
      EXPECT_TRUE(IndexBeforeMedia(path));
      EXPECT_EQ(ProbeEntry(path, "a:0", "stream=codec_name"), "aac");
      EXPECT_EQ(ProbeEntry(path, "a:0", "stream=sample_rate"), "48000");
      EXPECT_EQ(ProbeEntry(path, "a:0", "stream=channels"), "2");
    }
    EXPECT_EQ(CommandOutput("ffmpeg -nostdin -v error -i " + Quote(path) + " -f null - 2>&1"), "");
    EXPECT_EQ(GstreamerComplaints(path), "");
  }
}

// A VOB profile of the user's own: the shipped MPEG-2 one with the VOB
// extension, another size and rate.
struct ProgramStreamCase {
  const char* profile;
  const char* size;  // the profile's; "" the shipped one
  const char* rate;
  // What the file must have of a 16:9 source.
  const char* frame;
  const char* frame_rate;
  unsigned aspect_code;  // 2 4:3, 3 16:9
  bool dvd;
};
const ProgramStreamCase kProgramStreams[] = {
    {"MPEG-2", "", "", "720x480", "30000/1001", 3, false},
    // Sizes and rates a DVD doesn't take become the nearest it does; a
    // 352-wide frame is shown 4:3 (the picture letterboxed).
    {"DVD NTSC", "640x360", "23.976", "704x480", "30000/1001", 3, true},
    {"DVD PAL", "352x288", "25", "352x288", "25/1", 2, true},
};

// Warnings and errors dvdauthor gives making a title of `path`; "" also
// when dvdauthor isn't installed (scripts/install-deps installs it).
std::string DvdauthorComplaints(const std::string& path, const std::string& folder, bool pal) {
  if (CommandOutput("command -v dvdauthor").empty()) return "";
  return CommandOutput(std::string("VIDEO_FORMAT=") + (pal ? "PAL" : "NTSC") +
                       " dvdauthor -o " + Quote(folder) + " -t " + Quote(path) +
                       " 2>&1 | grep -E 'WARN|ERR' || true");
}

TEST_F(MulticonvDeviceTest, ProgramStreamsAreMpeg2AndAVobIsInDvdSectors) {
  const std::string clip = HardClip("wide.mkv", 640, 360);
  ASSERT_EQ(Multiconv("--list-profiles").exit_code, 0);
  const std::string shipped = ReadFile(world_.home() + "/profile/MPEG-2.pr");
  for (const ProgramStreamCase& c : kProgramStreams) {
    SCOPED_TRACE(c.profile);
    if (c.dvd) {
      std::string text = shipped;
      for (const auto& [key, value] : {std::pair<std::string, std::string>{"fileext", "\"vob\""},
                                       {"s", std::string("\"") + c.size + "\""}, {"r", c.rate}}) {
        const size_t at = text.find("\n" + key + (key == "s" ? "\t" : " "));
        ASSERT_NE(at, std::string::npos) << key;
        text.replace(at, text.find('\n', at + 1) - at, "\n" + key + " = " + value);
      }
      WriteFile(world_.home() + "/profile/" + c.profile + ".pr", text);
    }
    const std::string path = Convert(c.profile, clip);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.substr(path.size() - 4), c.dvd ? ".vob" : ".mpg");
    EXPECT_EQ(ProbeEntry(path, "v:0", "stream=width") + "x" +
                  ProbeEntry(path, "v:0", "stream=height"), c.frame);
    EXPECT_EQ(ProbeEntry(path, "v:0", "stream=r_frame_rate"), c.frame_rate);
    EXPECT_EQ(ProbeEntry(path, "a:0", "stream=sample_rate"), "48000");
    const std::string data = ReadFile(path);
    // Pack headers: 00 00 01 BA, then '01' in the top bits for MPEG-2 (MPEG-1
    // system packs have '0010').
    ASSERT_GE(data.size(), 2048u);
    auto byte = [&](size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(data[i])); };
    ASSERT_EQ(data.substr(0, 4), std::string("\x00\x00\x01\xBA", 4));
    EXPECT_EQ(byte(4) >> 6, 1u);
    // The sequence header's bit rate (400 bit/s units) and buffer (16 kbit
    // units): a true ceiling, not the "variable" 0x3FFFF, and a buffer Main
    // Level holds; the aspect code in the top four bits of byte 7.
    const size_t seq = data.find(std::string("\x00\x00\x01\xB3", 4));
    ASSERT_NE(seq, std::string::npos);
    const unsigned bit_rate = (byte(seq + 8) << 10) | (byte(seq + 9) << 2) | (byte(seq + 10) >> 6);
    const unsigned buffer = ((byte(seq + 10) & 0x1F) << 5) | (byte(seq + 11) >> 3);
    EXPECT_LE(bit_rate * 400, c.dvd ? 9000000u : 9800000u);
    EXPECT_GT(buffer, 0u);
    EXPECT_LE(buffer, 112u);
    EXPECT_EQ(byte(seq + 7) >> 4, c.aspect_code);
    if (!c.dvd) continue;
    // Sectors: every 2,048 bytes an MPEG-2 pack at 10.08 Mbit/s (25,200
    // units of 50 bytes/s); a navigation pack (private stream 2) first and
    // at least one per second of the 3-second clip.
    ASSERT_EQ(data.size() % 2048, 0u);
    int navigation = 0;
    for (size_t at = 0; at < data.size(); at += 2048) {
      ASSERT_EQ(data.substr(at, 4), std::string("\x00\x00\x01\xBA", 4)) << "sector at " << at;
      ASSERT_EQ(byte(at + 4) >> 6, 1u) << "sector at " << at;
      EXPECT_EQ((byte(at + 10) << 14) | (byte(at + 11) << 6) | (byte(at + 12) >> 2), 25200u);
      size_t i = at + 14 + (byte(at + 13) & 7);
      if (data.compare(i, 4, std::string("\x00\x00\x01\xBB", 4)) == 0)
        i += 6 + ((byte(i + 4) << 8) | byte(i + 5));
      const bool nav = data.compare(i, 4, std::string("\x00\x00\x01\xBF", 4)) == 0;
      if (at == 0) EXPECT_TRUE(nav) << "the file starts with a navigation pack";
      navigation += nav;
    }
    EXPECT_GE(navigation, 3);
    EXPECT_EQ(DvdauthorComplaints(path, world_.Path("dvd-" + std::string(c.rate)),
                                  std::string(c.rate) == "25"), "");
    EXPECT_EQ(CommandOutput("ffmpeg -nostdin -v error -i " + Quote(path) + " -f null - 2>&1"), "");
    EXPECT_EQ(GstreamerComplaints(path), "");
  }
}

// Today's profiles take the source's shape inside their box, turned for an
// upright picture, never enlarged, and its rate up to what the level takes.
struct FollowCase {
  const char* profile;
  const char* source;  // testsrc2 size, rate and, for an upright clip, rotation
  int rotate;          // degrees the file asks players to turn the picture
  const char* frame;
  const char* frame_rate;
};
const FollowCase kFollows[] = {
    // A phone shot upright at 60 fps: the box turned; level 3.1 holds
    // 720x1280 at 30 pictures a second only.
    {"Phone (H.264 720p)", "s=1280x720:r=60", 90, "720x1280", "30/1"},
    {"Phone (H.264 720p)", "s=1440x1080:r=25", 0, "960x720", "25/1"},
    {"iPhone/iPad (HEVC)", "s=640x480:r=50", 0, "640x480", "50/1"},
};

TEST_F(MulticonvDeviceTest, TodaysProfilesFollowTheSourcesShapeAndRate) {
  int n = 0;
  for (const FollowCase& c : kFollows) {
    SCOPED_TRACE(std::string(c.profile) + " of " + c.source);
    const std::string clip = TurnedClip("follow" + std::to_string(n++), c.source, c.rotate);
    const std::string path = Convert(c.profile, clip);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(ProbeEntry(path, "v:0", "stream=width") + "x" +
                  ProbeEntry(path, "v:0", "stream=height"),
              c.frame);
    EXPECT_EQ(ProbeEntry(path, "v:0", "stream=r_frame_rate"), c.frame_rate);
    EXPECT_TRUE(IndexBeforeMedia(path));
    EXPECT_EQ(CommandOutput("ffmpeg -nostdin -v error -i " + Quote(path) + " -f null - 2>&1"), "");
  }
}

// In one run, every input's output follows that input's own shape, the
// same as the last one's or not.
TEST_F(MulticonvDeviceTest, EachInputOfABatchKeepsItsShape) {
  const std::string clips[] = {TurnedClip("four-three-a", "s=1440x1080:r=25", 0),
                               TurnedClip("four-three-b", "s=1440x1080:r=25", 0),
                               TurnedClip("upright", "s=1280x720:r=25", 90)};
  ProgramRun run = Multiconv("-q -y -p " + Quote("Phone (H.264 720p)") + " -o " + Quote(out_) +
                             " " + Quote(clips[0]) + " " + Quote(clips[1]) + " " + Quote(clips[2]));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(run.out_lines.size(), 3u);
  const char* const frames[] = {"960x720", "960x720", "720x1280"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(ProbeEntry(run.out_lines[i], "v:0", "stream=width") + "x" +
                  ProbeEntry(run.out_lines[i], "v:0", "stream=height"),
              frames[i])
        << run.out_lines[i];
  }
}

}  // namespace
}  // namespace ovc::test
