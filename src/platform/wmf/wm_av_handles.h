#pragma once

#include "platform/av/av_handles.h"

namespace ovc::wmf {

// The FFmpeg owners behind the writer. The output context's file is owned
// apart (av::ReservedFileIo).
using OutputContextPtr = av::OutputContextPtr;
using av::AudioFifoPtr;
using av::CodecContextPtr;
using av::FramePtr;
using av::PacketPtr;
using av::SwrContextPtr;
using av::SwsContextPtr;

}  // namespace ovc::wmf
