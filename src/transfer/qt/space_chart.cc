#include "transfer/qt/space_chart.h"

#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QPainter>
#include <QPieSlice>
#include <QVBoxLayout>

namespace ovc {

SpaceChart::SpaceChart(QWidget* parent)
    : QWidget(parent),
      view_(new QChartView(this)),
      series_(new QPieSeries),
      legend_(new QWidget(this)),
      legend_rows_(new QVBoxLayout(legend_)) {
  auto* chart = new QChart;
  chart->addSeries(series_);
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->setBackgroundVisible(false);
  chart->setMargins(QMargins(0, 0, 0, 0));
  chart->layout()->setContentsMargins(0, 0, 0, 0);
  chart->legend()->setVisible(false);
  series_->setPieSize(0.95);
  view_->setChart(chart);
  view_->setRenderHint(QPainter::Antialiasing);
  view_->setFrameShape(QFrame::NoFrame);
  view_->setStyleSheet(QStringLiteral("background: transparent"));
  view_->setMinimumSize(64, 64);

  legend_rows_->setContentsMargins(0, 0, 0, 0);
  legend_rows_->setSpacing(4);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(view_, 1);
  row->addWidget(legend_, 0, Qt::AlignVCenter);
}

QString SpaceChart::LegendText(const char* label, double megabytes) {
  return QString::fromUtf8(label) + QLatin1Char(' ') +
         QString::fromStdString(SpaceLegendValue(megabytes));
}

void SpaceChart::AddSlice(const char* label, double megabytes, const QColor& colour) {
  auto* slice = new QPieSlice(LegendText(label, megabytes), megabytes);
  slice->setColor(colour);
  slice->setBorderColor(colour.darker(130));
  // An empty slice would still draw its border as a stray line.
  if (megabytes <= 0) slice->setPen(Qt::NoPen);
  slice->setLabelVisible(false);
  series_->append(slice);
}

void SpaceChart::ShowLegend() {
  while (QLayoutItem* item = legend_rows_->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  const int box = fontMetrics().height() * 2 / 3;
  for (QPieSlice* slice : series_->slices()) {
    auto* entry = new QWidget(legend_);
    auto* line = new QHBoxLayout(entry);
    line->setContentsMargins(0, 0, 0, 0);
    auto* swatch = new QLabel(entry);
    swatch->setFixedSize(box, box);
    swatch->setStyleSheet(QStringLiteral("background: %1; border: 1px solid %2")
                              .arg(slice->color().name(), slice->color().darker(130).name()));
    auto* text = new QLabel(slice->label(), entry);
    text->setTextFormat(Qt::PlainText);
    line->addWidget(swatch);
    line->addWidget(text);
    legend_rows_->addWidget(entry);
  }
}

void SpaceChart::ShowSpace(const PspSpace& space) {
  series_->clear();
  AddSlice(kFreeSlice, space.free_mb, QColor(0x2e, 0xa0, 0x43));
  AddSlice(kVideoSlice, space.video_mb, QColor(0xd7, 0x30, 0x27));
  AddSlice(kOtherSlice, space.other_mb, QColor(0x2f, 0x5f, 0xd0));
  ShowLegend();
}

void SpaceChart::ShowNone() {
  series_->clear();
  ShowLegend();
}

}  // namespace ovc
