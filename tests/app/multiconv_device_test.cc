// Every shipped profile's output of a hard clip (heavy noise, fast motion, a
// scene cut) as its player would take it: no second carries more video than
// the player's peak, the declared profile and level, the frame size and
// shape, and neither FFmpeg's decoders nor GStreamer's players have
// anything to complain about.

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
};
void PrintTo(const DeviceCase& c, std::ostream* os) { *os << c.profile; }

// The players' peaks are those of engine/record/device_limits.h; Windows
// Media keeps its 3-second buffer window, so its stream may carry four
// times its rate in one second.
const DeviceCase kDevices[] = {
    {"PSP", 768, "mpeg4", "mp4v", "Simple Profile", "4", "320x240", ""},
    {"PSP AVC", 768, "h264", "avc1", "Main", "21", "320x240", ""},
    {"iPod", 768, "h264", "avc1", "Constrained Baseline", "13", "320x240", ""},
    {"iPod MPEG-4", 2500, "mpeg4", "mp4v", "Simple Profile", "4", "320x240", ""},
    {"3GP phone", 128, "h263", "s263", "", "", "176x144", ""},
    {"3GP MPEG-4", 384, "mpeg4", "mp4v", "Simple Profile", "3", "176x144", ""},
    {"AVI", 4854, "mpeg4", "XVID", "Simple Profile", "4", "640x480", ""},
    {"MPEG-2", 9800, "mpeg2video", "", "Main", "8", "720x480", "4:3"},
    {"QuickTime", 8000, "mpeg4", "mp4v", "Simple Profile", "4", "640x480", ""},
    {"WMV", 2000, "wmv2", "WMV2", "", "", "320x240", ""},
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
    EXPECT_EQ(CommandOutput("ffmpeg -nostdin -v error -i " + Quote(path) + " -f null - 2>&1"), "");
    EXPECT_EQ(GstreamerComplaints(path), "");
  }
}

TEST_F(MulticonvDeviceTest, Mpeg2IsAProgramStreamAtAStandardSizeShownAtTheSourcesShape) {
  const std::string clip = HardClip("wide.mkv", 640, 360);
  const std::string path = Convert("MPEG-2", clip);
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(ProbeEntry(path, "v:0", "stream=width") + "x" + ProbeEntry(path, "v:0", "stream=height"),
            "720x480");
  EXPECT_EQ(ProbeEntry(path, "v:0", "stream=display_aspect_ratio"), "16:9");
  const std::string data = ReadFile(path);
  // A pack header: 00 00 01 BA, then '01' in the top bits for MPEG-2 (MPEG-1
  // system packs have '0010').
  ASSERT_GE(data.size(), 14u);
  ASSERT_EQ(data.substr(0, 4), std::string("\x00\x00\x01\xBA", 4));
  EXPECT_EQ(static_cast<unsigned char>(data[4]) >> 6, 1u);
  // The sequence header's bit rate (400 bit/s units) and buffer (16 kbit
  // units): a true ceiling, not the "variable" 0x3FFFF, and a buffer Main
  // Level holds.
  const size_t at = data.find(std::string("\x00\x00\x01\xB3", 4));
  ASSERT_NE(at, std::string::npos);
  ASSERT_GE(data.size(), at + 12);
  auto byte = [&](size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(data[at + i])); };
  const unsigned bit_rate = (byte(8) << 10) | (byte(9) << 2) | (byte(10) >> 6);
  const unsigned buffer = ((byte(10) & 0x1F) << 5) | (byte(11) >> 3);
  EXPECT_NE(bit_rate, 0x3FFFFu);
  EXPECT_LE(bit_rate * 400, 9800000u);
  EXPECT_GT(buffer, 0u);
  EXPECT_LE(buffer, 112u);
  // 16:9 is aspect code 3, in the top four bits of byte 7.
  EXPECT_EQ(byte(7) >> 4, 3u);
}

}  // namespace
}  // namespace ovc::test
