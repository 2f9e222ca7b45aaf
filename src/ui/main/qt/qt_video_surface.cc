#include "ui/main/qt/qt_video_surface.h"

#include <QPainter>
#include <QPointer>

#include <algorithm>

extern "C" {
#include <libswscale/swscale.h>
}

namespace ovc {
namespace {

// Pictures are never scaled beyond this, whatever the widget's size.
constexpr int kMaxSide = 4096;

}  // namespace

// --- VideoWidget ---

VideoWidget::VideoWidget(QWidget* parent)
    : QWidget(parent), surface_(std::make_shared<QtVideoSurface>()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
  surface_->Attach(this);
}

VideoWidget::~VideoWidget() { surface_->Detach(); }

void VideoWidget::Clear() {
  surface_->ClearLatest();
  update();
}

void VideoWidget::FrameReady() {
  surface_->FramePainted();
  update();
  emit framePresented();
}

void VideoWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  surface_->SetTargetSize(width(), height());
}

void VideoWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QImage image = surface_->Latest();
  if (image.isNull()) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(rect(), image);
}

// --- QtVideoSurface ---

void QtVideoSurface::SwsDeleter::operator()(SwsContext* context) const { sws_freeContext(context); }

QtVideoSurface::QtVideoSurface() = default;

QtVideoSurface::~QtVideoSurface() = default;

void QtVideoSurface::Attach(VideoWidget* widget) {
  std::lock_guard<std::mutex> lock(mutex_);
  widget_ = widget;
}

void QtVideoSurface::Detach() {
  std::lock_guard<std::mutex> lock(mutex_);
  widget_ = nullptr;
}

void QtVideoSurface::SetTargetSize(int width, int height) {
  target_width_.store(width);
  target_height_.store(height);
}

void QtVideoSurface::ClearLatest() {
  std::lock_guard<std::mutex> lock(mutex_);
  latest_ = QImage();
}

void QtVideoSurface::FramePainted() {
  std::lock_guard<std::mutex> lock(mutex_);
  repaint_pending_ = false;
}

QImage QtVideoSurface::Latest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return latest_;
}

void QtVideoSurface::Present(const media::VideoFrameView& frame) {
  if (!frame.data || frame.width < 2 || frame.height < 1 || frame.stride < frame.width * 2) return;
  int width = target_width_.load();
  int height = target_height_.load();
  if (width <= 0 || height <= 0) {
    width = frame.width;
    height = frame.height;
  }
  width = std::clamp(width, 2, kMaxSide);
  height = std::clamp(height, 2, kMaxSide);

  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return;
  {
    std::lock_guard<std::mutex> lock(convert_mutex_);
    scaler_.reset(sws_getCachedContext(scaler_.release(), frame.width, frame.height,
                                       AV_PIX_FMT_YUYV422, width, height, AV_PIX_FMT_RGB32,
                                       SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler_) return;
    const uint8_t* source[4] = {frame.data, nullptr, nullptr, nullptr};
    const int source_stride[4] = {frame.stride, 0, 0, 0};
    uint8_t* target[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int target_stride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler_.get(), source, source_stride, 0, frame.height, target, target_stride);
  }
  presented_.fetch_add(1);

  std::lock_guard<std::mutex> lock(mutex_);
  latest_ = std::move(image);
  if (widget_ && !repaint_pending_) {
    repaint_pending_ = true;
    // The widget is alive now (it detaches under this lock before it goes);
    // should it go before the call runs, Qt drops the call with it.
    VideoWidget* widget = widget_;
    QMetaObject::invokeMethod(widget, [widget] { widget->FrameReady(); }, Qt::QueuedConnection);
  }
}

}  // namespace ovc
