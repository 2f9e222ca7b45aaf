#include "ui/dialogs/qt/qt_output_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "common/paths.h"
#include "ui/dialogs/qt/qt_save_file_dialog.h"
#include "ui/dialogs/qt/qt_text.h"

namespace ovc {
namespace {

namespace text = output_settings_text;

WindowRect ToWindowRect(const QRect& rect) {
  return WindowRect{rect.left(), rect.top(), rect.width(), rect.height()};
}

QSlider* LevelSlider(int minimum, int maximum, QWidget* parent) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setRange(minimum, maximum);
  slider->setSingleStep(1);
  slider->setPageStep(1);
  slider->setTickInterval(1);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setMinimumWidth(160);
  return slider;
}

}  // namespace

QtOutputSettingsDialog::QtOutputSettingsDialog(OutputConfig* output, std::string* output_path,
                                               QWidget* parent, SaveFileDialog* file_dialog)
    : QDialog(parent),
      own_file_dialog_(file_dialog ? nullptr : std::make_unique<QtSaveFileDialog>(this)),
      presenter_(this, file_dialog ? file_dialog : own_file_dialog_.get(), output, output_path) {
  BuildControls();
}

QtOutputSettingsDialog::~QtOutputSettingsDialog() = default;

void QtOutputSettingsDialog::BuildControls() {
  setWindowTitle(QString::fromUtf8(text::kCaption));

  auto* group = new QGroupBox(QString::fromUtf8(text::kGroup), this);
  auto* grid = new QGridLayout(group);

  auto* split_label = new QLabel(WithMnemonic(text::kSplitBefore, 'S'), group);
  split_size_edit_ = new QLineEdit(QStringLiteral("10000"), group);
  split_size_edit_->setObjectName(QStringLiteral("SplitSize_Edit"));
  split_size_edit_->setMaximumWidth(90);
  split_label->setBuddy(split_size_edit_);
  auto* split_row = new QHBoxLayout;
  split_row->addWidget(split_size_edit_);
  split_row->addWidget(new QLabel(QString::fromUtf8(text::kSplitAfter), group));
  split_row->addStretch(1);
  grid->addWidget(split_label, 0, 0);
  grid->addLayout(split_row, 0, 1);

  auto* file_label = new QLabel(WithMnemonic(text::kFileNameLabel, 'f'), group);
  file_name_edit_ = new QLineEdit(ToQString(HomeFolder() + "/Untitled.avi"), group);
  file_name_edit_->setObjectName(QStringLiteral("OutputFileName_Edit"));
  file_name_edit_->setMinimumWidth(280);
  file_label->setBuddy(file_name_edit_);
  auto* browse = new QPushButton(WithMnemonic(text::kBrowse, 'B'), group);
  browse->setObjectName(QStringLiteral("SpeedButton1"));
  browse->setAutoDefault(false);
  auto* file_row = new QHBoxLayout;
  file_row->addWidget(file_name_edit_, 1);
  file_row->addWidget(browse);
  grid->addWidget(file_label, 1, 0);
  grid->addLayout(file_row, 1, 1);

  auto* volume_label = new QLabel(WithMnemonic(text::kAudioVolume, 'V'), group);
  volume_slider_ = LevelSlider(kMinAudioVolumeLevel, kMaxAudioVolumeLevel, group);
  volume_slider_->setObjectName(QStringLiteral("AudioVolumeTrackBar"));
  volume_slider_->setValue(6);
  volume_slider_->setToolTip(QString::fromUtf8(text::kAudioVolumeHint));
  volume_label->setBuddy(volume_slider_);
  grid->addWidget(volume_label, 2, 0);
  grid->addWidget(volume_slider_, 2, 1, Qt::AlignLeft);

  auto* brightness_label = new QLabel(WithMnemonic(text::kBrightness, 'r'), group);
  brightness_slider_ = LevelSlider(0, kMaxBrightnessLevel, group);
  brightness_slider_->setObjectName(QStringLiteral("BrightnessTrackbar"));
  brightness_slider_->setValue(1);
  brightness_label->setBuddy(brightness_slider_);
  brightness_comment_ = new QLabel(QString::fromUtf8(text::kBrightnessOriginal), group);
  brightness_comment_->setObjectName(QStringLiteral("BrightnessComment"));
  brightness_comment_->setTextFormat(Qt::PlainText);
  // Room for the longest comment, so the row does not move as it changes.
  brightness_comment_->setMinimumWidth(
      brightness_comment_->fontMetrics().horizontalAdvance(QStringLiteral("(+3 level)")) + 8);
  auto* brightness_row = new QHBoxLayout;
  brightness_row->addWidget(brightness_slider_);
  brightness_row->addWidget(brightness_comment_);
  brightness_row->addStretch(1);
  grid->addWidget(brightness_label, 3, 0);
  grid->addLayout(brightness_row, 3, 1);

  psp_number_label_ = new QLabel(WithMnemonic(text::kPspVideoNumber, 'P'), group);
  psp_number_label_->setObjectName(QStringLiteral("PSPVideoNumber_lbl"));
  psp_number_edit_ = new QSpinBox(group);
  psp_number_edit_->setObjectName(QStringLiteral("TeSpinEdit1"));
  psp_number_edit_->setRange(0, kMaxPspVideoNumber);
  psp_number_edit_->setValue(10000);
  psp_number_label_->setBuddy(psp_number_edit_);
  grid->addWidget(psp_number_label_, 4, 0);
  grid->addWidget(psp_number_edit_, 4, 1, Qt::AlignLeft);

  auto* aspect_label = new QLabel(WithMnemonic(text::kAspect, 'A'), group);
  aspect_list_ = new QComboBox(group);
  aspect_list_->setObjectName(QStringLiteral("AspectComboBox"));
  aspect_list_->addItem(QString::fromUtf8(text::kAspectKeep));
  aspect_list_->addItem(QString::fromUtf8(text::kAspectStretch));
  aspect_label->setBuddy(aspect_list_);
  grid->addWidget(aspect_label, 5, 0);
  grid->addWidget(aspect_list_, 5, 1, Qt::AlignLeft);

  shutdown_check_ = new QCheckBox(WithMnemonic(text::kShutdown, 'd'), group);
  shutdown_check_->setObjectName(QStringLiteral("Shutdown_CheckBox"));
  grid->addWidget(shutdown_check_, 6, 0, 1, 2);
  screen_saver_check_ = new QCheckBox(WithMnemonic(text::kScreenSaver, 'n'), group);
  screen_saver_check_->setObjectName(QStringLiteral("ScreenSaver_CheckBox"));
  grid->addWidget(screen_saver_check_, 7, 0, 1, 2);
  grid->setColumnStretch(1, 1);

  auto* ok = new QPushButton(QString::fromUtf8(text::kOk), this);
  ok->setObjectName(QStringLiteral("OKBtn"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8(text::kCancel), this);
  cancel->setObjectName(QStringLiteral("CancelBtn"));
  cancel->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetMinimumSize);
  adjustSize();

  connect(brightness_slider_, &QSlider::valueChanged, this,
          [this] { presenter_.BrightnessTrackbarChange(); });
  connect(volume_slider_, &QSlider::valueChanged, this,
          [this] { presenter_.AudioVolumeTrackBarChange(); });
  connect(browse, &QPushButton::clicked, this, [this] { presenter_.SpeedButton1Click(); });
  connect(ok, &QPushButton::clicked, this, [this] { presenter_.OKBtnClick(); });
  connect(cancel, &QPushButton::clicked, this, [this] { presenter_.CancelBtnClick(); });
}

void QtOutputSettingsDialog::ShowDialog(bool modal) {
  if (isVisible()) {
    if (!modal) {
      raise();
      activateWindow();
      return;
    }
    // A window already on the screen cannot turn modal in place.
    hide();
  } else {
    presenter_.FormShow();
  }
  if (modal) {
    exec();
  } else {
    show();
    raise();
    activateWindow();
  }
}

void QtOutputSettingsDialog::reject() { presenter_.CancelBtnClick(); }

WindowRect QtOutputSettingsDialog::MainWindowRect() const {
  if (QWidget* parent = parentWidget()) return ToWindowRect(parent->window()->frameGeometry());
  return ToWindowRect(screen()->availableGeometry());
}

WindowRect QtOutputSettingsDialog::OwnRect() const {
  QRect frame = frameGeometry();
  // Before the first showing the window manager has not framed the dialog
  // yet; expect the frame the main window has, so the first opening is
  // centred as well as the later ones.
  QWidget* parent = parentWidget();
  if (frame.size() == size() && parent)
    frame.setSize(size() + (parent->window()->frameGeometry().size() - parent->window()->size()));
  return ToWindowRect(frame);
}

void QtOutputSettingsDialog::MoveTo(int left, int top) { move(left, top); }

void QtOutputSettingsDialog::Hide() { hide(); }

void QtOutputSettingsDialog::SetPspNumberVisible(bool visible) {
  psp_number_label_->setVisible(visible);
  psp_number_edit_->setVisible(visible);
}

void QtOutputSettingsDialog::SetPspNumber(int number) {
  QSignalBlocker block(psp_number_edit_);
  psp_number_edit_->setValue(number);
}

int QtOutputSettingsDialog::PspNumber() const {
  // A number still being typed counts as entered.
  psp_number_edit_->interpretText();
  return psp_number_edit_->value();
}

void QtOutputSettingsDialog::SetSplitSizeText(const std::string& text) {
  split_size_edit_->setText(ToQString(text));
}

std::string QtOutputSettingsDialog::SplitSizeText() const {
  return FromQString(split_size_edit_->text());
}

void QtOutputSettingsDialog::SetFileName(const std::string& path) {
  file_name_edit_->setText(ToQString(path));
}

std::string QtOutputSettingsDialog::FileName() const { return FromQString(file_name_edit_->text()); }

void QtOutputSettingsDialog::SetAudioVolumeLevel(int level) {
  QSignalBlocker block(volume_slider_);
  volume_slider_->setValue(level);
}

int QtOutputSettingsDialog::AudioVolumeLevel() const { return volume_slider_->value(); }

void QtOutputSettingsDialog::SetBrightnessLevel(int level) {
  QSignalBlocker block(brightness_slider_);
  brightness_slider_->setValue(level);
}

int QtOutputSettingsDialog::BrightnessLevel() const { return brightness_slider_->value(); }

void QtOutputSettingsDialog::SetBrightnessComment(const std::string& text) {
  brightness_comment_->setText(ToQString(text));
}

void QtOutputSettingsDialog::SetAspectIndex(int index) {
  QSignalBlocker block(aspect_list_);
  aspect_list_->setCurrentIndex(index);
}

int QtOutputSettingsDialog::AspectIndex() const { return aspect_list_->currentIndex(); }

void QtOutputSettingsDialog::SetShutdownChecked(bool checked) {
  QSignalBlocker block(shutdown_check_);
  shutdown_check_->setChecked(checked);
}

bool QtOutputSettingsDialog::ShutdownChecked() const { return shutdown_check_->isChecked(); }

void QtOutputSettingsDialog::SetScreenSaverChecked(bool checked) {
  QSignalBlocker block(screen_saver_check_);
  screen_saver_check_->setChecked(checked);
}

bool QtOutputSettingsDialog::ScreenSaverChecked() const {
  return screen_saver_check_->isChecked();
}

}  // namespace ovc
