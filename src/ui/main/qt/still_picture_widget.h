#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include "engine/playback/crop_rect.h"
#include "engine/playback/still_picture.h"

namespace ovc {

// The outline drawn around the part of the picture a conversion keeps.
inline const QColor kCropOutlineColour(221, 255, 0);

// The paused still picture: the current input picture stretched over the
// whole widget with smooth (halftone) scaling, and the crop rectangle
// outlined in kCropOutlineColour with a one-pixel pen, from
// (left × width, top × height) to (right × width, bottom × height).
class StillPictureWidget : public QWidget {
  Q_OBJECT

 public:
  explicit StillPictureWidget(QWidget* parent = nullptr);

  // Takes a copy of `bitmap` (blue, green, red bytes, top line first); an
  // empty bitmap clears the picture.
  void SetPicture(const Bitmap24& bitmap, const CropRect& crop);
  bool has_picture() const { return !picture_.isNull(); }
  const QImage& picture() const { return picture_; }

  // The outline's corners in widget pixels.
  QRect CropOutline() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
  CropRect crop_;
};

// The bitmap as an image of its own (null for an empty or inconsistent one).
QImage ImageFromBitmap(const Bitmap24& bitmap);

}  // namespace ovc
