#include "ui/dialogs/qt/qt_finished_recording_dialog.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialogs/qt/qt_text.h"

namespace ovc {
namespace {

namespace text = finished_recording_text;

// Paths wider than this are shown on several lines, broken after a '/'
// where one is near enough, so that a deep folder cannot push the window off
// the screen. In pixels.
constexpr int kMaxPathWidth = 560;

// `path` in lines no wider than `width` pixels.
QString WrappedPath(const QString& path, const QFontMetrics& metrics, int width) {
  QString wrapped;
  QString line;
  int last_slash = -1;  // in `line`
  for (const QChar c : path) {
    line += c;
    if (c == QLatin1Char('/')) last_slash = static_cast<int>(line.size()) - 1;
    if (line.size() > 1 && metrics.horizontalAdvance(line) > width) {
      // Break after the last '/' when it leaves a fair share on the line.
      const int size = static_cast<int>(line.size());
      const int cut = last_slash >= size / 2 ? last_slash + 1 : size - 1;
      wrapped += line.left(cut) + QLatin1Char('\n');
      line = line.mid(cut);
      last_slash = static_cast<int>(line.lastIndexOf(QLatin1Char('/')));
    }
  }
  return wrapped + line;
}

QLabel* PlainLabel(QWidget* parent, const char* object_name) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(object_name));
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

QtFinishedRecordingDialog::QtFinishedRecordingDialog(const OutputConfig* output, Shell* shell,
                                                     PowerControl* power, QWidget* parent)
    : QDialog(parent), presenter_(this, shell, power, output, &output_path_) {
  BuildControls();
}

void QtFinishedRecordingDialog::BuildControls() {
  setWindowTitle(QString::fromUtf8(text::kCaption));

  completed_label_ = PlainLabel(this, "Label0");
  completed_label_->setText(QString::fromUtf8(text::kCompleted));
  QFont heading = completed_label_->font();
  heading.setBold(true);
  if (heading.pointSizeF() > 0) heading.setPointSizeF(heading.pointSizeF() * 1.25);
  completed_label_->setFont(heading);
  location_label_ = PlainLabel(this, "Label1");
  location_label_->setText(QString::fromUtf8(text::kLocation));
  output_path_label_ = PlainLabel(this, "label_OutputPath");
  output_path_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  next_step_label_ = PlainLabel(this, "label_NextStep");
  next_step_label_->setWordWrap(true);
  next_step_label_->setMinimumWidth(420);

  auto* ok = new QPushButton(QString::fromUtf8(text::kOk), this);
  ok->setObjectName(QStringLiteral("Button1"));
  ok->setDefault(true);
  auto* open_folder = new QPushButton(WithMnemonic(text::kOpenFolder, 'O'), this);
  open_folder->setObjectName(QStringLiteral("Button2"));
  open_folder->setAutoDefault(false);
  auto* play = new QPushButton(WithMnemonic(text::kPlay, 'P'), this);
  play->setObjectName(QStringLiteral("Button3"));
  play->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(open_folder);
  buttons->addWidget(play);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(completed_label_);
  layout->addSpacing(6);
  layout->addWidget(location_label_);
  layout->addWidget(output_path_label_);
  layout->addSpacing(6);
  layout->addWidget(next_step_label_);
  layout->addStretch(1);
  layout->addSpacing(10);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetMinimumSize);

  connect(ok, &QPushButton::clicked, this, [this] { presenter_.Button1Click(); });
  connect(open_folder, &QPushButton::clicked, this, [this] { presenter_.Button2Click(); });
  connect(play, &QPushButton::clicked, this, [this] { presenter_.Button3Click(); });
}

void QtFinishedRecordingDialog::ShowFor(const std::string& output_path, bool psp_profile,
                                        const ConversionOutcome& outcome) {
  if (isVisible()) return;
  output_path_ = output_path;
  presenter_.FormShow(psp_profile, outcome);
  adjustSize();
  exec();
}

void QtFinishedRecordingDialog::reject() { presenter_.Button1Click(); }

void QtFinishedRecordingDialog::SetCompletedText(const std::string& text) {
  completed_label_->setText(ToQString(text));
}

void QtFinishedRecordingDialog::SetLocationText(const std::string& text) {
  location_label_->setText(ToQString(text));
}

void QtFinishedRecordingDialog::SetOutputPath(const std::string& path) {
  // Every path whole, wrapped where it is too wide; the tool tip holds the
  // paths unbroken.
  const QString full = ToQString(path);
  QStringList lines;
  for (const QString& one : full.split(QLatin1Char('\n')))
    lines << WrappedPath(one, output_path_label_->fontMetrics(), kMaxPathWidth);
  const QString shown = lines.join(QLatin1Char('\n'));
  output_path_label_->setText(shown);
  output_path_label_->setToolTip(shown == full ? QString() : full);
}

void QtFinishedRecordingDialog::SetNextStep(const std::string& text) {
  next_step_label_->setText(ToQString(text));
  next_step_label_->setVisible(!text.empty());
}

void QtFinishedRecordingDialog::Hide() { hide(); }

}  // namespace ovc
