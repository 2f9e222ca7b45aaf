#pragma once

#include <QPieSeries>
#include <QString>
#include <QWidget>

#include "transfer/psp_space.h"

class QChartView;
class QVBoxLayout;

namespace ovc {

// The pie chart of a memory stick's space: "Free" (green), "Video" (red)
// and "Other" (blue), each legend entry the slice's label with its value
// (SpaceLegendValue); or nothing at all while no drive is chosen. The legend
// stands beside the pie and is never cut; the pie takes the room that is
// left.
class SpaceChart : public QWidget {
  Q_OBJECT

 public:
  explicit SpaceChart(QWidget* parent);

  void ShowSpace(const PspSpace& space);
  void ShowNone();

  // The slices, labelled with their legend texts.
  QPieSeries* series() const { return series_; }

  // The legend text of a slice: "Free 300M", "Video 0.6M".
  static QString LegendText(const char* label, double megabytes);

 private:
  void AddSlice(const char* label, double megabytes, const QColor& colour);
  void ShowLegend();

  QChartView* view_;
  QPieSeries* series_;
  QWidget* legend_;
  QVBoxLayout* legend_rows_;
};

}  // namespace ovc
