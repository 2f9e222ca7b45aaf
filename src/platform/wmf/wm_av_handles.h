#pragma once

#include "platform/av/av_handles.h"

namespace ovc::wmf {

// The FFmpeg owners behind the writer. The output context closes its file
// when it still has one.
using OutputContextPtr = av::OutputContextWithFilePtr;
using av::AudioFifoPtr;
using av::CodecContextPtr;
using av::FramePtr;
using av::PacketPtr;
using av::SwrContextPtr;
using av::SwsContextPtr;

}  // namespace ovc::wmf
