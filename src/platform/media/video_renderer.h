#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "common/mutex.h"
#include "platform/media/renderer_filter.h"
#include "platform/media/video_surface.h"

namespace ovc::media {

// Monotonic wall time in microseconds.
using WallTimeSource = std::function<int64_t()>;
WallTimeSource SteadyWallTime();

// "Video Renderer": takes packed YUY2 and shows it on the host's surface.
// In preview each picture is shown when it is due on the reference clock
// (the first picture after a start or a seek is shown at once when the graph
// holds it paused). While free-running,
// pictures are released as soon as the scheduler lets them go, and only
// one every kFreeRunInterval of wall time is shown: drawing never slows a
// conversion.
class VideoRenderer final : public RendererFilter {
 public:
  static constexpr int64_t kFreeRunInterval = 33333;  // µs: about 30 pictures a second

  VideoRenderer(std::shared_ptr<VideoSurface> surface, WallTimeSource wall_time);

  // Shows the last picture shown again, on the caller's thread. False when
  // the renderer holds none.
  bool Repaint();

 protected:
  bool AcceptInput(const Pin& input, const Pin& upstream, const MediaType& type) const override;
  void PrepareStreaming() override;
  void Receive(Pin& input, Sample& sample) override;
  void EndOfStream(Pin& input) override;

 private:
  void Present(const Sample& sample);

  const std::shared_ptr<VideoSurface> surface_;
  const WallTimeSource wall_time_;

  // Written by the streaming thread only.
  ReferenceTime last_stop_ = 0;
  bool shown_in_segment_ = false;
  bool shown_free_running_ = false;
  int64_t last_free_running_show_ = 0;

  Mutex picture_mutex_;
  // A copy of the last picture shown.
  std::vector<uint8_t> picture_ OVC_GUARDED_BY(picture_mutex_);
  VideoFrameView picture_view_ OVC_GUARDED_BY(picture_mutex_);
};

}  // namespace ovc::media
