#pragma once

// Owners for the FFmpeg objects of the FFmpeg writer, so that every early
// return of an open or an encode frees what it had.

#include <functional>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace ovc {

struct Mp4CodecContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using Mp4CodecContextPtr = std::unique_ptr<AVCodecContext, Mp4CodecContextDeleter>;

struct Mp4FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using Mp4FramePtr = std::unique_ptr<AVFrame, Mp4FrameDeleter>;

struct Mp4PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using Mp4PacketPtr = std::unique_ptr<AVPacket, Mp4PacketDeleter>;

struct Mp4SwsDeleter {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};
using Mp4SwsPtr = std::unique_ptr<SwsContext, Mp4SwsDeleter>;

struct Mp4AudioFifoDeleter {
  void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
using Mp4AudioFifoPtr = std::unique_ptr<AVAudioFifo, Mp4AudioFifoDeleter>;

// An output format context; its file (pb) is owned apart, by Mp4IoPtr.
struct Mp4FormatContextDeleter {
  void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};
using Mp4FormatContextPtr = std::unique_ptr<AVFormatContext, Mp4FormatContextDeleter>;

struct Mp4IoDeleter {
  void operator()(AVIOContext* io) const { avio_closep(&io); }
};
using Mp4IoPtr = std::unique_ptr<AVIOContext, Mp4IoDeleter>;

// Takes one encoded packet (time stamps in the encoder's time base) and
// writes it to the file; returns 0 or a negative AVERROR. The packet's
// contents are consumed either way.
using Mp4PacketWriter = std::function<int(AVPacket*)>;

// FFmpeg's text for an error code.
inline std::string Mp4ErrorText(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  return text;
}

}  // namespace ovc
