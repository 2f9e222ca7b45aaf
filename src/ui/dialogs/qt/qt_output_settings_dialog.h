#pragma once

#include <QDialog>

#include <memory>
#include <string>

#include "engine/record/output_config.h"
#include "platform/shell/file_dialog.h"
#include "ui/dialogs/output_settings_presenter.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;

namespace ovc {

// "Output Setting": the form of OutputSettingsPresenter. Created once with
// the main window (its parent, on which it centres) and then only shown and
// hidden, so its controls keep their state between openings. The controls
// carry the form's names as object names ("SplitSize_Edit",
// "OutputFileName_Edit", "SpeedButton1", "AudioVolumeTrackBar",
// "BrightnessTrackbar", "BrightnessComment", "PSPVideoNumber_lbl",
// "TeSpinEdit1", "AspectComboBox", "Shutdown_CheckBox",
// "ScreenSaver_CheckBox", "OKBtn", "CancelBtn"). Escape and the window's
// close button act as "Cancel". All calls on the user interface thread.
class QtOutputSettingsDialog : public QDialog, private OutputSettingsView {
  Q_OBJECT

 public:
  // `output` and `output_path` (the main window's output file path) must
  // outlive the dialog. `file_dialog` answers "Browse folder  ..."; null
  // uses the toolkit's save dialog.
  QtOutputSettingsDialog(OutputConfig* output, std::string* output_path, QWidget* parent,
                         SaveFileDialog* file_dialog = nullptr);
  ~QtOutputSettingsDialog() override;

  // Opens the dialog filled from the configuration. `modal`: blocks until
  // "OK" or "Cancel" hides it; otherwise returns at once and the main window
  // stays usable. When the dialog is already open it is only brought to the
  // front (for `modal`, shown again modally), keeping what the user has
  // entered.
  void ShowDialog(bool modal);

  // See OutputSettingsPresenter::set_output_chosen.
  void set_output_chosen(std::function<void(const std::string&)> chosen) {
    presenter_.set_output_chosen(std::move(chosen));
  }

 protected:
  void reject() override;

 private:
  // OutputSettingsView
  WindowRect MainWindowRect() const override;
  WindowRect OwnRect() const override;
  void MoveTo(int left, int top) override;
  void Hide() override;
  void SetPspNumberVisible(bool visible) override;
  void SetPspNumber(int number) override;
  int PspNumber() const override;
  void SetSplitSizeText(const std::string& text) override;
  std::string SplitSizeText() const override;
  void SetFileName(const std::string& path) override;
  std::string FileName() const override;
  void SetAudioVolumeLevel(int level) override;
  int AudioVolumeLevel() const override;
  void SetBrightnessLevel(int level) override;
  int BrightnessLevel() const override;
  void SetBrightnessComment(const std::string& text) override;
  void SetAspectIndex(int index) override;
  int AspectIndex() const override;
  void SetShutdownChecked(bool checked) override;
  bool ShutdownChecked() const override;
  void SetScreenSaverChecked(bool checked) override;
  bool ScreenSaverChecked() const override;

  void BuildControls();

  std::unique_ptr<SaveFileDialog> own_file_dialog_;
  OutputSettingsPresenter presenter_;

  // Owned by the dialog through the widget tree.
  QLineEdit* split_size_edit_ = nullptr;
  QLineEdit* file_name_edit_ = nullptr;
  QSlider* volume_slider_ = nullptr;
  QSlider* brightness_slider_ = nullptr;
  QLabel* brightness_comment_ = nullptr;
  QLabel* psp_number_label_ = nullptr;
  QSpinBox* psp_number_edit_ = nullptr;
  QComboBox* aspect_list_ = nullptr;
  QCheckBox* shutdown_check_ = nullptr;
  QCheckBox* screen_saver_check_ = nullptr;
};

}  // namespace ovc
