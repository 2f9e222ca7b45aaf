#pragma once

#include <QImage>
#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/media/video_surface.h"

struct SwsContext;

namespace ovc {

class QtVideoSurface;

// The live-video window inside the video panel: paints the latest picture
// the surface received, stretched over the whole widget (the main window
// gives the widget the shape the picture is shown at). Black before the
// first picture.
class VideoWidget : public QWidget {
  Q_OBJECT

 public:
  explicit VideoWidget(QWidget* parent = nullptr);
  ~VideoWidget() override;

  // The surface the playback graph presents to; it stays valid after the
  // widget is gone (it then keeps pictures to itself).
  std::shared_ptr<QtVideoSurface> surface() const { return surface_; }

  // Forgets the picture shown (a new source).
  void Clear();

 signals:
  // A new picture arrived (GUI thread).
  void framePresented();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class QtVideoSurface;
  // On the GUI thread, after the surface stored a new picture.
  void FrameReady();

  std::shared_ptr<QtVideoSurface> surface_;
};

// The preview's VideoSurface. Present runs on the video streaming thread: it
// scales the packed YUY2 picture to the widget's current size into an RGB
// image, keeps it as the latest, and asks the GUI thread to repaint (one
// request at a time; pictures that arrive meanwhile replace the latest).
class QtVideoSurface final : public media::VideoSurface {
 public:
  QtVideoSurface();
  ~QtVideoSurface() override;
  QtVideoSurface(const QtVideoSurface&) = delete;
  QtVideoSurface& operator=(const QtVideoSurface&) = delete;

  void Present(const media::VideoFrameView& frame) override;

  // The latest picture (null before the first).
  QImage Latest() const;
  // Pictures presented so far.
  int presented() const { return presented_.load(); }

 private:
  friend class VideoWidget;
  struct SwsDeleter {
    void operator()(SwsContext* context) const;
  };
  void Attach(VideoWidget* widget);
  void Detach();
  void SetTargetSize(int width, int height);
  void ClearLatest();
  void FramePainted();

  // The size pictures are scaled to (pixels), written by the GUI thread.
  std::atomic<int> target_width_{0};
  std::atomic<int> target_height_{0};
  std::atomic<int> presented_{0};

  // Held while converting; Present may run on two threads (stream, repaint).
  std::mutex convert_mutex_;
  std::unique_ptr<SwsContext, SwsDeleter> scaler_;  // guarded by convert_mutex_

  mutable std::mutex mutex_;
  // Guarded by mutex_.
  QImage latest_;
  VideoWidget* widget_ = nullptr;
  bool repaint_pending_ = false;
};

}  // namespace ovc
