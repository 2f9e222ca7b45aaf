#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <string>

#include "ui/batch/batch_job.h"
#include "ui/batch/batch_output_parser.h"
#include "ui/batch/pseudo_terminal.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QProcess;
class QProgressBar;
class QPushButton;
class QSocketNotifier;
class QSpinBox;
class QTimer;

namespace ovc {

class ElidingLabel;
class Shell;
struct BatchFileResult;

struct BatchWindowOptions {
  // The converter to run; empty: `multiconv` beside this program (the
  // window's program, which `multiconv` started without arguments runs).
  QString program;
  // The converter's working directory, and the base of relative paths;
  // empty: the current directory.
  QString working_folder;
  // Opens the output folder; null: the desktop's opener (xdg-open).
  Shell* shell = nullptr;
};

// The batch window: a list of video files converted one after the other
// with one profile into one output folder. Each file is converted by a
// `multiconv` child process of its own, whose output the window reads for
// the progress bar, the status line and the results list:
//
//   idle --Convert--> converting --last file done--> idle
//                       |    ^
//                       |    +-- next file
//                       +--Stop (SIGINT)--> stopping --child ended--> idle
//
// A stopped conversion keeps a playable file, which the results list names.
// Closing the window while converting asks first, then stops the child and
// closes once it has ended. User interface thread only.
class BatchWindow : public QWidget {
  Q_OBJECT

 public:
  explicit BatchWindow(const BatchWindowOptions& options = {}, QWidget* parent = nullptr);
  ~BatchWindow() override;

  // Adds files to the list: local paths, made absolute; a folder, a path
  // already listed and an empty path are left out.
  void AddFiles(const QStringList& paths);
  // The files listed, in order.
  QStringList Files() const;

  // The job the controls describe, over every listed file.
  BatchJob CurrentJob() const;

  // Convert: starts converting the listed files. Nothing happens without a
  // file or while converting. An output folder that does not exist is
  // reported ("The output folder ... does not exist.") and nothing starts.
  void StartConversion();
  // Stop: interrupts the running conversion (it keeps what it wrote) and
  // skips the files not started yet. A child that has not ended after
  // kStopLimitMs is killed.
  void StopConversion();

  bool converting() const { return process_ != nullptr; }

  static constexpr int kStopLimitMs = 30000;

 signals:
  // The window is idle again after a conversion (finished or stopped).
  void ConversionEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildControls();
  void ShowDefaults();
  void UpdateControls();
  void ChooseFiles();
  void RemoveSelectedFiles();
  void BrowseOutputFolder();
  void OpenOutputFolder();
  void ConvertButtonClick();

  void StartNextFile();
  void ReadStandardOutput();
  void ReadStandardError();
  void ReadTerminal();
  void ShowProgress();
  void ChildEnded(int exit_code);
  void ShowResult(const BatchFileResult& result);
  void EndConversion();
  std::string WorkingFolder() const;

  BatchWindowOptions options_;
  std::unique_ptr<Shell> own_shell_;
  Shell* shell_ = nullptr;
  QString last_add_folder_;

  QListWidget* file_list_ = nullptr;
  QPushButton* add_button_ = nullptr;
  QPushButton* remove_button_ = nullptr;
  QComboBox* profile_combo_ = nullptr;
  QLineEdit* output_folder_edit_ = nullptr;
  QPushButton* browse_button_ = nullptr;
  QComboBox* passes_combo_ = nullptr;
  QSpinBox* split_spin_ = nullptr;
  QCheckBox* overwrite_check_ = nullptr;
  ElidingLabel* current_file_label_ = nullptr;
  QProgressBar* progress_bar_ = nullptr;
  ElidingLabel* status_label_ = nullptr;
  QListWidget* results_list_ = nullptr;
  QPushButton* open_folder_button_ = nullptr;
  QPushButton* convert_button_ = nullptr;

  // The running conversion.
  BatchJob job_;                   // the whole run, every file
  int next_file_ = 0;              // index into job_.inputs of the next file to start
  std::string current_input_;
  QProcess* process_ = nullptr;    // the child converting current_input_; null when idle
  PseudoTerminal terminal_;        // the child's standard error, when it has one
  QSocketNotifier* terminal_notifier_ = nullptr;
  BatchOutputParser parser_;       // what the current child wrote
  QTimer* stop_limit_ = nullptr;
  bool stop_requested_ = false;
  bool close_when_ended_ = false;
  int converted_ = 0;
  int stopped_ = 0;
  int failed_ = 0;
  std::string last_output_;        // the latest file written
};

}  // namespace ovc
