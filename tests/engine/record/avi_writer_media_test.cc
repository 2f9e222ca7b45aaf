// AviWriter files with real MPEG-4 and MP3 streams, read back by ffprobe, and
// the writer's behaviour when the file system refuses it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include "engine/record/avi_writer.h"
#include "engine/record/avi_writer_test_support.h"
#include "support/command_output.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

using test::ReadFile;
using test::U32;

struct CodecContextDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

struct Packet {
  std::string data;
  bool key;
};

constexpr int kWidth = 176;
constexpr int kHeight = 144;
constexpr int kFps = 25;
constexpr int kVideoFrames = 25;
constexpr int kMp3Rate = 44100;
constexpr int kMp3Kbps = 128;

// Sends one frame (the flush when null) and collects the packets that come out.
void Encode(AVCodecContext* context, const AVFrame* frame, std::vector<Packet>* out) {
  if (avcodec_send_frame(context, frame) < 0) return;
  PacketPtr packet(av_packet_alloc());
  while (avcodec_receive_packet(context, packet.get()) == 0) {
    out->push_back({std::string(reinterpret_cast<const char*>(packet->data), packet->size),
                    (packet->flags & AV_PKT_FLAG_KEY) != 0});
    av_packet_unref(packet.get());
  }
}

// MPEG-4 part 2 frames of a moving gradient, a key frame every 5.
const std::vector<Packet>& Mpeg4Frames() {
  static const std::vector<Packet> packets = [] {
    std::vector<Packet> out;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    CodecContextPtr context(avcodec_alloc_context3(codec));
    context->width = kWidth;
    context->height = kHeight;
    context->time_base = {1, kFps};
    context->framerate = {kFps, 1};
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->gop_size = 5;
    context->max_b_frames = 0;
    context->bit_rate = 300000;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return out;
    FramePtr frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = kWidth;
    frame->height = kHeight;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return out;
    for (int i = 0; i < kVideoFrames; ++i) {
      av_frame_make_writable(frame.get());
      for (int plane = 0; plane < 3; ++plane) {
        const int w = plane ? kWidth / 2 : kWidth, h = plane ? kHeight / 2 : kHeight;
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x)
            frame->data[plane][y * frame->linesize[plane] + x] =
                static_cast<uint8_t>(plane ? 128 + (x - y) / 4 : x + y + 6 * i);
      }
      frame->pts = i;
      Encode(context.get(), frame.get(), &out);
    }
    Encode(context.get(), nullptr, &out);
    return out;
  }();
  return packets;
}

// MP3 frames of a 440 Hz stereo tone, about one second; empty without libmp3lame.
const std::vector<Packet>& Mp3Frames() {
  static const std::vector<Packet> packets = [] {
    std::vector<Packet> out;
    const AVCodec* codec = avcodec_find_encoder_by_name("libmp3lame");
    if (!codec) return out;
    CodecContextPtr context(avcodec_alloc_context3(codec));
    context->sample_rate = kMp3Rate;
    av_channel_layout_default(&context->ch_layout, 2);
    context->sample_fmt = AV_SAMPLE_FMT_S16P;
    context->bit_rate = kMp3Kbps * 1000;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return out;
    FramePtr frame(av_frame_alloc());
    frame->format = AV_SAMPLE_FMT_S16P;
    frame->sample_rate = kMp3Rate;
    frame->nb_samples = context->frame_size;
    av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
    if (av_frame_get_buffer(frame.get(), 0) < 0) return out;
    for (int64_t start = 0; start < kMp3Rate; start += frame->nb_samples) {
      av_frame_make_writable(frame.get());
      for (int ch = 0; ch < 2; ++ch) {
        auto* samples = reinterpret_cast<int16_t*>(frame->data[ch]);
        for (int i = 0; i < frame->nb_samples; ++i)
          samples[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * (start + i) / kMp3Rate));
      }
      frame->pts = start;
      Encode(context.get(), frame.get(), &out);
    }
    Encode(context.get(), nullptr, &out);
    return out;
  }();
  return packets;
}

// File offset of video chunk `count` when only the first `count` frames were written.
size_t VideoEnd(size_t count) {
  size_t position = AviWriter::kHeaderBytes;
  for (size_t i = 0; i < count; ++i) {
    size_t length = Mpeg4Frames()[i].data.size();
    position += 8 + length + (length & 1);
  }
  return position;
}

// ffprobe's JSON description of a file, with packet counts.
std::string Ffprobe(const std::string& path) {
  std::string command =
      "ffprobe -v error -count_packets -show_streams -show_format -of json '" + path + "' 2>&1";
  return test::CommandOutput(command);
}

// The value of the first `key` inside stream object number `stream` of
// ffprobe's JSON, or inside its format object when stream is -1.
std::string JsonField(const std::string& json, int stream, const std::string& key) {
  size_t begin = json.find(stream < 0 ? "\"format\": {" : "\"streams\": [");
  if (begin == std::string::npos) return "";
  begin = json.find(stream < 0 ? '{' : '[', begin) + 1;
  size_t object_begin = std::string::npos, object_end = std::string::npos;
  int depth = 0, index = stream < 0 ? 0 : -1;
  if (stream < 0) object_begin = begin, depth = 1;
  for (size_t i = begin; i < json.size() && object_end == std::string::npos; ++i) {
    if (json[i] == '{' && depth++ == 0 && ++index == stream) object_begin = i;
    if (json[i] == '}' && --depth == 0 && index == std::max(stream, 0)) object_end = i;
  }
  if (object_begin == std::string::npos || object_end == std::string::npos) return "";
  const std::string object = json.substr(object_begin, object_end - object_begin);
  size_t at = object.find("\"" + key + "\": ");
  if (at == std::string::npos) return "";
  at += key.size() + 4;
  if (object[at] == '"') return object.substr(at + 1, object.find('"', at + 1) - at - 1);
  return object.substr(at, object.find_first_of(",\n}", at) - at);
}

// Runs body in a forked child whose files may not grow past size_limit bytes
// (a write beyond fails with EFBIG; SIGXFSZ is ignored) and which has no
// override of file permissions even when run by root. Returns the body's text.
std::string RunInChild(rlim_t size_limit, const std::function<std::string()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{size_limit, size_limit};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2] = {};
    if (syscall(SYS_capget, &header, caps) == 0) {
      caps[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
      syscall(SYS_capset, &header, caps);
    }
    std::string result = body();
    if (write(fds[1], result.data(), result.size()) != static_cast<ssize_t>(result.size())) _exit(3);
    _exit(0);
  }
  close(fds[1]);
  std::string result;
  char buffer[256];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) result.append(buffer, n);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
  return result;
}

TEST(AviWriterMedia, Mpeg4AndMp3ReadBackByFfprobe) {
  const std::vector<Packet>& video = Mpeg4Frames();
  const std::vector<Packet>& audio = Mp3Frames();
  ASSERT_EQ(video.size(), static_cast<size_t>(kVideoFrames));
  if (audio.empty()) GTEST_SKIP() << "no libmp3lame encoder in libavcodec";
  test::TempWorld world;
  const std::string path = world.Path("clip.avi");
  auto writer = AviWriter::Open(path);
  ASSERT_NE(writer, nullptr);
  ASSERT_EQ(writer->SetVideo(kWidth, kHeight, kFps, AviWriter::FourCc("XVID")), 0);
  ASSERT_EQ(writer->SetAudio(2, kMp3Rate, 0, AviWriter::kFormatMp3, kMp3Kbps), 0);
  // Interleaved by time: after each picture, the MP3 frames that start before the next.
  size_t next_audio = 0;
  uint64_t audio_bytes = 0;
  for (int i = 0; i < kVideoFrames; ++i) {
    ASSERT_EQ(writer->WriteVideo(video[i].data.data(), video[i].data.size(), video[i].key), 0);
    for (; next_audio < audio.size() &&
           (next_audio * 1152.0 / kMp3Rate < (i + 1.0) / kFps || i + 1 == kVideoFrames);
         ++next_audio) {
      const std::string& data = audio[next_audio].data;
      ASSERT_EQ(writer->WriteAudio(data.data(), data.size()), 0);
      audio_bytes += data.size();
    }
  }
  ASSERT_EQ(writer->Close(), 0);

  std::vector<test::IndexEntry> index = test::ReadIndex(ReadFile(path));
  ASSERT_EQ(index.size(), video.size() + audio.size());
  for (size_t i = 0, v = 0; i < index.size(); ++i)
    if (index[i].id == "00dc") {
      EXPECT_EQ(index[i].flags, video[v++].key ? 16u : 0u) << i;
    }

  const std::string json = Ffprobe(path);
  SCOPED_TRACE(json);
  EXPECT_EQ(JsonField(json, -1, "format_name"), "avi");
  EXPECT_EQ(JsonField(json, -1, "nb_streams"), "2");
  EXPECT_EQ(JsonField(json, -1, "software"), "ZNTVD-3");
  EXPECT_EQ(JsonField(json, 0, "codec_type"), "video");
  EXPECT_EQ(JsonField(json, 0, "codec_name"), "mpeg4");
  EXPECT_EQ(JsonField(json, 0, "width"), std::to_string(kWidth));
  EXPECT_EQ(JsonField(json, 0, "height"), std::to_string(kHeight));
  EXPECT_EQ(JsonField(json, 0, "r_frame_rate"), "25/1");
  EXPECT_EQ(JsonField(json, 0, "nb_frames"), std::to_string(kVideoFrames));
  EXPECT_EQ(JsonField(json, 0, "nb_read_packets"), std::to_string(kVideoFrames));
  EXPECT_NEAR(std::stod("0" + JsonField(json, 0, "duration")), 1.0, 1e-6);
  EXPECT_EQ(JsonField(json, 1, "codec_type"), "audio");
  EXPECT_EQ(JsonField(json, 1, "codec_name"), "mp3");
  EXPECT_EQ(JsonField(json, 1, "sample_rate"), std::to_string(kMp3Rate));
  EXPECT_EQ(JsonField(json, 1, "channels"), "2");
  EXPECT_EQ(JsonField(json, 1, "nb_read_packets"), std::to_string(audio.size()));
  // The audio length counts bytes at 16000 bytes per second (128 kbit/s).
  EXPECT_EQ(JsonField(json, 1, "time_base"), "1/16000");
  EXPECT_EQ(JsonField(json, 1, "nb_frames"), std::to_string(audio_bytes));
  EXPECT_EQ(JsonField(json, 1, "bit_rate"), "128000");
  EXPECT_EQ(JsonField(json, -1, "duration"), "1.000000");
}

// The file system fills up while frames are written: the writer must close a
// file that holds the chunks written before, with its index.
struct DiskFullCase {
  const char* name;
  bool index_fits;  // else the limit ends right after the last good chunk
};

void PrintTo(const DiskFullCase& c, std::ostream* os) { *os << c.name; }

class AviWriterDiskFull : public testing::TestWithParam<DiskFullCase> {};

TEST_P(AviWriterDiskFull, FileStaysReadableUpToTheLastGoodChunk) {
  const DiskFullCase& c = GetParam();
  const std::vector<Packet>& video = Mpeg4Frames();
  ASSERT_EQ(video.size(), static_cast<size_t>(kVideoFrames));
  constexpr size_t kGood = 15, kBefore = 10;
  const size_t movi_end = VideoEnd(kGood);
  const size_t limit = c.index_fits ? movi_end + 8 + 16 * kGood : movi_end;
  test::TempWorld world;
  const std::string path = world.Path("full.avi");

  // With room for the index, a chunk too big for the disk fails between
  // frames kBefore - 1 and kBefore, and the later, smaller frames still fit.
  std::string result = RunInChild(limit, [&] {
    std::string log;
    auto writer = AviWriter::Open(path);
    if (!writer || writer->SetVideo(kWidth, kHeight, kFps, AviWriter::FourCc("XVID")) != 0)
      return std::string("open failed");
    for (size_t i = 0; i < kGood; ++i) {
      if (c.index_fits && i == kBefore) {
        std::string big(limit - VideoEnd(kBefore) + 1000, 'x');
        log += writer->WriteVideo(big.data(), big.size(), true) == 0 ? "0" : "F";
      }
      log += writer->WriteVideo(video[i].data.data(), video[i].data.size(), video[i].key) == 0
                 ? "0" : "F";
    }
    int closed = writer->Close();
    return log + " close=" + std::to_string(closed) + " error=" +
           std::to_string(writer->last_error());
  });
  const std::string good(kGood, '0');
  EXPECT_EQ(result, c.index_fits ? good.substr(0, kBefore) + "F" + good.substr(kBefore) +
                                       " close=0 error=4"
                                 : good + " close=0 error=0");

  // Without room for the index the last chunks give way to it: only as
  // many as it needs.
  const std::string f = ReadFile(path);
  std::vector<test::IndexEntry> index = test::ReadIndex(f);
  const size_t kept = index.size();
  if (c.index_fits) {
    ASSERT_EQ(kept, kGood);
  } else {
    ASSERT_GE(kept, kGood - 2);
    ASSERT_LT(kept, kGood);
  }
  const size_t kept_end = VideoEnd(kept);
  EXPECT_LE(f.size(), limit);
  EXPECT_EQ(f.size(), kept_end + 8 + 16 * kept);
  EXPECT_EQ(U32(f, 4), f.size() - 8);
  EXPECT_EQ(U32(f, 2040), kept_end - 2044);
  EXPECT_EQ(U32(f, 44), 0x110u);
  EXPECT_EQ(U32(f, 48), kept);
  for (size_t i = 0; i < index.size(); ++i) {
    EXPECT_EQ(index[i].offset, VideoEnd(i) - 2044) << i;
    EXPECT_EQ(index[i].length, video[i].data.size()) << i;
  }

  const std::string json = Ffprobe(path);
  SCOPED_TRACE(json);
  EXPECT_EQ(JsonField(json, 0, "codec_name"), "mpeg4");
  EXPECT_EQ(JsonField(json, 0, "width"), std::to_string(kWidth));
  EXPECT_EQ(JsonField(json, 0, "nb_read_packets"), std::to_string(kept));
}

INSTANTIATE_TEST_SUITE_P(Limits, AviWriterDiskFull,
                         testing::Values(DiskFullCase{"IndexFits", true},
                                         DiskFullCase{"NoRoomForIndex", false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct OpenFailureCase {
  const char* name;
  std::string file;         // relative to the world
  const char* prepare;      // "", "dir" or "read-only"
  rlim_t size_limit;
  int error;
  int system_error;
};

void PrintTo(const OpenFailureCase& c, std::ostream* os) { *os << c.name; }

class AviWriterOpenFailure : public testing::TestWithParam<OpenFailureCase> {};

TEST_P(AviWriterOpenFailure, ReturnsNoneAndLeavesNoFileBehind) {
  const OpenFailureCase& c = GetParam();
  test::TempWorld world;
  const std::string path = world.Path(c.file);
  const std::string prepare = c.prepare;
  if (prepare == "dir") std::filesystem::create_directory(path);
  if (prepare == "read-only") {
    test::WriteFile(path, "old contents");
    chmod(path.c_str(), 0444);
  }
  std::string result = RunInChild(c.size_limit, [&] {
    AviOpenFailure failure;
    errno = 0;
    auto writer = AviWriter::Open(path, &failure);
    return std::string(writer ? "writer" : "none") + " error=" + std::to_string(failure.error) +
           " errno=" + std::to_string(failure.system_error) + "/" + std::to_string(errno);
  });
  const std::string e = std::to_string(c.system_error);
  EXPECT_EQ(result, "none error=" + std::to_string(c.error) + " errno=" + e + "/" + e);
  if (prepare == "read-only") {
    EXPECT_EQ(ReadFile(path), "old contents");
  }
  if (prepare.empty()) {
    EXPECT_FALSE(std::filesystem::exists(path));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, AviWriterOpenFailure,
    testing::Values(
        OpenFailureCase{"MissingFolder", "no-such-folder/out.avi", "", RLIM_INFINITY,
                        kAviErrorOpen, ENOENT},
        OpenFailureCase{"Directory", "folder.avi", "dir", RLIM_INFINITY, kAviErrorOpen, EISDIR},
        OpenFailureCase{"ReadOnlyFile", "locked.avi", "read-only", RLIM_INFINITY,
                        kAviErrorOpen, EACCES},
        OpenFailureCase{"DiskFullInHeader", "new.avi", "", 1000, kAviErrorWrite, EFBIG}),
    [](const auto& info) { return std::string(info.param.name); });

// A chunk whose size would take the file past what 32-bit sizes describe is
// refused before anything is written; the file goes on and closes intact.
TEST(AviWriterMedia, ChunkPastFourGigabytesIsRefused) {
  test::TempWorld world;
  const std::string path = world.Path("huge.avi");
  constexpr uint32_t kHuge = 0xFFFFFFF9;  // odd: padded length + 8 wraps in 32 bits
  // The size limit makes sure a writer without the check cannot fill the disk.
  std::string result = RunInChild(1 << 20, [&] {
    void* huge = mmap(nullptr, kHuge, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (huge == MAP_FAILED) return std::string("mmap failed");
    auto writer = AviWriter::Open(path);
    if (!writer) return std::string("open failed");
    writer->SetVideo(16, 16, 25, AviWriter::FourCc("XVID"));
    std::string log = std::to_string(writer->WriteVideo("abc", 3, true));
    log += " " + std::to_string(writer->WriteVideo(huge, kHuge, true));
    log += " " + std::to_string(writer->last_error());
    log += " " + std::to_string(writer->WriteVideo("de", 2, false));
    log += " " + std::to_string(writer->Close());
    munmap(huge, kHuge);
    return log;
  });
  EXPECT_EQ(result, "0 -1 " + std::to_string(kAviErrorTooLarge) + " 0 0");
  const std::string f = ReadFile(path);
  std::vector<test::IndexEntry> index = test::ReadIndex(f);
  ASSERT_EQ(index.size(), 2u);
  EXPECT_EQ(index[1].offset, 4u + 12);
  EXPECT_EQ(f.size(), 2048u + 12 + 10 + 8 + 32);
  EXPECT_EQ(U32(f, 48), 2u);
}

}  // namespace
}  // namespace ovc
