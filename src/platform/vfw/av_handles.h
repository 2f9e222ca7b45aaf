#pragma once

#include "platform/av/av_handles.h"

namespace ovc::vfw {

// The FFmpeg owners a compressor holds.
using av::CodecContextPtr;
using av::FramePtr;
using av::PacketPtr;
using av::SwsContextPtr;

}  // namespace ovc::vfw
