#pragma once

#include <QColor>
#include <QLabel>

#include <cstdint>

namespace ovc {

// A colour given as 0x00BBGGRR.
QColor ColourFromBgr(uint32_t bgr);

// TopStatusLabel: the guide banner over the video panel. It shows a text on
// a background colour, can fade between colours (the recording animation)
// and can be frozen, when it keeps showing what it showed until restored.
class GuideBanner : public QLabel {
  Q_OBJECT

 public:
  // How long one animation runs, in milliseconds.
  static constexpr int kAnimationMs = 220;

  explicit GuideBanner(QWidget* parent = nullptr);

  void SetTextColour(const QColor& colour);
  // The background; the window colour when `colour` is invalid.
  void SetBackground(const QColor& colour);
  QColor background() const { return background_; }
  // The background as painted right now (differs while frozen or fading).
  QColor shown_background() const { return shown_; }

  // Fades the shown background from `from` to `to`, which becomes the
  // background, running the event loop meanwhile (user input waits).
  // Returns when done; a hidden banner takes `to` at once.
  void Fade(const QColor& from, const QColor& to);
  void Freeze();
  void Restore();
  bool frozen() const { return frozen_; }

  // The width the banner needs for `text`, in pixels.
  int WidthFor(const QString& text) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor background_;
  QColor shown_;
  QColor text_colour_ = Qt::black;
  bool frozen_ = false;
};

}  // namespace ovc
