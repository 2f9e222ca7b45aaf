#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/record/output_config.h"
#include "platform/shell/file_dialog.h"

namespace ovc {

// Texts of the output settings dialog.
namespace output_settings_text {
inline constexpr char kCaption[] = "Output Setting";
inline constexpr char kGroup[] = "Settings";
inline constexpr char kSplitBefore[] = "Split output file for every ";
inline constexpr char kSplitAfter[] = "MB";
inline constexpr char kFileNameLabel[] = "Output file name: ";
inline constexpr char kBrowse[] = "Browse folder  ...";
inline constexpr char kAudioVolume[] = "Audio Volume:";
inline constexpr char kAudioVolumeHint[] = "default=5 (original volume)";
inline constexpr char kBrightness[] = "Video Brightness:";
inline constexpr char kBrightnessOriginal[] = "(original)";
inline constexpr char kBrightnessRaised[] = "(+%d level)";
inline constexpr char kPspVideoNumber[] = "PSP Video Number:";
inline constexpr char kAspect[] = "Aspect Ratio:";
inline constexpr char kAspectKeep[] = "Keep original aspect ratio";
inline constexpr char kAspectStretch[] = "Stretch 16:9 widescreen to 4:3 automatically";
inline constexpr char kShutdown[] = "Shutdown the computer when job is done";
inline constexpr char kScreenSaver[] =
    "Disable screensaver when recording (3D screensavers may slow down the computer)";
inline constexpr char kOk[] = "OK";
inline constexpr char kCancel[] = "Cancel";
inline constexpr char kInitialFilter[] = "AVI|*.avi";
inline constexpr char kDefaultExtension[] = "avi";
}  // namespace output_settings_text

// Ranges of the dialog's controls.
inline constexpr int kMinAudioVolumeLevel = 1;
inline constexpr int kMaxAudioVolumeLevel = 9;
inline constexpr int kMaxBrightnessLevel = 3;     // slider 0..3
inline constexpr int kMaxPspVideoNumber = 99999;  // five digits

// A window's place and size on the screen, in pixels.
struct WindowRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// Where a window of width × height goes to sit centred on `owner`: each
// halving an integer division rounding toward zero.
WindowRect CentredOn(const WindowRect& owner, int width, int height);

// The split size the split edit's text stands for, in MB: a decimal integer
// after optional blanks and a sign, read up to the first other character
// ("  700MB" is 700); 0 when there are no digits. Values beyond the int range
// are clamped to it.
int ParseSplitSize(std::string_view text);

// The brightness slider level for a stored additive term: 0 for 0, else
// term × 3 / 35 + 0.5 with the fraction dropped, kept within 0..3.
int BrightnessLevelForTerm(int brightness_a);

// The controls of the output settings dialog. Setters only change what the
// control shows; they must not call back into the presenter.
class OutputSettingsView {
 public:
  virtual ~OutputSettingsView() = default;

  virtual WindowRect MainWindowRect() const = 0;
  virtual WindowRect OwnRect() const = 0;
  virtual void MoveTo(int left, int top) = 0;
  virtual void Hide() = 0;

  // "PSP Video Number:" and its number field (0..99999) together.
  virtual void SetPspNumberVisible(bool visible) = 0;
  virtual void SetPspNumber(int number) = 0;
  virtual int PspNumber() const = 0;

  virtual void SetSplitSizeText(const std::string& text) = 0;
  virtual std::string SplitSizeText() const = 0;
  virtual void SetFileName(const std::string& path) = 0;
  virtual std::string FileName() const = 0;

  virtual void SetAudioVolumeLevel(int level) = 0;  // slider 1..9
  virtual int AudioVolumeLevel() const = 0;
  virtual void SetBrightnessLevel(int level) = 0;   // slider 0..3
  virtual int BrightnessLevel() const = 0;
  virtual void SetBrightnessComment(const std::string& text) = 0;

  virtual void SetAspectIndex(int index) = 0;       // 0 keep, 1 stretch 16:9 to 4:3
  virtual int AspectIndex() const = 0;
  virtual void SetShutdownChecked(bool checked) = 0;
  virtual bool ShutdownChecked() const = 0;
  virtual void SetScreenSaverChecked(bool checked) = 0;
  virtual bool ScreenSaverChecked() const = 0;
};

// The output settings dialog: the output options that no device profile
// holds (file name, split size, volume, brightness, aspect treatment, screen
// saver, power off after the job). It edits the program's output
// configuration and the main window's output path and writes the matching
// settings under "OutputConfig". One instance lives as long as its dialog;
// the controls keep their state between openings. All calls on the UI thread.
class OutputSettingsPresenter {
 public:
  // Every pointer must outlive the presenter. `output_path` is the main
  // window's output file path.
  OutputSettingsPresenter(OutputSettingsView* view, SaveFileDialog* file_dialog,
                          OutputConfig* output, std::string* output_path);

  // The dialog opens: centres it on the main window and fills the controls
  // from the configuration (file counter, output path, shutdown and
  // screen-saver flags, volume, brightness, split size) and the stored
  // aspect choice "vc_aspect", then runs BrightnessTrackbarChange once, which
  // stores both brightness settings again.
  void FormShow();

  // The brightness slider moved: updates the comment ("(original)" or
  // "(+%d level)"), sets brightness_a and brightness_b of the configuration
  // and writes both settings at once, whether or not the dialog is later
  // confirmed.
  void BrightnessTrackbarChange();

  // The volume slider moved: the configuration's audio volume level follows
  // at once (it is stored only by OK).
  void AudioVolumeTrackBarChange();

  // "Browse folder  ...": offers a save-file dialog with the filter of the
  // output format (a format without its own filter keeps the last one) and
  // puts a confirmed path into the file name edit. Nothing is stored.
  void SpeedButton1Click();

  // "OK": takes the aspect choice (written at once), the volume, the
  // shutdown and screen-saver flags, the split size (ParseSplitSize), the
  // output path (at most 511 bytes) and, when the user changed the PSP video
  // number since the dialog opened, that number as the output file counter;
  // writes "AudioVolume", "Volume", "LastOutput", "disable_screensaver" (and
  // "file_number" when it was taken), then hides the dialog.
  void OKBtnClick();

  // "Cancel": hides the dialog. What the sliders already applied stays.
  void CancelBtnClick();

  // Set: "OK" hands the file name field to `chosen` (which names the output
  // and stores it) instead of taking it as the output path itself.
  void set_output_chosen(std::function<void(const std::string&)> chosen) {
    output_chosen_ = std::move(chosen);
  }

  // The file dialog's filter as it stands ("AVI|*.avi" until a format
  // changes it).
  const std::string& save_filter() const { return save_filter_; }

 private:
  OutputSettingsView* view_;
  SaveFileDialog* file_dialog_;
  OutputConfig* output_;
  std::string* output_path_;
  std::string save_filter_ = output_settings_text::kInitialFilter;
  // The counter value the number field showed when the dialog opened.
  int shown_file_number_ = 0;
  std::function<void(const std::string&)> output_chosen_;
};

}  // namespace ovc
