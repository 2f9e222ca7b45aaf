#pragma once

#include <cstdint>

namespace ovc::media {

// One picture handed to the host: packed YUY2, `stride` bytes per line, top
// line first, shown at `aspect_x`:`aspect_y`. The bytes are valid only during
// the call that receives it.
struct VideoFrameView {
  const uint8_t* data = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;
  int32_t aspect_x = 0;
  int32_t aspect_y = 0;
};

// Where the video renderer shows pictures: the host's video panel. Called on
// the video streaming thread, and on the caller's thread for a repaint.
class VideoSurface {
 public:
  virtual ~VideoSurface() = default;
  virtual void Present(const VideoFrameView& frame) = 0;
  // False for a surface that shows nothing: the renderer then hands it no
  // pictures (and makes none for it).
  virtual bool ShowsPictures() const { return true; }
};

// Shows nothing: for headless use.
class NullVideoSurface final : public VideoSurface {
 public:
  void Present(const VideoFrameView&) override {}
  bool ShowsPictures() const override { return false; }
};

}  // namespace ovc::media
