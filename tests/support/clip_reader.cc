#include "support/clip_reader.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "support/clip_generator.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace ovc::test {
namespace {

struct FormatCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;

CodecPtr OpenDecoder(AVStream* stream) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return nullptr;
  CodecPtr context(avcodec_alloc_context3(codec));
  if (avcodec_parameters_to_context(context.get(), stream->codecpar) < 0) return nullptr;
  context->pkt_timebase = stream->time_base;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return nullptr;
  return context;
}

int16_t ToS16(float v) {
  return static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
}

void AppendAudio(const AVFrame* frame, int channels, std::vector<int16_t>* out) {
  const auto format = static_cast<AVSampleFormat>(frame->format);
  for (int i = 0; i < frame->nb_samples; ++i) {
    for (int c = 0; c < channels; ++c) {
      int16_t v = 0;
      switch (format) {
        case AV_SAMPLE_FMT_S16:
          v = reinterpret_cast<const int16_t*>(frame->data[0])[i * channels + c];
          break;
        case AV_SAMPLE_FMT_S16P:
          v = reinterpret_cast<const int16_t*>(frame->data[c])[i];
          break;
        case AV_SAMPLE_FMT_FLT:
          v = ToS16(reinterpret_cast<const float*>(frame->data[0])[i * channels + c]);
          break;
        case AV_SAMPLE_FMT_FLTP:
          v = ToS16(reinterpret_cast<const float*>(frame->data[c])[i]);
          break;
        default:
          break;
      }
      out->push_back(v);
    }
  }
}

}  // namespace

std::string ReadClip(const std::string& path, DecodedClip* clip) {
  *clip = DecodedClip{};
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return "cannot open";
  std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
  if (avformat_find_stream_info(format.get(), nullptr) < 0) return "no stream info";
  const int video = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const int audio = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (video < 0) return "no video";
  CodecPtr vdec = OpenDecoder(format->streams[video]);
  if (!vdec) return "no video decoder";
  CodecPtr adec;
  if (audio >= 0) {
    adec = OpenDecoder(format->streams[audio]);
    if (!adec) return "no audio decoder";
    clip->sample_rate = adec->sample_rate;
    clip->channels = adec->ch_layout.nb_channels;
  }
  clip->frame_rate = av_q2d(format->streams[video]->avg_frame_rate);
  const AVRational vtb = format->streams[video]->time_base;
  const AVRational atb = audio >= 0 ? format->streams[audio]->time_base : AVRational{1, 1};

  std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
  bool have_video_start = false, have_audio_start = false;
  double video_start = 0, audio_start = 0;
  auto drain = [&](AVCodecContext* dec, bool is_video) {
    while (avcodec_receive_frame(dec, frame.get()) >= 0) {
      const int64_t pts = frame->best_effort_timestamp;
      if (is_video) {
        const double t = pts == AV_NOPTS_VALUE ? 0 : pts * av_q2d(vtb);
        if (!have_video_start) {
          video_start = t;
          have_video_start = true;
        }
        clip->picture_times.push_back(t - video_start);
        clip->frame_numbers.push_back(
            ReadFrameNumberFromLuma(frame->data[0], frame->width, frame->height, frame->linesize[0]));
        clip->flashes.push_back(
            IsFlashLuma(frame->data[0], frame->width, frame->height, frame->linesize[0]));
      } else {
        if (!have_audio_start && pts != AV_NOPTS_VALUE) {
          audio_start = pts * av_q2d(atb);
          have_audio_start = true;
        }
        AppendAudio(frame.get(), clip->channels, &clip->audio);
      }
      av_frame_unref(frame.get());
    }
  };
  while (av_read_frame(format.get(), packet.get()) >= 0) {
    if (packet->stream_index == video) {
      avcodec_send_packet(vdec.get(), packet.get());
      drain(vdec.get(), true);
    } else if (packet->stream_index == audio) {
      avcodec_send_packet(adec.get(), packet.get());
      drain(adec.get(), false);
    }
    av_packet_unref(packet.get());
  }
  avcodec_send_packet(vdec.get(), nullptr);
  drain(vdec.get(), true);
  if (adec) {
    avcodec_send_packet(adec.get(), nullptr);
    drain(adec.get(), false);
  }
  clip->audio_start = audio_start - video_start;
  return "";
}

std::string CutVideoHole(const std::string& source, const std::string& target, double from,
                         double to) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, source.c_str(), nullptr, nullptr) < 0) return "cannot open";
  std::unique_ptr<AVFormatContext, FormatCloser> input(raw);
  if (avformat_find_stream_info(input.get(), nullptr) < 0) return "no stream info";
  AVFormatContext* out_raw = nullptr;
  if (avformat_alloc_output_context2(&out_raw, nullptr, nullptr, target.c_str()) < 0)
    return "cannot create output";
  struct OutputFreer {
    void operator()(AVFormatContext* c) const {
      if (c->pb) avio_closep(&c->pb);
      avformat_free_context(c);
    }
  };
  std::unique_ptr<AVFormatContext, OutputFreer> output(out_raw);
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    AVStream* stream = avformat_new_stream(output.get(), nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, input->streams[i]->codecpar) < 0)
      return "cannot copy stream";
    stream->codecpar->codec_tag = 0;
    stream->time_base = input->streams[i]->time_base;
  }
  if (avio_open(&output->pb, target.c_str(), AVIO_FLAG_WRITE) < 0) return "cannot write";
  if (avformat_write_header(output.get(), nullptr) < 0) return "cannot write header";
  std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    AVStream* in = input->streams[packet->stream_index];
    const double t = packet->pts == AV_NOPTS_VALUE ? 0 : packet->pts * av_q2d(in->time_base);
    const bool cut = in->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && t >= from - 1e-6 &&
                     t < to - 1e-6;
    if (!cut) {
      av_packet_rescale_ts(packet.get(), in->time_base,
                           output->streams[packet->stream_index]->time_base);
      packet->pos = -1;
      if (av_interleaved_write_frame(output.get(), packet.get()) < 0) return "cannot write packet";
    }
    av_packet_unref(packet.get());
  }
  if (av_write_trailer(output.get()) < 0) return "cannot finish";
  return "";
}

}  // namespace ovc::test
