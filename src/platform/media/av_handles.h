#pragma once

#include "platform/av/av_handles.h"

namespace ovc::media {

// The FFmpeg owners the media layer holds.
using FormatContextPtr = av::InputContextPtr;
using av::ChannelLayout;
using av::CodecContextPtr;
using av::FramePtr;
using av::PacketPtr;
using av::SwrContextPtr;
using av::SwsContextPtr;

}  // namespace ovc::media
