#include "ui/main/qt/still_picture_widget.h"

#include <QPainter>

namespace ovc {

QImage ImageFromBitmap(const Bitmap24& bitmap) {
  if (bitmap.empty() || bitmap.width <= 0 || bitmap.height <= 0 ||
      bitmap.pixels.size() < static_cast<size_t>(bitmap.width) * bitmap.height * 3)
    return QImage();
  // The bitmap's lines are exactly 3 × width bytes; QImage wants its own
  // alignment, so copy() detaches from the borrowed bytes.
  return QImage(bitmap.pixels.data(), bitmap.width, bitmap.height, bitmap.width * 3,
                QImage::Format_BGR888)
      .copy();
}

StillPictureWidget::StillPictureWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void StillPictureWidget::SetPicture(const Bitmap24& bitmap, const CropRect& crop) {
  picture_ = ImageFromBitmap(bitmap);
  crop_ = crop;
  update();
}

QRect StillPictureWidget::CropOutline() const {
  const int left = static_cast<int>(crop_.left * width());
  const int top = static_cast<int>(crop_.top * height());
  const int right = static_cast<int>(crop_.right * width());
  const int bottom = static_cast<int>(crop_.bottom * height());
  return QRect(QPoint(left, top), QPoint(right, bottom));
}

void StillPictureWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (picture_.isNull()) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(rect(), picture_);
  painter.setPen(QPen(kCropOutlineColour, 1));
  painter.setBrush(Qt::NoBrush);
  // The outline's far edge lies on the last column and line for a whole
  // picture, where a pen of width 1 still shows it.
  const QRect outline = CropOutline();
  painter.drawRect(QRect(outline.topLeft(),
                         QPoint(std::min(outline.right(), width() - 1),
                                std::min(outline.bottom(), height() - 1))));
}

}  // namespace ovc
