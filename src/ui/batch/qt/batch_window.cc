#include "ui/batch/qt/batch_window.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QKeyEvent>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <initializer_list>

#include "common/message_box.h"
#include "common/paths.h"
#include "platform/shell/shell.h"
#include "ui/batch/batch_defaults.h"
#include "ui/batch/batch_result.h"
#include "ui/main/qt/eliding_label.h"
#include "ui/main/qt/file_filter.h"
#include "ui/main/video_file_filter.h"

namespace ovc {
namespace {

constexpr char kCaption[] = "Batch Convert Video Files";
// How long the end of a finished child's terminal output may take to arrive.
constexpr int kDrainLimitMs = 500;
// Where a path is kept in a results list entry.
constexpr int kPathRole = Qt::UserRole;
constexpr int kOutcomeRole = Qt::UserRole + 1;

QString Q(const std::string& text) { return QString::fromStdString(text); }

QPushButton* Button(const QString& caption, const char* name, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  return button;
}

QLabel* BuddyLabel(const QString& caption, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setBuddy(buddy);
  return label;
}

}  // namespace

BatchWindow::BatchWindow(const BatchWindowOptions& options, QWidget* parent)
    : QWidget(parent), options_(options) {
  if (options_.program.isEmpty())
    options_.program = QCoreApplication::applicationDirPath() + "/multiconv";
  shell_ = options_.shell;
  if (!shell_) {
    own_shell_ = std::make_unique<XdgShell>();
    shell_ = own_shell_.get();
  }
  setWindowTitle(QLatin1String(kCaption));
  setAcceptDrops(true);
  BuildControls();
  ShowDefaults();
  stop_limit_ = new QTimer(this);
  stop_limit_->setSingleShot(true);
  connect(stop_limit_, &QTimer::timeout, this, [this] {
    if (process_) process_->kill();
  });
  UpdateControls();
}

BatchWindow::~BatchWindow() {
  if (!process_) return;
  // The window goes away without the close question (the program ends):
  // the child still stops as Stop stops it, so its file stays playable.
  process_->disconnect(this);
  if (process_->processId() > 0) ::kill(static_cast<pid_t>(process_->processId()), SIGINT);
  if (!process_->waitForFinished(kStopLimitMs)) process_->kill();
  process_->waitForFinished(kStopLimitMs);
}

void BatchWindow::BuildControls() {
  file_list_ = new QListWidget(this);
  file_list_->setObjectName(QStringLiteral("FileList"));
  file_list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  file_list_->setTextElideMode(Qt::ElideMiddle);
  file_list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  add_button_ = Button(tr("&Add files ..."), "AddFilesButton", this);
  remove_button_ = Button(tr("&Remove"), "RemoveButton", this);

  profile_combo_ = new QComboBox(this);
  profile_combo_->setObjectName(QStringLiteral("ProfileCombo"));
  profile_combo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  output_folder_edit_ = new QLineEdit(this);
  output_folder_edit_->setObjectName(QStringLiteral("OutputFolderEdit"));
  browse_button_ = Button(tr("&Browse ..."), "BrowseButton", this);
  passes_combo_ = new QComboBox(this);
  passes_combo_->setObjectName(QStringLiteral("PassesCombo"));
  passes_combo_->addItems({tr("One pass"), tr("Two passes")});
  split_spin_ = new QSpinBox(this);
  split_spin_->setObjectName(QStringLiteral("SplitSpin"));
  split_spin_->setRange(0, kMaxSplitMb);
  split_spin_->setSuffix(tr(" MB"));
  split_spin_->setAccelerated(true);
  overwrite_check_ = new QCheckBox(tr("O&verwrite existing files"), this);
  overwrite_check_->setObjectName(QStringLiteral("OverwriteCheck"));

  current_file_label_ = new ElidingLabel(this);
  current_file_label_->setObjectName(QStringLiteral("CurrentFileLabel"));
  current_file_label_->SetFullText(
      tr("Add the video files, choose the profile and the output folder, then press Convert."));
  progress_bar_ = new QProgressBar(this);
  progress_bar_->setObjectName(QStringLiteral("ProgressBar"));
  progress_bar_->setRange(0, 100);
  progress_bar_->setValue(0);
  status_label_ = new ElidingLabel(this);
  status_label_->setObjectName(QStringLiteral("StatusLabel"));
  results_list_ = new QListWidget(this);
  results_list_->setObjectName(QStringLiteral("ResultsList"));
  // Long entries are cut in the middle, where a path has its least telling
  // part; the tool tip shows the whole entry.
  results_list_->setTextElideMode(Qt::ElideMiddle);
  results_list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  open_folder_button_ = Button(tr("&Open output folder"), "OpenOutputFolderButton", this);
  convert_button_ = Button(tr("&Convert"), "ConvertButton", this);
  convert_button_->setDefault(true);

  // Files, with their buttons beside the list.
  auto* file_buttons = new QVBoxLayout;
  file_buttons->addWidget(add_button_);
  file_buttons->addWidget(remove_button_);
  file_buttons->addStretch(1);
  auto* files_row = new QHBoxLayout;
  files_row->addWidget(file_list_, 1);
  files_row->addLayout(file_buttons);

  // The output choices.
  auto* folder_row = new QHBoxLayout;
  folder_row->addWidget(output_folder_edit_, 1);
  folder_row->addWidget(browse_button_);
  auto* passes_row = new QHBoxLayout;
  passes_row->addWidget(passes_combo_);
  passes_row->addSpacing(16);
  passes_row->addWidget(BuddyLabel(tr("Split si&ze:"), split_spin_, this));
  passes_row->addWidget(split_spin_);
  passes_row->addStretch(1);
  auto* choices = new QGridLayout;
  choices->setColumnStretch(1, 1);
  choices->addWidget(BuddyLabel(tr("&Profile:"), profile_combo_, this), 0, 0);
  choices->addWidget(profile_combo_, 0, 1, Qt::AlignLeft);
  choices->addWidget(BuddyLabel(tr("Output &folder:"), output_folder_edit_, this), 1, 0);
  choices->addLayout(folder_row, 1, 1);
  choices->addWidget(BuddyLabel(tr("Pass&es:"), passes_combo_, this), 2, 0);
  choices->addLayout(passes_row, 2, 1);
  choices->addWidget(overwrite_check_, 3, 1);

  auto* bottom_row = new QHBoxLayout;
  bottom_row->addWidget(open_folder_button_);
  bottom_row->addStretch(1);
  bottom_row->addWidget(convert_button_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuddyLabel(tr("F&iles to convert (drop files here):"), file_list_, this));
  layout->addLayout(files_row, 1);
  layout->addSpacing(6);
  layout->addLayout(choices);
  layout->addSpacing(6);
  layout->addWidget(current_file_label_);
  layout->addWidget(progress_bar_);
  layout->addWidget(status_label_);
  layout->addSpacing(6);
  layout->addWidget(BuddyLabel(tr("Resul&ts:"), results_list_, this));
  layout->addWidget(results_list_, 1);
  layout->addLayout(bottom_row);

  // The lists stay usable at a small size, and the window opens roomy.
  file_list_->setMinimumHeight(fontMetrics().height() * 5);
  results_list_->setMinimumHeight(fontMetrics().height() * 4);
  setMinimumWidth(fontMetrics().averageCharWidth() * 64);
  resize(fontMetrics().averageCharWidth() * 110, fontMetrics().height() * 42);

  connect(add_button_, &QPushButton::clicked, this, &BatchWindow::ChooseFiles);
  connect(remove_button_, &QPushButton::clicked, this, &BatchWindow::RemoveSelectedFiles);
  file_list_->installEventFilter(this);
  connect(file_list_, &QListWidget::itemSelectionChanged, this, &BatchWindow::UpdateControls);
  connect(browse_button_, &QPushButton::clicked, this, &BatchWindow::BrowseOutputFolder);
  connect(open_folder_button_, &QPushButton::clicked, this, &BatchWindow::OpenOutputFolder);
  connect(convert_button_, &QPushButton::clicked, this, &BatchWindow::ConvertButtonClick);
}

void BatchWindow::ShowDefaults() {
  const BatchDefaults defaults = ReadBatchDefaults();
  for (const std::string& name : defaults.profiles) profile_combo_->addItem(Q(name));
  profile_combo_->setCurrentIndex(defaults.profile_index);
  output_folder_edit_->setText(Q(defaults.output_folder));
  passes_combo_->setCurrentIndex(defaults.passes == 2 ? 1 : 0);
  // 0 leaves the split size to the output settings.
  split_spin_->setSpecialValueText(defaults.stored_split_mb > 0
                                       ? tr("Default (%1 MB)").arg(defaults.stored_split_mb)
                                       : tr("No split"));
  split_spin_->setValue(0);
  last_add_folder_ = Q(HomeFolder());
}

void BatchWindow::UpdateControls() {
  const bool busy = converting();
  // The job's controls stay as they were while it runs.
  for (QWidget* control : std::initializer_list<QWidget*>{
           file_list_, add_button_, profile_combo_, output_folder_edit_, browse_button_,
           passes_combo_, split_spin_, overwrite_check_})
    control->setEnabled(!busy);
  remove_button_->setEnabled(!busy && !file_list_->selectedItems().isEmpty());
  if (busy) {
    convert_button_->setText(tr("&Stop"));
    convert_button_->setEnabled(!stop_requested_);
  } else {
    convert_button_->setText(tr("&Convert"));
    convert_button_->setEnabled(file_list_->count() > 0);
  }
}

// --- The file list ---

void BatchWindow::AddFiles(const QStringList& paths) {
  QStringList listed = Files();
  for (const QString& path : paths) {
    if (path.isEmpty()) continue;
    const QFileInfo info(path);
    if (info.isDir()) continue;
    const QString absolute = QDir::cleanPath(info.absoluteFilePath());
    if (listed.contains(absolute)) continue;
    listed.append(absolute);
    auto* item = new QListWidgetItem(absolute, file_list_);
    item->setToolTip(absolute);
    last_add_folder_ = info.absolutePath();
  }
  UpdateControls();
}

QStringList BatchWindow::Files() const {
  QStringList files;
  for (int i = 0; i < file_list_->count(); ++i) files.append(file_list_->item(i)->text());
  return files;
}

void BatchWindow::ChooseFiles() {
  const QStringList chosen = QFileDialog::getOpenFileNames(
      this, tr("Add video files"), last_add_folder_, Q(OpenDialogNameFilters(std::string(kVideoFilesFilter) + "|All files|*.*")));
  AddFiles(chosen);
}

void BatchWindow::RemoveSelectedFiles() {
  if (converting()) return;
  qDeleteAll(file_list_->selectedItems());
  UpdateControls();
}

bool BatchWindow::eventFilter(QObject* watched, QEvent* event) {
  // Delete in the file list removes the selected files, as "Remove" does.
  if (watched == file_list_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Delete)) {
    RemoveSelectedFiles();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void BatchWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!converting() && event->mimeData()->hasUrls()) {
    for (const QUrl& url : event->mimeData()->urls()) {
      if (url.isLocalFile()) {
        event->acceptProposedAction();
        return;
      }
    }
  }
  event->ignore();
}

void BatchWindow::dropEvent(QDropEvent* event) {
  if (converting()) {
    event->ignore();
    return;
  }
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.append(url.toLocalFile());
  AddFiles(paths);
  event->acceptProposedAction();
}

// --- The output choices ---

BatchJob BatchWindow::CurrentJob() const {
  BatchJob job;
  for (const QString& file : Files()) job.inputs.push_back(file.toStdString());
  job.profile = profile_combo_->currentText().toStdString();
  job.output_folder = output_folder_edit_->text().trimmed().toStdString();
  job.passes = passes_combo_->currentIndex() == 1 ? 2 : 1;
  job.split_mb = split_spin_->value();
  job.overwrite = overwrite_check_->isChecked();
  return job;
}

std::string BatchWindow::WorkingFolder() const {
  return (options_.working_folder.isEmpty() ? QDir::currentPath() : options_.working_folder)
      .toStdString();
}

void BatchWindow::BrowseOutputFolder() {
  QString start = output_folder_edit_->text().trimmed();
  if (start.isEmpty()) start = Q(HomeFolder());
  const QString folder =
      QFileDialog::getExistingDirectory(this, tr("Choose the output folder"), start);
  if (!folder.isEmpty()) output_folder_edit_->setText(folder);
}

void BatchWindow::OpenOutputFolder() {
  std::string folder;
  if (QListWidgetItem* item = results_list_->currentItem()) {
    if (item->isSelected() &&
        item->data(kOutcomeRole).toInt() != static_cast<int>(BatchOutcome::kFailed))
      folder = FolderOf(item->data(kPathRole).toString().toStdString());
  }
  if (folder.empty()) {
    folder = AbsoluteBatchPath(output_folder_edit_->text().trimmed().toStdString(),
                               WorkingFolder(), HomeFolder());
  }
  if (folder.empty()) folder = FolderOf(last_output_);
  if (folder.empty()) folder = HomeFolder();
  shell_->Open(folder);
}

// --- Converting ---

void BatchWindow::ConvertButtonClick() {
  if (converting())
    StopConversion();
  else
    StartConversion();
}

void BatchWindow::StartConversion() {
  if (converting() || file_list_->count() == 0) return;
  job_ = CurrentJob();
  if (!job_.output_folder.empty()) {
    const std::string folder = AbsoluteBatchPath(job_.output_folder, WorkingFolder(), HomeFolder());
    if (!QFileInfo(Q(folder)).isDir()) {
      ShowMessageBox("The output folder " + folder + " does not exist.", MessageKind::kWarning,
                     kButtonOk, kCaption);
      return;
    }
  }
  results_list_->clear();
  converted_ = stopped_ = failed_ = 0;
  next_file_ = 0;
  stop_requested_ = false;
  close_when_ended_ = false;
  StartNextFile();
}

void BatchWindow::StartNextFile() {
  const int total = static_cast<int>(job_.inputs.size());
  if (stop_requested_ || next_file_ >= total) {
    EndConversion();
    return;
  }
  current_input_ = job_.inputs[next_file_++];
  parser_ = BatchOutputParser();
  file_list_->setCurrentRow(next_file_ - 1);
  current_file_label_->SetFullText(
      tr("Converting %1 of %2: %3").arg(next_file_).arg(total).arg(Q(current_input_)));
  progress_bar_->setValue(0);
  status_label_->SetFullText(QString());

  BatchJob one = job_;
  one.inputs = {current_input_};
  QStringList arguments;
  for (const std::string& argument : BatchArguments(one, WorkingFolder(), HomeFolder()))
    arguments.append(Q(argument));

  process_ = new QProcess(this);
  process_->setProgram(options_.program);
  process_->setArguments(arguments);
  process_->setWorkingDirectory(Q(WorkingFolder()));
  process_->setStandardInputFile(QProcess::nullDevice());
  // Standard error on a terminal of its own, so progress comes as it
  // happens; a plain pipe when the system has no terminal to spare.
  const int terminal = terminal_.Open() == 0 ? terminal_.slave_fd() : -1;
  process_->setProcessChannelMode(terminal >= 0 ? QProcess::ForwardedErrorChannel
                                                : QProcess::SeparateChannels);
  process_->setChildProcessModifier([terminal] {
    if (terminal >= 0) dup2(terminal, STDERR_FILENO);
    // Should this window's process die, the conversion stops as Stop stops it.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
  });
  connect(process_, &QProcess::readyReadStandardOutput, this, &BatchWindow::ReadStandardOutput);
  connect(process_, &QProcess::readyReadStandardError, this, &BatchWindow::ReadStandardError);
  connect(process_, &QProcess::finished, this, [this](int exit_code, QProcess::ExitStatus status) {
    ChildEnded(status == QProcess::NormalExit ? exit_code : -1);
  });
  // Queued: a start that fails at once reports it from inside start().
  QProcess* started = process_;
  connect(
      process_, &QProcess::errorOccurred, this,
      [this, started](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && process_ == started) ChildEnded(-1);
      },
      Qt::QueuedConnection);
  process_->start();
  terminal_.CloseSlave();
  if (terminal >= 0) {
    terminal_notifier_ = new QSocketNotifier(terminal_.master_fd(), QSocketNotifier::Read, this);
    connect(terminal_notifier_, &QSocketNotifier::activated, this, &BatchWindow::ReadTerminal);
  }
  UpdateControls();
}

void BatchWindow::ReadStandardOutput() {
  if (!process_) return;
  const QByteArray bytes = process_->readAllStandardOutput();
  parser_.AddStandardOutput(std::string_view(bytes.constData(), bytes.size()));
}

void BatchWindow::ReadStandardError() {
  if (!process_) return;
  const QByteArray bytes = process_->readAllStandardError();
  parser_.AddStandardError(std::string_view(bytes.constData(), bytes.size()));
  ShowProgress();
}

void BatchWindow::ReadTerminal() {
  std::string bytes;
  const bool more = terminal_.ReadAvailable(&bytes);
  parser_.AddStandardError(bytes);
  // At the end the terminal stays readable; what is left is read when the
  // child's end is reported.
  if (!more && terminal_notifier_) terminal_notifier_->setEnabled(false);
  ShowProgress();
}

void BatchWindow::ShowProgress() {
  if (!parser_.has_progress()) return;
  progress_bar_->setValue(static_cast<int>(parser_.overall_percent()));
  // The figures; the output path they end with is the tool tip's.
  status_label_->SetFullText(Q(parser_.figures()));
  status_label_->setToolTip(Q(parser_.status()));
}

void BatchWindow::StopConversion() {
  if (!process_ || stop_requested_) return;
  stop_requested_ = true;
  if (process_->processId() > 0)
    ::kill(static_cast<pid_t>(process_->processId()), SIGINT);
  else
    process_->kill();
  stop_limit_->start(kStopLimitMs);
  UpdateControls();
}

void BatchWindow::ChildEnded(int exit_code) {
  if (!process_) return;
  ReadStandardOutput();
  ReadStandardError();
  if (terminal_notifier_) {
    std::string rest;
    terminal_.Drain(&rest, kDrainLimitMs);
    parser_.AddStandardError(rest);
    delete terminal_notifier_;
    terminal_notifier_ = nullptr;
  }
  terminal_.Close();
  parser_.Finish();
  ShowProgress();
  stop_limit_->stop();
  process_->disconnect(this);
  process_->deleteLater();
  process_ = nullptr;

  const BatchFileResult result = JudgeBatchRun(current_input_, exit_code, stop_requested_, parser_);
  if (result.outcome == BatchOutcome::kConverted) progress_bar_->setValue(100);
  ShowResult(result);
  StartNextFile();
}

void BatchWindow::ShowResult(const BatchFileResult& result) {
  QStyle::StandardPixmap icon = QStyle::SP_DialogApplyButton;
  switch (result.outcome) {
    case BatchOutcome::kConverted:
      ++converted_;
      break;
    case BatchOutcome::kStopped:
      ++stopped_;
      icon = QStyle::SP_MessageBoxWarning;
      break;
    case BatchOutcome::kFailed:
      ++failed_;
      icon = QStyle::SP_MessageBoxCritical;
      break;
  }
  for (const BatchResultLine& line : ResultLines(result)) {
    auto* item = new QListWidgetItem(style()->standardIcon(icon), Q(line.text), results_list_);
    item->setToolTip(Q(line.text));
    item->setData(kPathRole, Q(line.path));
    item->setData(kOutcomeRole, static_cast<int>(line.outcome));
  }
  if (!result.outputs.empty()) last_output_ = result.outputs.back();
  results_list_->scrollToBottom();
}

void BatchWindow::EndConversion() {
  QStringList counts;
  if (converted_ > 0) counts.append(tr("%1 converted").arg(converted_));
  if (stopped_ > 0) counts.append(tr("%1 stopped").arg(stopped_));
  if (failed_ > 0) counts.append(tr("%1 failed").arg(failed_));
  const int skipped = static_cast<int>(job_.inputs.size()) - next_file_;
  if (skipped > 0) counts.append(tr("%1 not started").arg(skipped));
  current_file_label_->SetFullText(tr("Finished: %1").arg(counts.join(QStringLiteral(", "))));
  UpdateControls();
  emit ConversionEnded();
  if (close_when_ended_) close();
}

void BatchWindow::closeEvent(QCloseEvent* event) {
  if (!converting()) {
    event->accept();
    return;
  }
  event->ignore();
  if (close_when_ended_) return;
  if (ShowMessageBox("Stop the conversion and close the window?", MessageKind::kConfirmation,
                     kButtonsYesNo, kCaption) != kButtonYes)
    return;
  close_when_ended_ = true;
  StopConversion();
}

}  // namespace ovc
