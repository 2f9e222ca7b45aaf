#include "platform/media/video_renderer.h"

#include <chrono>

#include "platform/media/media_formats.h"
#include "platform/media/sample.h"

namespace ovc::media {

WallTimeSource SteadyWallTime() {
  return [] {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
}

VideoRenderer::VideoRenderer(std::shared_ptr<VideoSurface> surface, WallTimeSource wall_time)
    : surface_(surface ? std::move(surface) : std::make_shared<NullVideoSurface>()),
      wall_time_(wall_time ? std::move(wall_time) : SteadyWallTime()) {}

bool VideoRenderer::AcceptInput(const Pin& input, const Pin&, const MediaType& type) const {
  int32_t width = 0, height = 0, stride = 0;
  return &input == in() && Yuy2Geometry(type, &width, &height, &stride) && width > 0 &&
         height > 0;
}

void VideoRenderer::PrepareStreaming() {
  last_stop_ = 0;
  shown_in_segment_ = false;
  shown_free_running_ = false;
}

void VideoRenderer::Receive(Pin& input, Sample& sample) {
  if (stream() < 0) return;
  MediaType changed;
  if (sample.GetMediaType(&changed)) input.set_media_type(changed);
  bool shown = false;
  std::function<void()> preroll;
  if (!shown_in_segment_) {
    preroll = [&] {
      Present(sample);
      shown = true;
    };
  }
  const Release release = scheduler()->WaitForSample(stream(), sample.start(), preroll);
  if (release != Release::kFlushed) shown_in_segment_ = true;
  last_stop_ = sample.stop();
  switch (release) {
    case Release::kFlushed:
      return;
    case Release::kPresent:
      if (!shown) Present(sample);
      return;
    case Release::kFreeRun: {
      const int64_t now = wall_time_();
      if (!shown_free_running_ || now - last_free_running_show_ >= kFreeRunInterval) {
        shown_free_running_ = true;
        last_free_running_show_ = now;
        if (!shown) Present(sample);
      }
      return;
    }
  }
}

void VideoRenderer::EndOfStream(Pin&) {
  if (stream() >= 0) scheduler()->EndOfStream(stream(), last_stop_);
}

void VideoRenderer::Present(const Sample& sample) {
  if (!surface_->ShowsPictures()) return;
  const MediaType type = in()->media_type();
  VideoFrameView view;
  if (!Yuy2Geometry(type, &view.width, &view.height, &view.stride)) return;
  if (sample.length() < view.stride * view.height) return;
  if (type.format_type == FormatType::kVideoInfo2 && type.video2.picture_aspect_y > 0) {
    view.aspect_x = static_cast<int32_t>(type.video2.picture_aspect_x);
    view.aspect_y = static_cast<int32_t>(type.video2.picture_aspect_y);
  } else {
    view.aspect_x = view.width;
    view.aspect_y = view.height;
  }
  {
    MutexLock lock(&picture_mutex_);
    picture_.assign(sample.data(), sample.data() + view.stride * view.height);
    picture_view_ = view;
  }
  view.data = sample.data();
  surface_->Present(view);
}

bool VideoRenderer::Repaint() {
  std::vector<uint8_t> picture;
  VideoFrameView view;
  {
    MutexLock lock(&picture_mutex_);
    if (picture_.empty()) return false;
    picture = picture_;
    view = picture_view_;
  }
  view.data = picture.data();
  surface_->Present(view);
  return true;
}

}  // namespace ovc::media
