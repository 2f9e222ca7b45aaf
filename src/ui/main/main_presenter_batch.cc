// The operations the batch converter drives the main window's workflow
// with, in place of the window's dialogs and buttons.
#include "ui/main/main_presenter.h"

#include "settings/setting_rules.h"
#include "ui/dialogs/output_folder_presenter.h"

namespace ovc {
namespace {

// The output folder dialog without a screen: nothing to show, and no file
// dialog to browse with.
class HeadlessFolderChoice : public OutputFolderView, public SaveFileDialog {
 public:
  void SetDesktopMovieFolderCaption(const std::string&) override {}
  void SetHomeFolderCaption(const std::string&) override {}
  void SetBrowseButtonVisible(bool) override {}
  void Close() override {}
  bool Run(const SaveFileRequest&, std::string*) override { return false; }
};

}  // namespace

std::string MainPresenter::ChooseDesktopMovieFolder() {
  HeadlessFolderChoice view;
  OutputFolderPresenter dialog(&view, &view, &output_, &output_path_);
  dialog.FormShow(profiles_.psp());
  dialog.RadioButton1Click();
  return dialog.TeButton2Click();
}

void MainPresenter::OverrideOutput(const OutputOverrides& overrides) {
  if (overrides.passes) output_.n_pass = *overrides.passes;
  if (overrides.split_mb) output_.split_size = *overrides.split_mb;
  if (overrides.volume) output_.audio_volume = *overrides.volume;
  if (overrides.brightness_level) {
    const Brightness brightness = BrightnessForLevel(*overrides.brightness_level);
    output_.brightness_a = brightness.a;
    output_.brightness_b = brightness.b;
  }
}

void MainPresenter::StopConversionKeepingOutput() {
  // One pass of one: the stop ends the conversion instead of starting the
  // second pass.
  output_.n_pass = 1;
  output_.pass = 1;
  StartRecordingButtonClick();
}

bool MainPresenter::first_picture_pending() const { return capture_.first_picture_pending(); }

double MainPresenter::reached_source_seconds() {
  return capture_.first_picture_pending() ? 0 : capture_.next_output_time();
}

std::vector<std::string> MainPresenter::written_parts() const { return session_->part_paths(); }

}  // namespace ovc
