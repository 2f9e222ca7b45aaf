#pragma once

// Owners for the FFmpeg objects of the FFmpeg writer, so that every early
// return of an open or an encode frees what it had.

#include <functional>
#include <memory>
#include <string>

#include "platform/av/av_handles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace ovc {

using Mp4CodecContextPtr = av::CodecContextPtr;
using Mp4FramePtr = av::FramePtr;
using Mp4PacketPtr = av::PacketPtr;
using Mp4SwsPtr = av::SwsContextPtr;
using Mp4AudioFifoPtr = av::AudioFifoPtr;
// An output format context; its file (pb) is owned apart, by Mp4IoPtr.
using Mp4FormatContextPtr = av::OutputContextPtr;

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
