#include "ui/dialogs/output_settings_presenter.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "settings/setting_rules.h"
#include "settings/settings_store.h"
#include "ui/dialogs/output_path_rules.h"

namespace ovc {
namespace {

constexpr char kGroup[] = "OutputConfig";

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

WindowRect CentredOn(const WindowRect& owner, int width, int height) {
  WindowRect placed;
  placed.left = owner.left + owner.width / 2 - width / 2;
  placed.top = owner.top + owner.height / 2 - height / 2;
  placed.width = width;
  placed.height = height;
  return placed;
}

int ParseSplitSize(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

int BrightnessLevelForTerm(int brightness_a) {
  if (brightness_a == 0) return 0;
  int level = static_cast<int>(brightness_a * 3 / 35.0 + 0.5);
  return std::clamp(level, 0, kMaxBrightnessLevel);
}

OutputSettingsPresenter::OutputSettingsPresenter(OutputSettingsView* view,
                                                 SaveFileDialog* file_dialog,
                                                 OutputConfig* output, std::string* output_path)
    : view_(view), file_dialog_(file_dialog), output_(output), output_path_(output_path) {}

void OutputSettingsPresenter::FormShow() {
  WindowRect own = view_->OwnRect();
  WindowRect placed = CentredOn(view_->MainWindowRect(), own.width, own.height);
  view_->MoveTo(placed.left, placed.top);

  view_->SetPspNumberVisible(true);
  shown_file_number_ = std::clamp(output_->file_number, 0, kMaxPspVideoNumber);
  view_->SetPspNumber(shown_file_number_);
  view_->SetFileName(*output_path_);
  view_->SetShutdownChecked(output_->shutdown_when_done);
  view_->SetScreenSaverChecked(output_->disable_screensaver != 0);
  view_->SetAudioVolumeLevel(
      std::clamp(output_->audio_volume, kMinAudioVolumeLevel, kMaxAudioVolumeLevel));
  view_->SetBrightnessLevel(BrightnessLevelForTerm(output_->brightness_a));
  // Show what is stored, so that OK does not silently put back what an
  // earlier opening showed.
  view_->SetSplitSizeText(std::to_string(output_->split_size));
  int aspect = ReadSettingInt(std::string(kGroup) + "\\vc_aspect", 0);
  view_->SetAspectIndex(aspect == 1 ? 1 : 0);
  BrightnessTrackbarChange();
}

void OutputSettingsPresenter::BrightnessTrackbarChange() {
  int level = view_->BrightnessLevel();
  if (level != 0) {
    char comment[32];
    std::snprintf(comment, sizeof comment, output_settings_text::kBrightnessRaised, level);
    view_->SetBrightnessComment(comment);
  } else {
    view_->SetBrightnessComment(output_settings_text::kBrightnessOriginal);
  }
  Brightness brightness = BrightnessForLevel(level);
  output_->brightness_a = brightness.a;
  output_->brightness_b = brightness.b;
  WriteSettingInt(kGroup, "brightness_a", brightness.a);
  WriteSettingReal(kGroup, "brightness_b", brightness.b);
}

void OutputSettingsPresenter::AudioVolumeTrackBarChange() {
  output_->audio_volume = view_->AudioVolumeLevel();
}

void OutputSettingsPresenter::SpeedButton1Click() {
  if (const char* filter = SaveFilterForFormat(output_->format)) save_filter_ = filter;
  SaveFileRequest request;
  request.filter = save_filter_;
  request.default_extension = output_settings_text::kDefaultExtension;
  request.initial_path = view_->FileName();
  std::string chosen;
  if (file_dialog_->Run(request, &chosen)) view_->SetFileName(chosen);
}

void OutputSettingsPresenter::OKBtnClick() {
  int aspect = view_->AspectIndex();
  WriteSettingInt(kGroup, "vc_aspect", aspect);
  output_->vc_aspect = aspect;
  output_->audio_volume = view_->AudioVolumeLevel();
  output_->shutdown_when_done = view_->ShutdownChecked();
  output_->disable_screensaver = view_->ScreenSaverChecked() ? 1 : 0;
  output_->split_size = ParseSplitSize(view_->SplitSizeText());
  if (output_chosen_) output_chosen_(view_->FileName());
  else *output_path_ = LimitOutputPath(view_->FileName());
  // The counter advances after every conversion; take the field only when
  // the user typed a new number, so that a dialog left open across a
  // conversion does not wind the counter back.
  int number = std::clamp(view_->PspNumber(), 0, kMaxPspVideoNumber);
  bool take_number = number != shown_file_number_;
  if (take_number) output_->file_number = number;

  WriteSettingInt(kGroup, "AudioVolume", output_->audio_volume);
  WriteSettingInt(kGroup, "Volume", output_->split_size);
  WriteSettingText(kGroup, "LastOutput", *output_path_);
  WriteSettingInt(kGroup, "disable_screensaver", output_->disable_screensaver);
  if (take_number) {
    WriteSettingInt(kGroup, "file_number", number);
    shown_file_number_ = number;
  }
  view_->Hide();
}

void OutputSettingsPresenter::CancelBtnClick() { view_->Hide(); }

}  // namespace ovc
