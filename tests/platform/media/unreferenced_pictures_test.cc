// Which packets of an H.264 or HEVC stream can be kept from the decoder:
// the packets of streams the ffmpeg command encodes, against what the
// decoder skips of them, and hand-made packets of what encoders rarely
// write (parameter sets or SEI beside a slice, damaged framing).

#include "platform/media/unreferenced_pictures.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/command_output.h"
#include "support/temp_world.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace ovc::media {
namespace {

using Bytes = std::vector<uint8_t>;

// NAL units framed by 4-byte lengths, or after start codes.
Bytes LengthPrefixed(const std::vector<Bytes>& nals) {
  Bytes out;
  for (const Bytes& nal : nals) {
    const uint32_t size = static_cast<uint32_t>(nal.size());
    out.insert(out.end(), {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
                           static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)});
    out.insert(out.end(), nal.begin(), nal.end());
  }
  return out;
}
Bytes AnnexB(const std::vector<Bytes>& nals) {
  Bytes out;
  for (const Bytes& nal : nals) {
    out.insert(out.end(), {0, 0, 0, 1});
    out.insert(out.end(), nal.begin(), nal.end());
  }
  return out;
}

// avcC with 4-byte lengths; hvcC (23 bytes before its arrays) likewise.
const Bytes kAvcC = {1, 0x42, 0, 0x1e, 0xff, 0xe0, 0};
const Bytes kHvcC = [] {
  Bytes record(23, 0);
  record[0] = 1;
  record[21] = 3;
  return record;
}();

// H.264 headers: nal_ref_idc in bits 5-6, the type below.
const Bytes kH264Unreferenced = {0x01, 0x9a, 0x00};  // a slice, ref_idc 0
const Bytes kH264Sei = {0x06, 0x05, 0x80};
const Bytes kH264Delimiter = {0x09, 0xf0};
const Bytes kH264Pps = {0x68, 0xce, 0x38, 0x80};
// HEVC headers: the type in bits 1-6 of the first byte.
const Bytes kHevcTrailN = {0x00, 0x01, 0xaf};
const Bytes kHevcPps = {0x44, 0x01, 0xc1};

struct PacketCase {
  const char* name;
  AVCodecID codec;
  Bytes extradata;
  Bytes packet;
  bool leave_out;
};

TEST(UnreferencedPicturesTest, TellsPacketsTheDecoderWouldReadNothingOf) {
  const PacketCase cases[] = {
      {"avc with delimiter and SEI", AV_CODEC_ID_H264, kAvcC,
       LengthPrefixed({kH264Delimiter, kH264Sei, kH264Unreferenced}), true},
      {"avc parameter set beside", AV_CODEC_ID_H264, kAvcC,
       LengthPrefixed({kH264Pps, kH264Unreferenced}), false},
      {"avc SEI alone", AV_CODEC_ID_H264, kAvcC, LengthPrefixed({kH264Sei}), false},
      {"avc length past the end", AV_CODEC_ID_H264, kAvcC,
       [] {
         Bytes packet = LengthPrefixed({kH264Unreferenced});
         packet[3] += 1;
         return packet;
       }(),
       false},
      {"avc three-byte lengths", AV_CODEC_ID_H264, {1, 0x42, 0, 0x1e, 0xfe, 0xe0, 0},
       {0, 0, 3, 0x01, 0x9a, 0x00}, false},
      {"annex b without start code", AV_CODEC_ID_H264, {}, kH264Unreferenced, false},
      {"annex b zeros inside a slice", AV_CODEC_ID_H264, {},
       AnnexB({{0x01, 0x9a, 0x00, 0x00, 0x03, 0x00}}), true},
      {"hevc parameter set beside", AV_CODEC_ID_HEVC, kHvcC,
       LengthPrefixed({kHevcPps, kHevcTrailN}), false},
      {"another codec", AV_CODEC_ID_MPEG2VIDEO, {}, AnnexB({kH264Unreferenced}), false},
  };
  for (const PacketCase& c : cases) {
    EXPECT_EQ(HoldsOnlyUnreferencedPictures(c.codec, c.extradata.data(),
                                            static_cast<int>(c.extradata.size()), c.packet.data(),
                                            static_cast<int>(c.packet.size())),
              c.leave_out)
        << c.name;
  }
}

// The file's packets against what the decoder, told to skip unreferenced
// pictures, makes of them: how many are left out, how many of those it
// shows a picture of all the same, and how many others it shows none of.
struct PacketVerdicts {
  int left_out = 0;
  int left_out_but_shown = 0;
  int kept_but_not_shown = 0;
};

PacketVerdicts ReadVerdicts(const std::string& path) {
  PacketVerdicts verdicts;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return verdicts;
  avformat_find_stream_info(format, nullptr);
  const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodecParameters* parameters = format->streams[index]->codecpar;
  AVCodecContext* codec = avcodec_alloc_context3(avcodec_find_decoder(parameters->codec_id));
  avcodec_parameters_to_context(codec, parameters);
  codec->thread_count = 1;
  codec->skip_frame = AVDISCARD_NONREF;
  avcodec_open2(codec, codec->codec, nullptr);
  std::set<int64_t> left_out, kept, shown;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto receive = [&] {
    while (avcodec_receive_frame(codec, frame) == 0) shown.insert(frame->pts);
  };
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == index) {
      (HoldsOnlyUnreferencedPictures(parameters->codec_id, parameters->extradata,
                                     parameters->extradata_size, packet->data, packet->size)
           ? left_out
           : kept)
          .insert(packet->pts);
      avcodec_send_packet(codec, packet);
      receive();
    }
    av_packet_unref(packet);
  }
  avcodec_send_packet(codec, nullptr);
  receive();
  verdicts.left_out = static_cast<int>(left_out.size());
  for (int64_t pts : left_out) verdicts.left_out_but_shown += shown.count(pts);
  for (int64_t pts : kept) verdicts.kept_but_not_shown += 1 - static_cast<int>(shown.count(pts));
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&codec);
  avformat_close_input(&format);
  return verdicts;
}

// Streams with B-pictures no other picture refers to, as encoders write
// them: the packets left out are exactly those the decoder shows nothing of.
TEST(UnreferencedPicturesTest, LeavesOutExactlyWhatTheDecoderSkips) {
  test::TempWorld world;
  const char kX264[] = "-c:v libx264 -preset ultrafast -bf 2 -x264-params b-pyramid=none";
  const char kX265[] =
      "-c:v libx265 -preset ultrafast -x265-params bframes=2:b-pyramid=0:log-level=0";
  const struct {
    const char* file;
    const char* encoder;
  } streams[] = {
      {"h264.mp4", kX264}, {"h264.ts", kX264}, {"h264.mkv", kX264},
      {"hevc.mp4", kX265}, {"hevc.ts", kX265},
  };
  for (const auto& stream : streams) {
    const std::string path = world.Path(stream.file);
    test::CommandOutput("ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=size=160x96:rate=25 "
                        "-t 2 " + std::string(stream.encoder) + " '" + path + "'");
    const PacketVerdicts verdicts = ReadVerdicts(path);
    EXPECT_GT(verdicts.left_out, 10) << stream.file;
    EXPECT_EQ(verdicts.left_out_but_shown, 0) << stream.file;
    EXPECT_EQ(verdicts.kept_but_not_shown, 0) << stream.file;
  }
}

}  // namespace
}  // namespace ovc::media
