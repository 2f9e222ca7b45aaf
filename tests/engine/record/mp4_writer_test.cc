#include "engine/record/mp4_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/scripted_message_box.h"
#include "engine/record/avi_writer_test_support.h"
#include "engine/record/recording_session.h"
#include "support/command_output.h"
#include "support/temp_world.h"
#include "support/file_size_limit.h"
#include "support/i420_picture.h"

namespace ovc {
namespace {

// Opens the FFmpeg writer for every format, as the format factory does for
// codes 2 and up.
class Mp4Factory : public OutputFactory {
 public:
  std::unique_ptr<FileOutput> Open(const OutputConfig& output, const std::string& path,
                                   bool audio_enabled) override {
    return Mp4Writer::Open(output, path, audio_enabled);
  }
};

using test::CommandOutput;

// What ffprobe says about a file: "format.<key>" and "<stream>.<key>" with
// stream "v" or "a" (the first of its kind), plus each stream's duration
// and bit rate measured from its decoded frames and its packets.
struct Probe {
  std::map<std::string, std::string> values;
  double video_seconds = 0, audio_seconds = 0;  // from the decoded frames' times
  double video_kbps = 0, audio_kbps = 0;        // packet bytes over those times
  int video_frames = 0;                         // decoded pictures

  std::string operator[](const std::string& key) const {
    auto it = values.find(key);
    return it == values.end() ? "" : it->second;
  }
};

Probe ProbeFile(const std::string& path) {
  Probe probe;
  std::istringstream streams(
      CommandOutput("ffprobe -v error -show_format -show_streams -of flat '" + path + "' 2>/dev/null"));
  std::map<std::string, std::string> kind_of;  // "0" -> "v"
  std::string line;
  std::vector<std::pair<std::string, std::string>> pending;
  while (std::getline(streams, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    pending.emplace_back(key, value);
    // streams.stream.N.codec_type="video"
    if (key.rfind("streams.stream.", 0) == 0 && key.size() > 11 &&
        key.substr(key.size() - 11) == ".codec_type") {
      std::string index = key.substr(15, key.size() - 15 - 11);
      // A DVD's navigation packs are a data stream, neither kind.
      if (!kind_of.count(index) && (value == "video" || value == "audio"))
        kind_of[index] = value == "video" ? "v" : "a";
    }
  }
  std::map<std::string, bool> kind_taken;
  std::map<std::string, std::string> first_of_kind;  // index -> kind, first stream of each kind
  for (const auto& [index, kind] : kind_of)
    if (!kind_taken[kind]) {
      kind_taken[kind] = true;
      first_of_kind[index] = kind;
    }
  for (const auto& [key, value] : pending) {
    if (key.rfind("format.", 0) == 0) {
      std::string name = key.substr(7);
      // format.tags.major_brand -> format.major_brand
      if (name.rfind("tags.", 0) == 0) name = name.substr(5);
      probe.values["format." + name] = value;
    } else if (key.rfind("streams.stream.", 0) == 0) {
      size_t dot = key.find('.', 15);
      std::string index = key.substr(15, dot - 15);
      auto kind = first_of_kind.find(index);
      if (kind != first_of_kind.end())
        probe.values[kind->second + "." + key.substr(dot + 1)] = value;
    }
  }

  // Decoded frames, in presentation order, give each stream's span; a
  // frame without a time (the MPEG program stream leaves some out) follows
  // the one before it.
  std::istringstream frames(
      CommandOutput("ffprobe -v error -show_entries "
          "frame=stream_index,best_effort_timestamp_time,pkt_duration_time "
          "-of compact=p=0 '" +
          path + "' 2>/dev/null"));
  struct Span {
    double start = 1e9, end = -1e9, last_end = 0, bytes = 0;
    int frames = 0;
  };
  std::map<std::string, Span> spans;
  auto fields_of = [](const std::string& text) {
    std::map<std::string, std::string> fields;
    std::istringstream parts(text);
    std::string part;
    while (std::getline(parts, part, '|')) {
      size_t eq = part.find('=');
      if (eq != std::string::npos) fields[part.substr(0, eq)] = part.substr(eq + 1);
    }
    return fields;
  };
  while (std::getline(frames, line)) {
    auto fields = fields_of(line);
    auto kind = kind_of.find(fields["stream_index"]);
    if (kind == kind_of.end()) continue;
    Span& span = spans[kind->second];
    const std::string& time = fields["best_effort_timestamp_time"];
    double start = time == "N/A" ? span.last_end : std::atof(time.c_str());
    double end = start + std::atof(fields["pkt_duration_time"].c_str());
    span.start = std::min(span.start, start);
    span.end = std::max(span.end, end);
    span.last_end = end;
    ++span.frames;
  }
  std::istringstream packets(
      CommandOutput("ffprobe -v error -show_entries packet=stream_index,size "
          "-of compact=p=0 '" +
          path + "' 2>/dev/null"));
  while (std::getline(packets, line)) {
    auto fields = fields_of(line);
    auto kind = kind_of.find(fields["stream_index"]);
    if (kind != kind_of.end()) spans[kind->second].bytes += std::atof(fields["size"].c_str());
  }
  if (spans.count("v")) {
    probe.video_seconds = spans["v"].end - spans["v"].start;
    probe.video_kbps = spans["v"].bytes * 8 / probe.video_seconds / 1000;
    probe.video_frames = spans["v"].frames;
  }
  if (spans.count("a")) {
    probe.audio_seconds = spans["a"].end - spans["a"].start;
    probe.audio_kbps = spans["a"].bytes * 8 / probe.audio_seconds / 1000;
  }
  return probe;
}

std::string ProbeDump(const Probe& probe) {
  std::ostringstream out;
  for (const auto& [key, value] : probe.values) out << key << "=" << value << "\n";
  out << "video " << probe.video_seconds << " s " << probe.video_kbps << " kbit/s, audio "
      << probe.audio_seconds << " s " << probe.audio_kbps << " kbit/s\n";
  return out.str();
}

// A picture with detail everywhere: a landscape of soft colour bands and a
// fixed noise texture that pans two pixels right and one down per frame,
// with a bright square crossing it, so that the encoders' rate control has
// real work in every frame (as with a camera pan) and motion to find.
class MovingPicture {
 public:
  MovingPicture(int width, int height) : width_(width), height_(height) {
    // Random values on a coarse grid, smoothed between grid points: detail
    // like foliage or gravel rather than sensor noise.
    std::vector<uint8_t> coarse(static_cast<size_t>(kGrid) * kGrid);
    uint32_t seed = 12345;
    for (uint8_t& value : coarse) {
      seed = seed * 1664525u + 1013904223u;
      value = static_cast<uint8_t>(seed >> 24);
    }
    texture_.resize(static_cast<size_t>(kTexture) * kTexture);
    const int step = kTexture / kGrid;
    for (int y = 0; y < kTexture; ++y)
      for (int x = 0; x < kTexture; ++x) {
        const int gx = x / step, gy = y / step;
        const double fx = double(x % step) / step, fy = double(y % step) / step;
        auto at = [&](int i, int j) { return coarse[(j % kGrid) * kGrid + i % kGrid]; };
        texture_[static_cast<size_t>(y) * kTexture + x] =
            static_cast<uint8_t>((1 - fy) * ((1 - fx) * at(gx, gy) + fx * at(gx + 1, gy)) +
                                 fy * ((1 - fx) * at(gx, gy + 1) + fx * at(gx + 1, gy + 1)));
      }
  }

  std::vector<uint8_t> Frame(int index) const {
    std::vector<uint8_t> frame(static_cast<size_t>(width_) * height_ * 2);
    const int box = width_ / 8;
    const int box_x = (index * 5) % (width_ - box);
    const int box_y = height_ / 3;
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) {
        // Landscape coordinates: the camera moves right and down.
        const int u = x + 2 * index, v = y + index;
        const uint8_t noise = texture_[static_cast<size_t>(v % kTexture) * kTexture + u % kTexture];
        const bool in_box = x >= box_x && x < box_x + box && y >= box_y && y < box_y + box;
        uint8_t* p = &frame[(static_cast<size_t>(y) * width_ + x) * 2];
        p[0] = in_box ? 235
                      : static_cast<uint8_t>(std::clamp(
                            80 + 50 * std::sin(u / 23.0) + 30 * std::cos(v / 17.0) + noise / 4,
                            16.0, 235.0));
        p[1] = static_cast<uint8_t>(128 + 40 * (x & 1 ? std::sin(v / 31.0) : std::cos(u / 41.0)));
      }
    return test::I420FromYuy2(frame, width_, height_);
  }

 private:
  static constexpr int kTexture = 64;
  static constexpr int kGrid = 16;
  int width_, height_;
  std::vector<uint8_t> texture_;
};

struct RecordCase {
  const char* name;
  int format;
  int device_kind;
  bool use_h264;
  bool use_mpeg4_tag;
  bool mpg_ac3;
  int format_3gp;
  int width, height;
  double fps;
  float video_kbps;
  int input_rate, input_channels;
  int audio_rate, audio_channels, audio_kbps;
  // What ffprobe should read back.
  const char* format_name;
  const char* brand;  // major_brand, "" for containers without one
  const char* video_codec;
  const char* video_profile;  // "" when not checked
  int video_level;            // -99 when not checked
  const char* video_tag;      // codec_tag_string, "" when not checked
  const char* audio_codec;
  const char* audio_profile;
  // Seconds of encoder delay the container plays before the sound: AVI has
  // no way to mark MP3's as skipped.
  double audio_delay = 0;
  int crf = 0;  // constant quality instead of the bit rate; 0: none
};

struct RecordParam {
  RecordCase c;
  int processors;
};
void PrintTo(const RecordParam& p, std::ostream* os) {
  *os << p.c.name << (p.processors > 1 ? "Threads" : "Inline");
}

OutputConfig ConfigFor(const RecordCase& c) {
  OutputConfig output;
  output.title = "Tëst Clip";
  output.format = c.format;
  output.device_kind = c.device_kind;
  output.use_h264 = c.use_h264;
  output.use_mpeg4_tag = c.use_mpeg4_tag;
  output.mpg_ac3 = c.mpg_ac3;
  output.format_3gp = c.format_3gp;
  output.width = c.width;
  output.height = c.height;
  output.out_frame_rate = c.fps;
  output.video_bitrate = c.video_kbps;
  output.input_sample_rate = c.input_rate;
  output.input_channels = c.input_channels;
  output.audio_output_freq = c.audio_rate;
  output.audio_channels = c.audio_channels;
  output.stereo = c.audio_channels == 1 ? 3 : 0;
  output.audio_bitrate = c.audio_kbps;
  output.left_right_channel = 0;
  output.video_quality = c.crf;
  return output;
}

class Mp4WriterTest : public testing::Test {
 protected:
  // Records `frames` frames of the moving picture, each with the sound of
  // its period: `sound` of the input sample frame and channel, by default
  // a tone (440 Hz on the left, 660 Hz on the others). `output_failed`
  // (when given) tells whether the session saw the output fail. Returns -1
  // when the session could not open the output, else 0.
  using Sound = std::function<int16_t(long sample, int channel)>;
  int Record(OutputConfig* output, const std::string& path, int frames, int processors,
             bool* output_failed = nullptr, const Sound& sound = nullptr) {
    Mp4Factory factory;
    RecordingSession session(output, &factory, processors);
    session.set_output_path(path);
    if (session.OpenOutput(false) != 0) return -1;
    session.StartProducers();
    MovingPicture picture(output->width, output->height);
    const int channels = output->input_channels;
    const double rate = output->input_sample_rate;
    std::vector<int16_t> pcm;
    long t = 0;
    for (int i = 0; i < frames; ++i) {
      long end = static_cast<long>(std::floor((i + 1) * rate / output->out_frame_rate));
      int n = static_cast<int>(end - t);
      pcm.resize(static_cast<size_t>(n) * channels);
      for (int s = 0; s < n; ++s, ++t)
        for (int c = 0; c < channels; ++c)
          pcm[static_cast<size_t>(s) * channels + c] =
              sound ? sound(t, c)
                    : static_cast<int16_t>(
                          8000 * std::sin(2 * M_PI * (c == 0 ? 440.0 : 660.0) * t / rate));
      std::vector<uint8_t> frame = picture.Frame(i);
      session.Produce(frame.data(), pcm.data(), n);
    }
    session.StopProducers();
    session.FinishOutput();
    if (output_failed) *output_failed = session.output_failed();
    return 0;
  }

  test::TempWorld world_;
  ScriptedMessageBox box_;
  ScopedMessageBox installed_{&box_};
};

class Mp4WriterFormats : public Mp4WriterTest, public testing::WithParamInterface<RecordParam> {};

// "2997/100" as a number.
double Rational(const std::string& text) {
  size_t slash = text.find('/');
  if (slash == std::string::npos) return std::atof(text.c_str());
  double den = std::atof(text.c_str() + slash + 1);
  return den ? std::atof(text.c_str()) / den : 0;
}

// Whether the file holds the PSP's title box: a "uuid" box of kind USMT
// whose MTDT entries carry the title in UTF-16 (big-endian).
bool HasPspTitle(const std::string& path, const std::string& title_utf16be) {
  std::string data = test::ReadFile(path);
  for (size_t at = data.find("uuidUSMT"); at != std::string::npos && at >= 4;
       at = data.find("uuidUSMT", at + 1)) {
    const auto* size_bytes = reinterpret_cast<const uint8_t*>(data.data() + at - 4);
    size_t size = (size_t{size_bytes[0]} << 24) | (size_bytes[1] << 16) | (size_bytes[2] << 8) |
                  size_bytes[3];
    std::string box = data.substr(at - 4, size);
    if (box.find("MTDT") != std::string::npos && box.find(title_utf16be) != std::string::npos)
      return true;
  }
  return false;
}

// H.264 headers as ffmpeg's header tracer reads them: slices per picture
// and the reference frames the stream declares.
struct H264Headers {
  int slices = 0;
  int max_ref_frames = -1;
};
H264Headers TraceH264(const std::string& path) {
  H264Headers headers;
  std::istringstream trace(CommandOutput("ffmpeg -hide_banner -nostdin -i '" + path +
                               "' -map 0:v -c copy -bsf:v trace_headers -f null - 2>&1"));
  std::string line;
  while (std::getline(trace, line)) {
    if (line.find("Slice Header") != std::string::npos) ++headers.slices;
    size_t at = line.find("max_num_ref_frames");
    if (at != std::string::npos)
      headers.max_ref_frames = std::atoi(line.c_str() + line.rfind('=') + 1);
  }
  return headers;
}

TEST_P(Mp4WriterFormats, WritesWhatDevicesAndPlayersRead) {
  const RecordCase& c = GetParam().c;
  OutputConfig output = ConfigFor(c);
  const std::string path = world_.Path("clip.out");
  const int frames = static_cast<int>(std::lround(2.5 * c.fps));
  ASSERT_EQ(Record(&output, path, frames, GetParam().processors), 0);
  ASSERT_TRUE(box_.Texts().empty()) << box_.Texts()[0];

  Probe probe = ProbeFile(path);
  SCOPED_TRACE(ProbeDump(probe));
  EXPECT_EQ(probe["format.format_name"], c.format_name);
  EXPECT_EQ(probe["format.major_brand"], c.brand);

  EXPECT_EQ(probe["v.codec_name"], c.video_codec);
  if (*c.video_profile) {
    EXPECT_EQ(probe["v.profile"], c.video_profile);
  }
  if (c.video_level != -99) {
    EXPECT_EQ(probe["v.level"], std::to_string(c.video_level));
  }
  if (*c.video_tag) {
    EXPECT_EQ(probe["v.codec_tag_string"], c.video_tag);
  }
  EXPECT_EQ(probe["v.width"], std::to_string(c.width));
  EXPECT_EQ(probe["v.height"], std::to_string(c.height));
  EXPECT_NEAR(Rational(probe["v.r_frame_rate"]), c.fps, 0.001);

  // Every picture is in the file, in its time; the sound lasts as long.
  const double fed = frames / c.fps;
  const double frame_period = 1 / c.fps;
  EXPECT_EQ(probe.video_frames, frames);
  EXPECT_NEAR(probe.video_seconds, fed, frame_period);
  EXPECT_NEAR(probe.audio_seconds, fed + c.audio_delay, frame_period);
  EXPECT_NEAR(probe.audio_seconds, probe.video_seconds, 0.050);

  EXPECT_EQ(probe["a.codec_name"], c.audio_codec);
  if (*c.audio_profile) {
    EXPECT_EQ(probe["a.profile"], c.audio_profile);
  }
  EXPECT_EQ(probe["a.sample_rate"], std::to_string(c.audio_rate));
  EXPECT_EQ(probe["a.channels"], std::to_string(c.audio_channels));

  EXPECT_LE(probe.video_kbps, c.video_kbps * 1.15);
  EXPECT_LE(probe.audio_kbps, c.audio_kbps * 1.15);
  // Asking for half the rate would pass the check above: the audio must
  // come near what was asked for (AAC spends less on a pure tone).
  EXPECT_GE(probe.audio_kbps, c.audio_kbps * 0.6);

  // The title: in the PSP's own box, else in the container's tags where
  // ffprobe reads them (3GP's title box it doesn't; MPEG has none).
  const std::string brand = c.brand;
  if (brand == "M4V " || brand == "qt  " || std::string(c.format_name) == "avi") {
    EXPECT_EQ(probe["format.title"], "Tëst Clip");
  }
  if (brand == "MSNV") {
    std::u16string title = u"Tëst Clip";
    std::string utf16be;
    for (char16_t unit : title) {
      utf16be += static_cast<char>(unit >> 8);
      utf16be += static_cast<char>(unit & 0xff);
    }
    EXPECT_TRUE(HasPspTitle(path, utf16be));
  }
  if (std::string(c.video_codec) == "h264" && c.format == kFormatMp4) {
    H264Headers headers = TraceH264(path);
    EXPECT_EQ(headers.slices, frames);  // one slice per picture
    EXPECT_GE(headers.max_ref_frames, 1);
    EXPECT_LE(headers.max_ref_frames, c.device_kind == kDevicePsp ? 2 : 1);
  }
}

// ffprobe's name of the MP4 family of containers.
constexpr char kMov[] = "mov,mp4,m4a,3gp,3g2,mj2";
// LAME's encoder delay at 44100 Hz: 1105 sample frames.
constexpr double kMp3Delay = 1105.0 / 44100;

// clang-format off
const RecordCase kCases[] = {
    // name, format, device, h264, divx, ac3, 3gp, width, height, fps, kbit/s,
    // input rate, input channels, output rate, output channels, audio kbit/s,
    // format name, brand, video codec, profile, level, tag, audio codec, profile
    {"PspMpeg4", 2, kDevicePsp, false, false, false, 0, 320, 240, 29.97, 768,
     48000, 2, 48000, 2, 128, kMov, "MSNV", "mpeg4", "Simple Profile", 4, "", "aac", "LC"},
    {"PspH264", 2, kDevicePsp, true, false, false, 0, 480, 272, 29.97, 512,
     44100, 2, 24000, 2, 96, kMov, "MSNV", "h264", "Main", 30, "", "aac", "LC"},
    {"PspH264Slow", 2, kDevicePsp, true, false, false, 0, 320, 240, 14.985, 384,
     48000, 6, 48000, 2, 128, kMov, "MSNV", "h264", "Main", 21, "", "aac", "LC"},
    {"IpodH264", 2, kDeviceIpod, true, false, false, 0, 320, 240, 29.97, 600,
     44100, 2, 44100, 2, 128, kMov, "M4V ", "h264", "Constrained Baseline", 13, "", "aac", "LC"},
    {"IpodMpeg4", 2, kDeviceIpod, false, false, false, 0, 320, 240, 25, 1000,
     48000, 1, 44100, 2, 128, kMov, "M4V ", "mpeg4", "Simple Profile", 4, "", "aac", "LC"},
    {"AviXvid", kFormatFfmpegAvi, kDevicePsp, false, false, false, 0, 320, 240, 25, 1200,
     44100, 2, 44100, 2, 128, "avi", "", "mpeg4", "", -99, "XVID", "mp3", "", kMp3Delay},
    {"AviDivx", kFormatFfmpegAvi, kDevicePsp, false, true, false, 0, 320, 240, 29.97, 1000,
     44100, 2, 44100, 2, 128, "avi", "", "mpeg4", "", -99, "DIVX", "mp3", "", kMp3Delay},
    {"MpegMp2", kFormatMpeg, kDeviceIpod, false, false, false, 0, 352, 240, 29.97, 1500,
     48000, 2, 48000, 2, 224, "mpeg", "", "mpeg2video", "Main", -99, "", "mp2", ""},
    {"MpegAc3", kFormatMpeg, kDeviceIpod, false, false, true, 0, 352, 288, 25, 1500,
     44100, 2, 48000, 2, 192, "mpeg", "", "mpeg2video", "Main", -99, "", "ac3", ""},
    {"Vob", 5, kDeviceIpod, false, false, false, 0, 352, 240, 29.97, 2000,
     48000, 2, 48000, 2, 192, "mpeg", "", "mpeg2video", "Main", -99, "", "mp2", ""},
    {"ThreeGpH263Amr", kFormat3gp, kDevicePsp, false, false, false, 0, 176, 144, 15, 128,
     44100, 2, 8000, 1, 12, kMov, "3gp4", "h263", "", -99, "", "amr_nb", ""},
    {"ThreeGpMpeg4Aac", kFormat3gp, kDevicePsp, false, false, false, 3, 176, 144, 15, 192,
     44100, 2, 22050, 1, 32, kMov, "3gp4", "mpeg4", "Simple Profile", 3, "", "aac", "LC"},
    {"QuickTime", kFormatQuickTime, kDeviceIpod, false, false, false, 0, 320, 240, 23.976, 1200,
     44100, 2, 44100, 2, 128, kMov, "qt  ", "mpeg4", "Simple Profile", 4, "", "aac", "LC"},
    {"QuickTimeH264", kFormatQuickTime, kDeviceIpod, true, false, false, 0, 320, 240, 23.976, 1200,
     44100, 2, 44100, 2, 128, kMov, "qt  ", "h264", "", -99, "", "aac", "LC"},
    {"WebmVp9", 2, kDeviceWebm, false, false, false, 0, 320, 240, 25, 600,
     44100, 2, 48000, 2, 96, "matroska,webm", "", "vp9", "Profile 0", -99, "", "opus", ""},
    {"Av1Mp4", 2, kDeviceAv1, false, false, false, 0, 320, 240, 29.97, 400,
     48000, 1, 48000, 1, 64, kMov, "isom", "av1", "Main", -99, "av01", "opus", ""},
    // Constant quality: the bit rate is only the most these pictures take.
    {"WebmVp9Crf", 2, kDeviceWebm, false, false, false, 0, 320, 240, 25, 3000,
     48000, 2, 48000, 2, 96, "matroska,webm", "", "vp9", "Profile 0", -99, "", "opus", "", 0,
     32},
    {"Av1Mp4Crf", 2, kDeviceAv1, false, false, false, 0, 320, 240, 25, 3000,
     48000, 2, 48000, 2, 96, kMov, "isom", "av1", "Main", -99, "av01", "opus", "", 0, 35},
};
// clang-format on

std::vector<RecordParam> AllParams() {
  std::vector<RecordParam> params;
  for (const RecordCase& c : kCases)
    for (int processors : {2, 1}) params.push_back({c, processors});
  return params;
}

INSTANTIATE_TEST_SUITE_P(Formats, Mp4WriterFormats, testing::ValuesIn(AllParams()),
                         [](const testing::TestParamInfo<RecordParam>& info) {
                           return std::string(info.param.c.name) +
                                  (info.param.processors > 1 ? "Threads" : "Inline");
                         });

constexpr char kNoFolderText[] =
    "Cannot create output file. Output folder does not exist or you have no permission to "
    "create files in the output folder. \n\nTry to set another output folder under File menu.";

OutputConfig PhoneConfig() {
  for (const RecordCase& c : kCases)
    if (std::string(c.name) == "ThreeGpH263Amr") return ConfigFor(c);
  return OutputConfig{};
}

// An encoder that can't take the configuration stops the open with the
// codec and the reason, before any file is made.
TEST_F(Mp4WriterTest, AnEncoderThatCannotOpenFailsTheOpenAndNamesIt) {
  struct Case {
    const char* what;
    void (*change)(OutputConfig*);
    const char* message;
  };
  const Case cases[] = {
      {"H.263 at 320x240",
       [](OutputConfig* o) {
         o->width = 320;
         o->height = 240;
       },
       "Could not open the video codec \"h263\": the picture size 320x240 is not one that H.263 "
       "codes (128x96, 176x144, 352x288, 704x576 or 1408x1152)."},
      {"AMR-NB at 22050 Hz stereo",
       [](OutputConfig* o) {
         o->audio_output_freq = 22050;
         o->audio_channels = 2;
       },
       "Could not open the audio codec \"amr_nb\": it takes 8000 Hz mono only, not 22050 Hz with "
       "2 channels."},
      {"MP2 at a rate it does not code",
       [](OutputConfig* o) {
         o->format = kFormatMpeg;
         o->audio_output_freq = 11025;
       },
       "Could not open the audio codec \"mp2\": it does not take the sampling rate 11025 Hz."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    box_.Clear();
    OutputConfig output = PhoneConfig();
    c.change(&output);
    const std::string path = world_.Path("phone.3gp");
    EXPECT_EQ(Record(&output, path, 5, 2), -1);
    EXPECT_EQ(box_.Texts(), std::vector<std::string>{c.message});
    EXPECT_TRUE(test::ReadFile(path).empty());
  }
}

TEST_F(Mp4WriterTest, AMissingOutputFolderIsReported) {
  OutputConfig output = PhoneConfig();
  EXPECT_EQ(Record(&output, world_.Path("gone/phone.3gp"), 5, 2), -1);
  EXPECT_EQ(box_.Texts(), std::vector<std::string>{kNoFolderText});
}

using test::FileSizeLimit;

// The file size limit reached half-way: the failure is shown once, with
// the file and the reason; the session hears of it, nothing hangs, and the
// file keeps its index (written into the space held back for it), so what
// was written plays.
struct FullCase {
  const char* config;  // a RecordCase name
  const char* extension;
};

class Mp4WriterOutOfRoom : public Mp4WriterTest, public testing::WithParamInterface<FullCase> {};

TEST_P(Mp4WriterOutOfRoom, StopsOnceAndKeepsAPlayableFile) {
  constexpr int kFrames = 600;
  // The space held back (256 KiB) and some pictures.
  constexpr rlim_t kLimit = 320 * 1024;
  OutputConfig base;
  for (const RecordCase& c : kCases)
    if (std::string(c.name) == GetParam().config) base = ConfigFor(c);
  for (int processors : {2, 1}) {
    SCOPED_TRACE(processors);
    box_.Clear();
    OutputConfig output = base;
    const std::string path =
        world_.Path("full" + std::to_string(processors) + GetParam().extension);
    bool failed = false;
    {
      FileSizeLimit limit(kLimit);
      ASSERT_EQ(Record(&output, path, kFrames, processors, &failed), 0);
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(box_.Texts(),
              std::vector<std::string>{"Could not write the output file.\n\n" + path +
                                       "\nThe file has grown as large as the system allows."});
    EXPECT_LE(test::ReadFile(path).size(), kLimit);
    Probe probe = ProbeFile(path);
    EXPECT_GT(probe.video_frames, 0);
    EXPECT_LT(probe.video_frames, kFrames);
  }
}

INSTANTIATE_TEST_SUITE_P(Containers, Mp4WriterOutOfRoom,
                         testing::Values(FullCase{"ThreeGpMpeg4Aac", ".3gp"},
                                         FullCase{"PspH264Slow", ".MP4"},
                                         FullCase{"AviXvid", ".avi"},
                                         FullCase{"MpegMp2", ".mpg"}),
                         [](const auto& info) { return std::string(info.param.config); });

// A file that can't take even its header says why, not that the
// parameters were wrong, and is not left behind.
TEST_F(Mp4WriterTest, AHeaderThatCannotBeWrittenNamesTheReason) {
  OutputConfig output = PhoneConfig();
  const std::string path = world_.Path("phone.3gp");
  {
    FileSizeLimit limit(16);
    EXPECT_EQ(Record(&output, path, 5, 2), -1);
  }
  EXPECT_EQ(box_.Texts(), std::vector<std::string>{"Could not write the output file.\n\n" + path +
                                                   "\nThe file has grown as large as the system allows."});
  EXPECT_FALSE(std::filesystem::exists(path));
}

// The first of two passes writes no audio stream; the second writes both.
TEST_F(Mp4WriterTest, TheFirstOfTwoPassesHasNoSound) {
  OutputConfig output = PhoneConfig();
  output.n_pass = 2;
  output.pass = 1;
  const std::string path = world_.Path("phone.3gp");
  ASSERT_EQ(Record(&output, path, 15, 2), 0);
  Probe probe = ProbeFile(path);
  EXPECT_EQ(probe.video_frames, 15);
  EXPECT_EQ(probe["a.codec_name"], "");
}

// Two passes through one session, each cut into two parts at another
// picture: every part of the second pass is encoded by the first pass's
// statistics of its own pictures (VP9 and AV1 run one pass), which wait in
// the temp folder between the passes and are gone afterwards.
struct TwoPassCase {
  const char* record_case;
  int parts_by_statistics;
};
void PrintTo(const TwoPassCase& c, std::ostream* os) { *os << c.record_case; }

class Mp4WriterTwoPass : public Mp4WriterTest, public testing::WithParamInterface<TwoPassCase> {
 protected:
  int StatisticsFiles() const {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(world_.temp()))
      files += entry.path().filename().string().rfind("pass-", 0) == 0 && entry.file_size() > 0;
    return files;
  }
};

TEST_P(Mp4WriterTwoPass, TheSecondPassReadsTheFirstPassesStatistics) {
  OutputConfig output;
  for (const RecordCase& c : kCases)
    if (std::string(c.name) == GetParam().record_case) output = ConfigFor(c);
  output.n_pass = 2;
  output.pass = 1;
  const std::string path = world_.Path("two pass.mp4");
  Mp4Factory factory;
  RecordingSession session(&output, &factory, 2);
  MovingPicture picture(output.width, output.height);
  const int per_frame = static_cast<int>(output.input_sample_rate / output.out_frame_rate);
  std::vector<int16_t> pcm(static_cast<size_t>(per_frame) * output.input_channels, 0);
  for (int pass = 1; pass <= 2; ++pass) {
    session.set_output_path(path);
    ASSERT_EQ(session.OpenOutput(false), 0) << "pass " << pass;
    session.StartProducers();
    for (int i = 0; i < 40; ++i) {
      std::vector<uint8_t> frame = picture.Frame(i);
      session.Produce(frame.data(), pcm.data(), per_frame);
      if (i == (pass == 1 ? 22 : 14)) {
        ASSERT_EQ(session.NextOutputPart(), 0);
      }
    }
    session.StopProducers();
    session.FinishOutput();
    if (pass == 1 && GetParam().parts_by_statistics > 0) {
      EXPECT_GE(StatisticsFiles(), 1);
    }
    EXPECT_EQ(session.AdvancePass(nullptr), pass == 1);
  }
  EXPECT_TRUE(box_.Texts().empty());
  EXPECT_EQ(StatisticsFiles(), 0);
  const std::vector<std::string> trace = test::TraceMessages();
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "Video pass 2 of 2 with rate statistics"),
            GetParam().parts_by_statistics);
  int frames = 0;
  for (const std::string& part : session.part_paths()) frames += ProbeFile(part).video_frames;
  EXPECT_EQ(frames, 40);
}

INSTANTIATE_TEST_SUITE_P(Encoders, Mp4WriterTwoPass,
                         testing::Values(TwoPassCase{"PspMpeg4", 2}, TwoPassCase{"IpodH264", 2},
                                         TwoPassCase{"PspH264", 2},
                                         TwoPassCase{"MpegMp2", 2}, TwoPassCase{"WebmVp9", 0},
                                         TwoPassCase{"Av1Mp4", 0}),
                         [](const testing::TestParamInfo<TwoPassCase>& info) {
                           return std::string(info.param.record_case);
                         });

// Opus codes 48 kHz behind a pre-skip of its own: a tone that starts half
// a second into the input plays half a second after the first picture, as
// the ffmpeg command places decoded sound by its time stamps, whatever rate
// the input has or the settings ask for, and the sound lasts as long as
// the pictures.
struct OpusCase {
  const char* record_case;
  int input_rate;
  int asked_rate;  // audio_output_freq; Opus takes 48 kHz whatever it is
};
void PrintTo(const OpusCase& c, std::ostream* os) { *os << c.record_case << c.input_rate; }

class Mp4WriterOpus : public Mp4WriterTest, public testing::WithParamInterface<OpusCase> {};

TEST_P(Mp4WriterOpus, SoundStartsWithItsPicture) {
  OutputConfig output;
  for (const RecordCase& c : kCases)
    if (std::string(c.name) == GetParam().record_case) output = ConfigFor(c);
  output.width = 160;
  output.height = 120;
  output.input_sample_rate = GetParam().input_rate;
  output.audio_output_freq = GetParam().asked_rate;
  constexpr double kToneStart = 0.5;  // seconds
  const long tone_start = std::lround(kToneStart * GetParam().input_rate);
  const double rate = GetParam().input_rate;
  auto tone = [&](long t, int) -> int16_t {
    return t < tone_start ? 0 : static_cast<int16_t>(12000 * std::sin(2 * M_PI * 1000 * t / rate));
  };
  const int frames = static_cast<int>(std::lround(1.2 * output.out_frame_rate));
  const std::string path = world_.Path("opus.out");
  ASSERT_EQ(Record(&output, path, frames, 2, nullptr, tone), 0);
  ASSERT_TRUE(box_.Texts().empty()) << box_.Texts()[0];

  Probe probe = ProbeFile(path);
  SCOPED_TRACE(ProbeDump(probe));
  EXPECT_EQ(probe["a.sample_rate"], "48000");
  // The sound decoded from the file's start (the earliest stream's), at
  // 48 kHz, laid out by its time stamps.
  const std::string pcm = CommandOutput(
      "ffmpeg -v error -nostdin -i '" + path +
      "' -af aresample=min_comp=0.0001:min_hard_comp=0.0001:first_pts=0 -ac 1 -ar 48000 "
      "-f s16le - 2>/dev/null");
  const auto* samples = reinterpret_cast<const int16_t*>(pcm.data());
  const size_t count = pcm.size() / 2;
  size_t onset = 0;
  while (onset < count && std::abs(samples[onset]) < 6000) ++onset;
  ASSERT_LT(onset, count);
  const double file_start = std::atof(probe["format.start_time"].c_str());
  const double picture_start = std::atof(probe["v.start_time"].c_str());
  // One millisecond: WebM's time stamps are whole ones; a pre-skip played
  // would be 6.5.
  EXPECT_NEAR(onset / 48000.0 + file_start - picture_start, kToneStart, 0.001);
  EXPECT_NEAR(probe.audio_seconds, frames / output.out_frame_rate, 0.021);
}

INSTANTIATE_TEST_SUITE_P(Containers, Mp4WriterOpus,
                         testing::Values(OpusCase{"WebmVp9", 44100, 44100},
                                         OpusCase{"WebmVp9", 48000, 22050},
                                         OpusCase{"Av1Mp4", 32000, 32000}),
                         [](const testing::TestParamInfo<OpusCase>& info) {
                           return std::string(info.param.record_case) +
                                  std::to_string(info.param.input_rate);
                         });

}  // namespace
}  // namespace ovc
