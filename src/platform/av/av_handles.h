#pragma once

// Owners of FFmpeg objects, so that every early return frees what it had.

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace ovc::av {

struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct SwsContextDeleter {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct SwrContextDeleter {
  void operator()(SwrContext* context) const { swr_free(&context); }
};
struct AudioFifoDeleter {
  void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
// A context opened for reading a file.
struct InputContextDeleter {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
// A context made for writing; its file (pb) is owned apart.
struct OutputContextDeleter {
  void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};

// A context made for writing that also owns its file: closes it when open.
struct OutputContextWithFileDeleter {
  void operator()(AVFormatContext* context) const {
    if (context->pb && !(context->oformat->flags & AVFMT_NOFILE)) avio_closep(&context->pb);
    avformat_free_context(context);
  }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;
using OutputContextWithFilePtr = std::unique_ptr<AVFormatContext, OutputContextWithFileDeleter>;

// A picture frame of `format` with buffers of its own (contents
// undefined); nullptr when there is no memory for it.
inline FramePtr NewPictureFrame(AVPixelFormat format, int width, int height,
                                AVColorRange range = AVCOL_RANGE_UNSPECIFIED) {
  FramePtr frame(av_frame_alloc());
  if (!frame) return nullptr;
  frame->format = format;
  frame->width = width;
  frame->height = height;
  frame->color_range = range;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
  return frame;
}

// A channel layout that frees what it holds.
class ChannelLayout {
 public:
  ChannelLayout() = default;
  ~ChannelLayout() { av_channel_layout_uninit(&layout_); }
  ChannelLayout(const ChannelLayout&) = delete;
  ChannelLayout& operator=(const ChannelLayout&) = delete;

  AVChannelLayout* get() { return &layout_; }
  const AVChannelLayout* get() const { return &layout_; }

 private:
  AVChannelLayout layout_{};
};

}  // namespace ovc::av
