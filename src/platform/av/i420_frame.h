#pragma once

// A 4:2:0 picture in one block of memory, the form in which the capture
// hands its output frames to the encoders: the Y plane of width × height,
// then the U and the V plane of ⌈width/2⌉ × ⌈height/2⌉, every line right
// after the one before (strides equal the plane widths). This is the
// layout of the "I420" four-character code.

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
}

namespace ovc::av {

struct I420Frame {
  int width = 0;  // pixels
  int height = 0;

  int chroma_width() const { return (width + 1) / 2; }
  int chroma_height() const { return (height + 1) / 2; }
  size_t luma_bytes() const { return static_cast<size_t>(width) * height; }
  size_t chroma_bytes() const { return static_cast<size_t>(chroma_width()) * chroma_height(); }
  // Bytes of the whole block; 0 for a size that is not positive.
  size_t bytes() const {
    return width > 0 && height > 0 ? luma_bytes() + 2 * chroma_bytes() : 0;
  }

  // Where the planes of a block at `base` start, and their strides.
  template <typename Byte>
  void Planes(Byte* base, Byte* planes[3], int strides[3]) const {
    planes[0] = base;
    planes[1] = base + luma_bytes();
    planes[2] = base + luma_bytes() + chroma_bytes();
    strides[0] = width;
    strides[1] = strides[2] = chroma_width();
  }
};

// Copies a block of `layout`'s size into a writable 4:2:0 frame of the
// same size (whatever its strides).
inline void CopyI420ToFrame(const uint8_t* block, const I420Frame& layout, AVFrame* frame) {
  const uint8_t* planes[4] = {};
  int strides[4] = {};
  layout.Planes(block, planes, strides);
  av_image_copy(frame->data, frame->linesize, planes, strides, AV_PIX_FMT_YUV420P, layout.width,
                layout.height);
}

}  // namespace ovc::av
