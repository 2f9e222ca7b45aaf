#include "ui/main/profile_panel.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/message_box.h"
#include "common/paths.h"
#include "common/trace.h"
#include "engine/record/recording_session.h"
#include "settings/settings_store.h"
#include "settings/settings_table.h"
#include "ui/main/output_naming.h"
#include "ui/main/profile_container.h"
#include "ui/main/time_text.h"

namespace ovc {

namespace {

constexpr size_t kMaxVideoCodecNameBytes = 255;
// What a typed value may be.
constexpr double kMaxKbps = 100000;
constexpr double kMaxFps = 240;
constexpr double kMinSampleRate = 8000;
constexpr double kMaxSampleRate = 192000;
constexpr char kFolderBrowserTitle[] = "Select your a folder to store converted videos";
constexpr char kCannotSaveProfile[] =
    "Cannot save profile. Some characters may not be allowed in the profile name. ";

const std::string& Cell(const std::vector<std::string>& cells, size_t index) {
  static const std::string kEmpty;
  return index < cells.size() ? cells[index] : kEmpty;
}

// Name order without regard to case; names that differ only in case keep a
// fixed order between them.
bool LessNoCase(const std::string& a, const std::string& b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char x = lower(a[i]), y = lower(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

// The profile names in the profile folder: one for every "*.pr" file
// (ProfileNameOfFile).
std::vector<std::string> ListProfileNames() {
  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator it(ProfileFolder(), ec);
  if (ec) return names;
  for (const auto& entry : it) {
    const std::string file = entry.path().filename().string();
    std::string name = ProfileNameOfFile(file);
    if (!name.empty()) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), LessNoCase);
  return names;
}

}  // namespace

ProfilePanel::ProfilePanel(ProfilePanelView* view, ProfilePanelHost* host, OutputConfig* output,
                           std::string* output_path)
    : view_(view), host_(host), output_(output), output_path_(output_path) {}

CProfile* ProfilePanel::current() {
  if (current_ < 0 || current_ >= static_cast<int>(profiles_.size())) return nullptr;
  return &profiles_[current_];
}

std::vector<std::string> ProfilePanel::profile_names() const {
  std::vector<std::string> names;
  names.reserve(profiles_.size());
  for (const CProfile& profile : profiles_) names.push_back(profile.name);
  return names;
}

void ProfilePanel::SetSourceSize(int width, int height) {
  source_width_ = std::max(width, 0);
  source_height_ = std::max(height, 0);
}

void ProfilePanel::LoadProfileList() {
  profiles_.clear();
  current_ = -1;
  for (const std::string& name : ListProfileNames()) {
    CProfile profile;
    std::string refusal;
    if (profile.Load(name, &refusal) == 0) {
      profiles_.push_back(std::move(profile));
    } else if (!refusal.empty()) {
      // A profile that would start a conversion it cannot finish is left out
      // of the list, and the user told why.
      TracePrintf("%s", refusal.c_str());
      ShowMessageBox(refusal, MessageKind::kWarning, kButtonOk);
    }
  }
  view_->SetProfileItems(profile_names());
  if (profiles_.empty()) return;

  const std::string last = ReadSettingText(*FindSetting("OutputConfig", "last_profile"));
  int index = 0;
  for (size_t i = 0; i < profiles_.size(); ++i) {
    if (profiles_[i].name == last) {
      index = static_cast<int>(i);
      break;
    }
  }
  view_->SetProfileSelection(index);
  ApplyProfile(index);
}

void ProfilePanel::ApplyProfile(int index) {
  if (index < 0 || index >= static_cast<int>(profiles_.size())) {
    current_ = -1;
    return;
  }
  CProfile& profile = profiles_[index];
  WriteSettingText("OutputConfig", "last_profile", profile.name);
  profile_name_field_ = profile.name;

  current_ = index;
  video_codec_name_ = profile.vcodec.substr(0, kMaxVideoCodecNameBytes);
  last_audio_codec_ = profile.acodec;
  last_audio_format_ = profile.aformat;

  if (!profile.device.empty()) psp_ = profile.device == "PSP";
  view_->SetSaveThumbnailVisible(psp_);

  // The audio lists of a Windows Media profile are what the installed codec
  // offers today.
  if (profile.IsWindowsMedia()) profile.RebuildWindowsMediaAudioChoices();
  if (range_held_) {
    profile.ss = range_start_;
    profile.t = range_duration_;
  }
  ChooseOutput(profile);
  DeriveOutputName();
  DeriveOutputSize(&profile);
  ShowProfileValues();
}

void ProfilePanel::ChooseOutput(CProfile& profile) {
  ChooseContainer(profile, output_);
  MatchDeviceKind(profile, psp_, output_);
}

bool ProfilePanel::OutputIsPspFile() const {
  // The PSP flag outlives profiles without a device; only an MP4 file for
  // the PSP takes its names and frame sizes.
  return psp_ && WritesPspFile(*output_);
}

void ProfilePanel::ShowProfileValues() {
  CProfile* profile = current();
  if (!profile) return;
  filling_ = true;
  view_->SetTimeRows(TimeRows(profile));
  view_->SetVideoRows(VideoRows(profile, size_fps_read_only_));
  view_->SetAudioRows(AudioRows(profile, false));
  UpdateSizeEstimate();
  filling_ = false;
}

void ProfilePanel::PrepareValueLists() {
  CProfile* profile = current();
  size_fps_read_only_ = profile != nullptr && psp_;
  filling_ = true;
  view_->SetTimeRows(TimeRows(profile));
  view_->SetVideoRows(VideoRows(profile, size_fps_read_only_));
  view_->SetAudioRows(AudioRows(profile, true));
  filling_ = false;
}

void ProfilePanel::ShowTimeRows() {
  filling_ = true;
  view_->SetTimeRows(TimeRows(current()));
  filling_ = false;
}

void ProfilePanel::TimeValueListStringsChange(const std::vector<std::string>& cells) {
  CProfile* profile = current();
  if (filling_ || !profile) return;
  // A range can't start before the file or run backwards.
  profile->t = std::max(ParseTimeText(Cell(cells, 0)), 0);
  profile->ss = std::max(ParseTimeText(Cell(cells, 1)), 0);
  ShowTimeRows();
  UpdateSizeEstimate();
  if (range_listener_) range_listener_(profile->ss, profile->t);
}

void ProfilePanel::ShowRange(int start, int duration) {
  range_held_ = true;
  range_start_ = std::max(start, 0);
  range_duration_ = std::max(duration, 0);
  CProfile* profile = current();
  if (!profile || (profile->ss == range_start_ && profile->t == range_duration_)) return;
  profile->ss = range_start_;
  profile->t = range_duration_;
  ShowTimeRows();
}

void ProfilePanel::VideoValueListStringsChange(const std::vector<std::string>& cells) {
  CProfile* profile = current();
  if (filling_ || !profile) return;
  double kbps = 0, fps = 0;
  if (!ParseValueWithUnit(Cell(cells, 2), "kbps", &kbps) || kbps < 1 || kbps > kMaxKbps ||
      kbps != static_cast<int>(kbps)) {
    RefuseValue(Cell(cells, 2), "a video bit rate", "a whole number of kbit/s, such as 1200");
    return;
  }
  if (!ParseValueWithUnit(Cell(cells, 3), "fps", &fps) || !(fps > 0) || fps > kMaxFps) {
    RefuseValue(Cell(cells, 3), "a frame rate", "a number of frames per second, such as 25");
    return;
  }
  int crf = profile->crf;
  if (profile->OffersQuality() && cells.size() > 4 && !ParseQualityCell(cells[4], &crf)) {
    RefuseValue(cells[4], "a quality",
                "bit rate, or CRF and a number from 1 to 51, such as CRF 23");
    return;
  }
  profile->crf = crf;
  const std::string old_codec = profile->vcodec;
  profile->vcodec = Cell(cells, 0);
  video_codec_name_ = profile->vcodec.substr(0, kMaxVideoCodecNameBytes);
  profile->s = Cell(cells, 1);
  profile->b = static_cast<int>(kbps);
  profile->r = fps;
  if (profile->vcodec != old_codec) {
    // Another codec may need another container: H.264 on a PSP profile is
    // an MP4 file of H.264 video, named as the PSP lists those.
    ChooseOutput(*profile);
    DeriveOutputName();
  }
  // Shown again with their units.
  ShowProfileValues();
}

void ProfilePanel::RefuseValue(const std::string& typed, const char* what, const char* hint) {
  ShowMessageBox("\"" + typed + "\" is not " + what + ". Type " + hint + ".",
                 MessageKind::kWarning, kButtonOk);
  ShowProfileValues();
}

void ProfilePanel::AudioValueListStringsChange(const std::vector<std::string>& cells) {
  CProfile* profile = current();
  if (filling_ || !profile) return;
  const std::string old_codec = profile->acodec;
  profile->acodec = Cell(cells, 0);
  if (profile->IsWindowsMedia()) {
    if (profile->acodec == last_audio_codec_) {
      profile->aformat = Cell(cells, 1);
      last_audio_codec_ = profile->acodec;
      last_audio_format_ = profile->aformat;
      profile->ab = LeadingInt(profile->aformat);
    } else {
      // Another codec: its own formats, none chosen yet.
      profile->aformat.clear();
      last_audio_codec_ = profile->acodec;
      last_audio_format_.clear();
      profile->ab = 0;
      profile->RebuildWindowsMediaAudioChoices();
      ShowProfileValues();
    }
  } else {
    double rate = 0;
    if (!ParseValueWithUnit(Cell(cells, 2), "Hz", &rate) || rate < kMinSampleRate ||
        rate > kMaxSampleRate || rate != static_cast<int>(rate)) {
      profile->acodec = old_codec;
      RefuseValue(Cell(cells, 2), "a sampling rate", "a number of Hz, such as 44100");
      return;
    }
    profile->ab = LeadingInt(Cell(cells, 1));
    profile->ar = static_cast<int>(rate);
    profile->ac = Cell(cells, 3);
    if (profile->acodec != old_codec) {
      ChooseOutput(*profile);
      DeriveOutputName();
    }
  }
  UpdateSizeEstimate();
}

void ProfilePanel::SaveProfileBtnClick() {
  CProfile* profile = current();
  if (!profile) return;
  // The save window offers the selected profile's name when its field is
  // empty, else what it last held.
  std::string name = profile_name_field_.empty() ? profile->name : profile_name_field_;
  const bool ok = host_->AskProfileName(&name);
  profile_name_field_ = name;
  if (!ok) return;
  const std::vector<std::string> names = profile_names();
  if (std::find(names.begin(), names.end(), name) != names.end() &&
      ShowMessageBox("A profile named \"" + name + "\" exists already. Replace it?",
                     MessageKind::kConfirmation, kButtonsYesNo) != kButtonYes)
    return;
  if (profile->Save(name) != 0) {
    ShowMessageBox(kCannotSaveProfile, MessageKind::kError, kButtonOk);
    return;
  }
  LoadProfileList();
  for (size_t i = 0; i < profiles_.size(); ++i) {
    if (profiles_[i].name == name) {
      view_->SetProfileSelection(static_cast<int>(i));
      ApplyProfile(static_cast<int>(i));
      break;
    }
  }
}

void ProfilePanel::InitOutputFolder() {
  const size_t slash = output_path_->rfind('/');
  const std::string text =
      slash == std::string::npos ? HomeFolder() + "/" : output_path_->substr(0, slash + 1);
  view_->SetOutputFolderText(text);
  output_folder_text_ = text;
  ComposeOutputPathFromFolder(/*store=*/false);
}

void ProfilePanel::NameOutput(const std::string& folder, const std::string& name) {
  if (!folder.empty()) {
    const std::string text = folder.back() == '/' ? folder : folder + "/";
    view_->SetOutputFolderText(text);
    output_folder_text_ = text;
  }
  if (!name.empty()) chosen_name_ = name;
  ComposeOutputPathFromFolder(/*store=*/false);
  DeriveOutputName();
  WriteSettingText("OutputConfig", "LastOutput", *output_path_);
}

void ProfilePanel::ShowOutputFileName() {
  const size_t slash = output_path_->rfind('/');
  view_->SetOutputFileName(slash == std::string::npos ? std::string()
                                                      : output_path_->substr(slash + 1));
}

void ProfilePanel::OutputFolderEditChange(const std::string& text) {
  output_folder_text_ = text;
  ComposeOutputPath();
}

void ProfilePanel::ComposeOutputPath() { ComposeOutputPathFromFolder(/*store=*/true); }

void ProfilePanel::ComposeOutputPathFromFolder(bool store) {
  std::string path =
      ComposedOutputPath(output_folder_text_, *output_path_, output_->format, HomeFolder());
  if (path.size() > kMaxOutputPathBytes) {
    TracePrintf("Output path too long (%zu bytes), kept %s", path.size(), output_path_->c_str());
    return;
  }
  *output_path_ = std::move(path);
  if (store) WriteSettingText("OutputConfig", "LastOutput", *output_path_);
  ShowOutputFileName();
}

void ProfilePanel::BrowseBtnClick() {
  std::string folder = output_folder_text_;
  if (!host_->BrowseForFolder(kFolderBrowserTitle, &folder)) folder.clear();
  view_->SetOutputFolderText(folder);
  OutputFolderEditChange(folder);
}

void ProfilePanel::ShowOutputFolderSpeedBtnClick() {
  host_->OpenFolder(output_folder_text_.empty() ? HomeFolder() : output_folder_text_);
}

void ProfilePanel::DeriveOutputName() {
  OutputNaming naming;
  naming.format = output_->format;
  naming.psp_file = OutputIsPspFile();
  naming.h264 = output_->use_h264;
  if (const CProfile* profile = current()) naming.fileext = profile->fileext;
  naming.file_number = output_->file_number;
  naming.chosen_name = chosen_name_;
  DerivedOutput derived;
  if (!DeriveOutputPath(source_path_, *output_path_, naming, &derived)) return;
  output_->title = derived.title;
  output_->file_number = derived.file_number;
  *output_path_ = derived.path;
  TracePrintf("Output filename: %s", output_path_->c_str());
  ShowOutputFileName();
}

void ProfilePanel::DeriveOutputSize(CProfile* profile) {
  if (!profile) return;
  const int vc_aspect = ReadSettingInt(*FindSetting("OutputConfig", "vc_aspect"));
  std::optional<std::string> size =
      DerivedFrameSize(*profile, OutputIsPspFile(), source_width_, source_height_, vc_aspect);
  if (size) profile->s = *size;
}

void ProfilePanel::UpdateSizeEstimate() {
  const CProfile* profile = current();
  if (!profile) return;
  view_->SetMbPerMinuteText(MbPerMinuteText(profile->b, profile->ab));
  view_->SetEstimatedSizeText(EstimatedSizeText(title_seconds_, profile->b, profile->ab));
}

}  // namespace ovc
