#pragma once

#include <cstdint>

#include "platform/media/media_types.h"

namespace ovc::media {

// The type of packed YUY2 pictures of `width` × `height` pixels, one every
// `avg_time_per_frame` (100-ns units). Square pixels (or an unknown sample
// aspect, 0:0) give the plain video format block; otherwise the extended
// one with the picture aspect ratio (width × sample_aspect_x :
// height × sample_aspect_y, reduced), where `interlaced` sets interlace
// flag bit 0.
MediaType MakeYuy2Type(int32_t width, int32_t height, int32_t sample_aspect_x,
                       int32_t sample_aspect_y, ReferenceTime avg_time_per_frame,
                       bool interlaced);

// The type of interleaved PCM: `bits` 16 (signed) or 8 (unsigned).
MediaType MakePcmType(int32_t samples_per_sec, int32_t channels, int32_t bits);

// Width, height and line stride in bytes of a YUY2 type's pictures; false
// for any other type.
bool Yuy2Geometry(const MediaType& type, int32_t* width, int32_t* height, int32_t* stride);

}  // namespace ovc::media
