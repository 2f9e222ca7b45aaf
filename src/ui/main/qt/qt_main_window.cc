#include "ui/main/qt/qt_main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

#include "common/paths.h"
#include "platform/power/power_control.h"
#include "ui/dialogs/qt/qt_finished_recording_dialog.h"
#include "ui/dialogs/qt/qt_missing_codec_dialog.h"
#include "ui/dialogs/qt/qt_output_folder_dialog.h"
#include "ui/dialogs/qt/qt_output_settings_dialog.h"
#include "ui/dialogs/qt/qt_save_profile_dialog.h"
#include "ui/main/qt/dbus_screen_saver.h"
#include "ui/main/qt/eliding_label.h"
#include "ui/main/qt/guide_banner.h"
#include "ui/main/qt/main_window_style.h"
#include "ui/main/qt/qt_audio_sink.h"
#include "ui/main/qt/qt_shell.h"
#include "ui/main/qt/qt_video_surface.h"
#include "ui/main/qt/range_bar.h"
#include "ui/main/qt/still_picture_widget.h"
#include "ui/main/qt/value_list_editor.h"
#include "ui/main/window_messages.h"

namespace ovc {
namespace {

// Panel1's size at start: a 4:3 video area of 592 × 444 inside a 1-pixel
// border, about as high as the profile side. It grows with the window; it
// never gets smaller than the minimum.
constexpr int kPanelWidth = 594;
constexpr int kPanelHeight = 446;
constexpr int kPanelMinWidth = 322;
constexpr int kPanelMinHeight = 242;
constexpr int kRightColumnWidth = 300;
constexpr int kTimerIntervalMs = 500;

QLabel* SectionCaption(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName("SectionCaption");
  label->setBuddy(buddy);
  return label;
}

QPushButton* Button(const char* name, const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  return button;
}

QAction* Action(const char* name, const QString& text, QObject* parent) {
  auto* action = new QAction(text, parent);
  action->setObjectName(name);
  return action;
}

}  // namespace

QtMainWindow::QtMainWindow(const QtMainWindowOptions& options, QWidget* parent)
    : QMainWindow(parent), options_(options) {
  setObjectName("TZentavidForm");
  setStyleSheet(MainWindowStyleSheet());
  BuildMenus();
  BuildControls();

  shell_ = std::make_unique<QtShell>();
  power_ = std::make_unique<LogindPowerControl>();
  screen_saver_ = std::make_unique<DBusScreenSaver>();
  missing_codec_ = new QtMissingCodecDialog(shell_.get(), this);
  if (options_.preview_sound) sink_ = std::make_shared<QtAudioSink>();

  MainWindowParts parts = MainWindowParts::Of(this);
  parts.screen_saver = screen_saver_.get();
  parts.missing_codec = missing_codec_;
  parts.preview_surface = video_->surface();
  if (sink_) parts.preview_sink = sink_;
  else parts.preview_sink = std::make_shared<media::NullAudioSink>();
  presenter_ = std::make_unique<MainPresenter>(parts, options_.presenter);

  ConnectControls();
  // Start-up reads the settings; the dialogs read them in turn, so they
  // come after it.
  presenter_->FormCreate();
  CreateDialogs();

  performance_monitor_.setInterval(kTimerIntervalMs);
  connect(&performance_monitor_, &QTimer::timeout, this, [this] {
    if (presenter_) presenter_->PerformanceMonitorTimer();
  });
  performance_monitor_.start();
}

QtMainWindow::~QtMainWindow() {
  performance_monitor_.stop();
  if (busy_cursor_) QApplication::restoreOverrideCursor();
  // The presenter first: it closes the graph, whose threads present to the
  // video widget and play to the sink, and it still calls the views.
  presenter_.reset();
}

// --- Building ---

void QtMainWindow::BuildMenus() {
  menu_open_ = Action("menu_OpenVideoFile", "Open Video File ...", this);
  menu_open_->setShortcut(QKeySequence::Open);
  menu_save_as_ = Action("menu_SetOutputPath", "Save as ...", this);
  menu_save_as_->setShortcut(QKeySequence::Save);
  menu_save_as_->setEnabled(false);
  encode_menu_ = Action("EncodeMenu", "Record it", this);
  encode_menu_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  exit_menu_ = Action("ExitMenu", "Exit", this);
  exit_menu_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  menu_output_setting_ = Action("menu_OutputSetting", "Output Settings ...", this);
  menu_output_setting_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  menu_transfer_ = Action("menu_Transfer", "PSP Video Transfer", this);
  menu_transfer_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  manual_ = Action("CustomItem1", "Manual", this);
  manual_->setShortcut(QKeySequence::HelpContents);
  website_ = Action("CustomItem2", "Website", this);

  QMenu* file = menuBar()->addMenu("&File");
  file->addAction(menu_open_);
  file->addAction(menu_save_as_);
  file->addSeparator();
  file->addAction(encode_menu_);
  file->addSeparator();
  file->addAction(exit_menu_);

  QMenu* tools = menuBar()->addMenu("&Options");
  tools->addAction(menu_output_setting_);
  menu_separator_ = tools->addSeparator();
  menu_separator_->setObjectName("menu_Seperator");
  tools->addAction(menu_transfer_);
  menu_separator_->setVisible(false);
  menu_transfer_->setVisible(false);

  QMenu* help = menuBar()->addMenu("&Help");
  help->addAction(manual_);
  help->addAction(website_);

  popup_open_file_ = Action("popup_OpenFile", "Open File ...", this);
  popup_batch_ = Action("popup_BatchConvert", "Batch Convert Video Files", this);
  popup_save_as_ = Action("popup_SetOutputPath_menu", "Save as ...", this);
  popup_save_as_->setEnabled(false);
  open_menu_ = new QMenu(this);
  open_menu_->setObjectName("TePopupMenu1");
  open_menu_->addAction(popup_open_file_);
  open_menu_->addAction(popup_batch_);
  open_menu_->addSeparator();
  open_menu_->addAction(popup_save_as_);
}

void QtMainWindow::BuildControls() {
  auto* central = new QWidget(this);
  setCentralWidget(central);

  // --- Left: the video panel, the position bar, the transport ---
  panel_ = new QFrame(central);
  panel_->setObjectName("Panel1");
  panel_->setMinimumSize(kPanelMinWidth, kPanelMinHeight);
  panel_->resize(kPanelWidth, kPanelHeight);
  panel_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  panel_->installEventFilter(this);
  video_area_ = new QWidget(panel_);
  video_area_->setObjectName("VideoRect");
  video_ = new VideoWidget(video_area_);
  video_->setObjectName("VideoWindow");
  still_ = new StillPictureWidget(video_area_);
  still_->setObjectName("PausedScreenPanel");
  still_->hide();
  banner_ = new GuideBanner(panel_);
  banner_->hide();

  position_area_ = new QWidget(central);
  position_area_->setObjectName("PositionArea");
  position_area_->installEventFilter(this);
  bar_ = new RangeBar(position_area_);
  bar_->setObjectName("PositionRangeBar");
  bar_->setToolTip(
      "Drag the left handle to choose where playback and the conversion start, the right "
      "handle where the conversion stops");
  // In the transport row: under the bar the range labels move with the
  // handles and would run over it.
  time_label_ = new QLabel(central);
  time_label_->setObjectName("TimeLabel");
  start_label_ = new QLabel(position_area_);
  start_label_->setObjectName("StartPoint_label");
  start_label_->hide();
  end_label_ = new QLabel(position_area_);
  end_label_->setObjectName("EndPoint_label");
  end_label_->hide();
  const int label_height = fontMetrics().height() + 4;
  position_area_->setMinimumHeight(bar_->sizeHint().height() + label_height);
  position_area_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  position_area_->setFixedHeight(bar_->sizeHint().height() + label_height);
  SetTimeLabel("0:00:00 of [0:00:00] ");

  play_ = Button("PlayButton", "Play", central);
  play_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
  play_->setToolTip("Play (F5)");
  pause_ = Button("PauseButton", "Pause", central);
  pause_->setIcon(style()->standardIcon(QStyle::SP_MediaPause));
  pause_->setToolTip("Pause (F6)");
  stop_ = Button("StopButton", "Stop", central);
  stop_->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
  stop_->setToolTip("Stop & Reset to the very beginning");
  open_button_ = Button("OpenDVDButton", "", central);
  open_button_->setMenu(open_menu_);
  open_button_->setToolTip("Open a video file, or convert many at once");

  auto* transport = new QHBoxLayout;
  transport->addWidget(play_);
  transport->addWidget(pause_);
  transport->addWidget(stop_);
  transport->addSpacing(8);
  transport->addWidget(time_label_);
  transport->addStretch(1);
  transport->addWidget(open_button_);

  auto* left = new QVBoxLayout;
  left->addWidget(panel_, 1);
  left->addWidget(position_area_);
  left->addLayout(transport);

  // --- Right: profile, value lists, output ---
  profile_combo_ = new QComboBox(central);
  profile_combo_->setObjectName("ProfileCombo");
  profile_combo_->setToolTip("The device or format to convert for");
  time_list_ = new ValueListEditor(central);
  time_list_->setObjectName("TimeValueList");
  video_list_ = new ValueListEditor(central);
  video_list_->setObjectName("VideoValueList");
  audio_list_ = new ValueListEditor(central);
  audio_list_->setObjectName("AudioValueList");
  save_profile_ = Button("SaveProfileBtn", "Save as ...", central);
  save_profile_->setToolTip("Save the current settings to profile");
  more_options_ = Button("MoreOptionsBtn", "More options ...", central);
  more_options_->setToolTip("Output Setting");
  save_thumbnail_ = Button("SaveThumbnailBtn", "Thumbnail", central);
  save_thumbnail_->setToolTip("Save the current frame as video thumbnail");
  mb_per_minute_ = new QLabel(central);
  mb_per_minute_->setObjectName("MBperMinLabel");
  estimated_size_ = new QLabel(central);
  estimated_size_->setObjectName("EstimatedSizeLabel");
  output_folder_ = new QLineEdit(central);
  output_folder_->setObjectName("OutputFolderEdit");
  output_folder_->setToolTip("Where converted videos go");
  output_file_ = new QLabel(central);
  output_file_->setObjectName("OutputFileLabel");
  output_file_->setTextFormat(Qt::PlainText);
  output_file_->setWordWrap(true);
  output_file_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  browse_ = Button("BrowseBtn", "Browse ...", central);
  show_output_folder_ = Button("ShowOutputFolderSpeedBtn", "Output folder", central);
  show_output_folder_->setToolTip("Open the output folder");
  convert_ = Button("StartRecordingButton", "Convert", central);

  // Room around the captions, whatever the style's own padding.
  for (QPushButton* button : {save_profile_, more_options_, save_thumbnail_, browse_,
                              show_output_folder_})
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 24);

  auto* profile_buttons = new QHBoxLayout;
  profile_buttons->addWidget(save_profile_);
  profile_buttons->addWidget(more_options_);
  profile_buttons->addWidget(save_thumbnail_);
  auto* folder_buttons = new QHBoxLayout;
  folder_buttons->addWidget(browse_);
  folder_buttons->addWidget(show_output_folder_);
  folder_buttons->addStretch(1);

  auto* right = new QVBoxLayout;
  right->setSpacing(4);
  right->addWidget(SectionCaption("P&rofile", profile_combo_, central));
  right->addWidget(profile_combo_);
  right->addSpacing(4);
  right->addWidget(SectionCaption("&Time", time_list_, central));
  right->addWidget(time_list_);
  right->addWidget(SectionCaption("&Video", video_list_, central));
  right->addWidget(video_list_);
  right->addWidget(SectionCaption("&Audio", audio_list_, central));
  right->addWidget(audio_list_);
  right->addLayout(profile_buttons);
  right->addWidget(mb_per_minute_);
  right->addWidget(estimated_size_);
  right->addSpacing(6);
  right->addWidget(SectionCaption("Save &in folder", output_folder_, central));
  right->addWidget(output_folder_);
  right->addWidget(output_file_);
  right->addLayout(folder_buttons);
  right->addStretch(1);
  right->addWidget(convert_);

  auto* right_box = new QWidget(central);
  right_box->setLayout(right);
  // Wider only when large fonts need it.
  right_box->setFixedWidth(std::max(kRightColumnWidth, right_box->minimumSizeHint().width()));

  // --- Bottom: the status line ---
  progress_status_ = new ElidingLabel(central);
  progress_status_->setObjectName("ProgressStatus");
  progress_bar_ = new QProgressBar(central);
  progress_bar_->setObjectName("ProgressBar");
  progress_bar_->setRange(0, 100);
  progress_bar_->setValue(0);
  progress_bar_->setTextVisible(true);

  // The open file's facts share the status line's row, which has the
  // window's whole width: beside the transport buttons a 1280 pixel wide
  // screen leaves them a few letters. They give way to the conversion's
  // figures while the status line shows any.
  source_facts_ = new ElidingLabel(central);
  source_facts_->setObjectName("SourceFactsLabel");
  source_facts_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  auto* status_row = new QHBoxLayout;
  status_row->addWidget(progress_status_, 1);
  status_row->addWidget(source_facts_, 1);

  auto* grid = new QGridLayout(central);
  grid->addLayout(left, 0, 0);
  grid->addWidget(right_box, 0, 1);
  grid->addLayout(status_row, 1, 0, 1, 2);
  grid->addWidget(progress_bar_, 2, 0, 1, 2);
  grid->setColumnStretch(0, 1);
  grid->setRowStretch(0, 1);

  // Keyboard access to the transport.
  auto shortcut = [this](const QKeySequence& keys, QPushButton* button) {
    auto* s = new QShortcut(keys, this);
    connect(s, &QShortcut::activated, button, [button] {
      if (button->isEnabled()) button->click();
    });
  };
  shortcut(QKeySequence(Qt::Key_F5), play_);
  shortcut(QKeySequence(Qt::Key_F6), pause_);
  shortcut(QKeySequence(Qt::Key_F7), stop_);
  shortcut(QKeySequence(Qt::Key_MediaPlay), play_);
  shortcut(QKeySequence(Qt::Key_MediaPause), pause_);
  shortcut(QKeySequence(Qt::Key_MediaStop), stop_);

  // Tab follows the reading order: the left side top to bottom, then the
  // right side top to bottom, Convert last.
  const std::vector<QWidget*> reading_order = {
      bar_,          play_,     pause_,          stop_,           open_button_,
      profile_combo_, time_list_, video_list_,   audio_list_,     save_profile_,
      more_options_, save_thumbnail_, output_folder_, browse_, show_output_folder_,
      convert_};
  for (size_t i = 1; i < reading_order.size(); ++i)
    setTabOrder(reading_order[i - 1], reading_order[i]);

  // Panel1 keeps its start-up size until the user resizes the window.
  panel_->setMinimumSize(kPanelWidth, kPanelHeight);
  LayOutVideoPanel();
  adjustSize();
  panel_->setMinimumSize(kPanelMinWidth, kPanelMinHeight);
}

void QtMainWindow::ConnectControls() {
  MainPresenter* p = presenter_.get();
  connect(popup_open_file_, &QAction::triggered, this, [p] { p->OpenFileCommand(); });
  connect(menu_open_, &QAction::triggered, this, [p] { p->OpenFileCommand(); });
  connect(popup_batch_, &QAction::triggered, this, [p] { p->BatchConvertCommand(); });
  connect(popup_save_as_, &QAction::triggered, this, [p] { p->SetOutputPathCommand(); });
  connect(menu_save_as_, &QAction::triggered, this, [p] { p->SetOutputPathCommand(); });
  connect(encode_menu_, &QAction::triggered, this, [p] { p->StartRecordingButtonClick(); });
  connect(convert_, &QPushButton::clicked, this, [p] { p->StartRecordingButtonClick(); });
  connect(exit_menu_, &QAction::triggered, this, [this] { close(); });
  connect(menu_output_setting_, &QAction::triggered, this, [p] { p->OutputSettingsCommand(); });
  connect(more_options_, &QPushButton::clicked, this, [p] { p->MoreOptionsBtnClick(); });
  connect(menu_transfer_, &QAction::triggered, this, [p] { p->TransferCommand(); });
  connect(manual_, &QAction::triggered, this, [p] { p->ManualCommand(); });
  connect(website_, &QAction::triggered, this, [p] { p->WebsiteCommand(); });
  connect(play_, &QPushButton::clicked, this, [p] { p->PlayButtonClick(); });
  connect(pause_, &QPushButton::clicked, this, [p] { p->PauseButtonClick(); });
  connect(stop_, &QPushButton::clicked, this, [p] { p->StopButtonClick(); });
  connect(save_thumbnail_, &QPushButton::clicked, this, [p] { p->ThumbnailCommand(); });

  connect(bar_, &RangeBar::pressed, this, [p] { p->bar().PositionRangeBarMouseDown(); });
  connect(bar_, &RangeBar::lowChanged, this,
          [p](int seconds) { p->bar().PositionRangeBarLowChange(seconds); });
  connect(bar_, &RangeBar::highChanged, this,
          [p](int seconds) { p->bar().PositionRangeBarHighChange(seconds); });
  connect(bar_, &RangeBar::released, this, [p] { p->bar().PositionRangeBarMouseUp(); });
  // A paused preview shows the picture at the position it was moved to:
  // the seek delivers it after the still picture was put up.
  connect(video_, &VideoWidget::framePresented, this, [this] {
    if (still_->isVisible()) ShowStillPicture();
  });

  connect(profile_combo_, QOverload<int>::of(&QComboBox::activated), this,
          [p](int index) { p->profiles().ApplyProfile(index); });
  connect(time_list_, &ValueListEditor::cellsEdited, this,
          [p](const std::vector<std::string>& cells) {
            p->profiles().TimeValueListStringsChange(cells);
          });
  connect(video_list_, &ValueListEditor::cellsEdited, this,
          [p](const std::vector<std::string>& cells) {
            p->profiles().VideoValueListStringsChange(cells);
          });
  connect(audio_list_, &ValueListEditor::cellsEdited, this,
          [p](const std::vector<std::string>& cells) {
            p->profiles().AudioValueListStringsChange(cells);
          });
  connect(save_profile_, &QPushButton::clicked, this, [p] { p->profiles().SaveProfileBtnClick(); });
  connect(output_folder_, &QLineEdit::textEdited, this, [p](const QString& text) {
    p->profiles().OutputFolderEditChange(text.toStdString());
  });
  connect(browse_, &QPushButton::clicked, this, [p] { p->profiles().BrowseBtnClick(); });
  connect(show_output_folder_, &QPushButton::clicked, this,
          [p] { p->profiles().ShowOutputFolderSpeedBtnClick(); });
}

void QtMainWindow::CreateDialogs() {
  output_settings_ = new QtOutputSettingsDialog(&presenter_->output(),
                                                &presenter_->mutable_output_path(), this);
  output_settings_->set_output_chosen(
      [p = presenter_.get()](const std::string& typed) { p->ChooseOutputPath(typed); });
  output_folder_dialog_ = new QtOutputFolderDialog(&presenter_->output(),
                                                   &presenter_->mutable_output_path(), this);
  finished_ = new QtFinishedRecordingDialog(&presenter_->output(), shell_.get(), power_.get(),
                                            this);
  save_profile_dialog_ = new QtSaveProfileDialog(this);
}

// --- Geometry ---

void QtMainWindow::LayOutVideoPanel() {
  const QRect inner(1, 1, std::max(panel_->width() - 2, 1), std::max(panel_->height() - 2, 1));
  const bool resized = video_area_->geometry() != inner;
  video_area_->setGeometry(inner);
  if (video_->geometry().isEmpty() || !presenter_ || presenter_->source_readiness() == SourceState::kNone)
    video_->setGeometry(0, 0, inner.width(), inner.height());
  if (still_->isVisible()) still_->setGeometry(video_->geometry());
  if (banner_->isVisible())
    banner_->move(GuideLabelLeft(panel_->width(), banner_->width()), kBannerTop);
  // The live video's place depends on the panel's size: the workflow
  // places it again, as it does when the picture's shape changes.
  if (resized && presenter_) presenter_->HandleMessage(kWmVideoLayout, 0, 0);
}

void QtMainWindow::LayOutPositionArea() {
  const int bar_height = bar_->sizeHint().height();
  bar_->setGeometry(0, 0, position_area_->width(), bar_height);
  const int label_height = position_area_->height() - bar_height;
  start_label_->resize(start_label_->sizeHint().width(), label_height);
  start_label_->move(start_label_->x(), bar_height);
  end_label_->resize(end_label_->sizeHint().width(), label_height);
  end_label_->move(end_label_->x(), bar_height);
}

// --- Events ---

namespace {

// A message posted to the main window from any thread.
class PostedMessageEvent : public QEvent {
 public:
  static QEvent::Type EventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  PostedMessageEvent(uint32_t message, intptr_t wparam, intptr_t lparam)
      : QEvent(EventType()), message_(message), wparam_(wparam), lparam_(lparam) {}
  uint32_t message_;
  intptr_t wparam_;
  intptr_t lparam_;
};

}  // namespace

void QtMainWindow::PostMessage(uint32_t message, intptr_t wparam, intptr_t lparam) {
  // postEvent is safe from any thread; the event runs on the GUI thread.
  QCoreApplication::postEvent(this, new PostedMessageEvent(message, wparam, lparam));
}

bool QtMainWindow::event(QEvent* event) {
  if (event->type() == PostedMessageEvent::EventType()) {
    auto* posted = static_cast<PostedMessageEvent*>(event);
    if (presenter_) presenter_->HandleMessage(posted->message_, posted->wparam_, posted->lparam_);
    return true;
  }
  return QMainWindow::event(event);
}

bool QtMainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    if (watched == panel_) {
      LayOutVideoPanel();
    } else if (watched == position_area_) {
      LayOutPositionArea();
      if (presenter_) presenter_->bar().BarResized();
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void QtMainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (activated_) return;
  activated_ = true;
  // After the window is on the screen, so that moving it sticks.
  QTimer::singleShot(0, this, [this] {
    if (presenter_) presenter_->FormActivate();
  });
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    if (!presenter_->FormClose()) {
      event->ignore();
      return;
    }
    closed_ = true;
    performance_monitor_.stop();
  }
  // The windows that belong to this one go with it.
  for (QWidget* window : {static_cast<QWidget*>(output_settings_), transfer_})
    if (window) window->hide();
  event->accept();
}

void QtMainWindow::OpenVideoFile(const std::string& path) { presenter_->OpenVideoFile(path); }

}  // namespace ovc
