#pragma once

#include <cstdint>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace ovc::media {

// Whether a packet of an H.264 or HEVC stream holds nothing but slices of
// pictures no other picture refers to, with at most access unit
// delimiters, supplemental information and filler beside them. Told to
// skip unreferenced pictures, the decoder would leave all of such a packet
// but its supplemental information unread; the packet can instead be kept
// from the decoder altogether, so that it takes none of the decoder's
// frame threads. `extradata` tells whether the stream's NAL units come
// length-prefixed (MP4, Matroska) or after start codes (MPEG-TS, raw
// streams). Anything else, or a packet that does not parse, is false.
bool HoldsOnlyUnreferencedPictures(AVCodecID codec, const uint8_t* extradata,
                                   int extradata_size, const uint8_t* data, int size);

}  // namespace ovc::media
