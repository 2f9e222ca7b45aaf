#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/record/output_config.h"
#include "engine/record/profile.h"
#include "ui/main/profile_panel_view.h"

namespace ovc {

// The right-hand side of the main window: the output profiles, the three
// value lists that show and edit the current one, the size estimate and the
// output folder. Edits change the profile in memory only; Save writes one to
// a file. Choosing a profile also chooses the output container and names the
// output file.
//
// It works on state the main presenter owns: the output configuration and
// the output path (the file the next conversion writes, at most 511 bytes).
// Settings written: "OutputConfig\last_profile" when a profile is chosen,
// "OutputConfig\LastOutput" when the output folder changes. Runs on the user
// interface thread; every pointer given to the constructor must outlive it.
class ProfilePanel {
 public:
  ProfilePanel(ProfilePanelView* view, ProfilePanelHost* host, OutputConfig* output,
               std::string* output_path);
  ProfilePanel(const ProfilePanel&) = delete;
  ProfilePanel& operator=(const ProfilePanel&) = delete;

  // Lists "<program folder>/profile/*.pr" (sorted by name, without regard to
  // case; files that can't be loaded are left out), fills ProfileCombo and
  // selects the profile named by the stored "last_profile" (exact match,
  // else the first), applying it as if the user had chosen it. Without any
  // profile the combo is empty and no profile is current. Replaces every
  // profile in memory, so pointers from current() become invalid.
  void LoadProfileList();

  // ProfileComboChange. Makes the profile at `index` current and applies it
  // (below 0 or past the end: no profile is current and the lists stay as
  // they are): stores its name as "last_profile" and as the save window's
  // name, sets the PSP flag from a non-empty device and shows
  // SaveThumbnailBtn exactly for PSP, chooses the container (for a Windows
  // Media profile after refreshing its audio choices from the installed
  // codecs), derives the output name and the frame size, and shows it.
  void ApplyProfile(int index);

  // Fills the three value lists from the current profile and refreshes the
  // size estimate; nothing without a current profile.
  void ShowProfileValues();

  // Start-up: the value-list rows' edit modes. Duration and Start are free
  // text; the video rows are pick lists with Codec read-only, and Size and
  // FPS read-only too when the current profile is a PSP profile now (this
  // stays until the next call); the audio rows are read-only pick lists until
  // the next ShowProfileValues.
  void PrepareValueLists();

  // Start-up: puts the output path's folder (up to and including its last
  // '/'; the home folder when it has none) into OutputFolderEdit and
  // composes the output path from it, without storing it: "LastOutput"
  // stays unset until the user chooses where converted files go.
  void InitOutputFolder();

  // The user named the output ("Save as ...", the output settings): `name`
  // in `folder` ("" keeps the folder shown) becomes the output file, with
  // the container's extension added when missing, and stays its name
  // through profile changes until ForgetChosenName (a new source). A PSP
  // file keeps its numbered name: the PSP lists no other. Stores the path
  // as "LastOutput".
  void NameOutput(const std::string& folder, const std::string& name);
  void ForgetChosenName() { chosen_name_.clear(); }
  const std::string& chosen_name() const { return chosen_name_; }
  // Shows the output file's name under the folder.
  void ShowOutputFileName();

  // The range the open file is converted over (start and duration in
  // seconds, duration 0 for "to the end"), as the position bar shows it:
  // the Time rows show it, and every profile chosen while it is held takes
  // it, so that choosing another profile keeps the user's range. Held until
  // ReleaseRange (the file is closed).
  void ShowRange(int start, int duration);
  void ReleaseRange() { range_held_ = false; }
  // Called with the start and duration after the user edited the Time rows.
  void set_range_listener(std::function<void(int start, int duration)> listener) {
    range_listener_ = std::move(listener);
  }

  // Edits of the value lists, with the texts of the list's value cells top
  // to bottom (missing cells read as empty). Ignored while the lists are
  // being filled or without a current profile; each refreshes the estimate.
  //  Time:  Duration and Start are parsed as times (negative ones become 0)
  //         and shown again in normal form.
  //  Video: Codec, Size, Bitrate (leading integer), FPS (leading real). A
  //         changed codec chooses the container and output name again.
  //  Audio: Codec, then for a Windows Media profile Format; a codec other
  //         than the last one empties the format, sets the bit rate to 0 and
  //         lists the new codec's formats. Other profiles: Bitrate, Sampling,
  //         Channels; a changed codec chooses the container again.
  void TimeValueListStringsChange(const std::vector<std::string>& cells);
  void VideoValueListStringsChange(const std::vector<std::string>& cells);
  void AudioValueListStringsChange(const std::vector<std::string>& cells);

  // "Save as ...": asks for a name and saves the current profile under it
  // (asking first when a profile of that name exists), then reloads the
  // list and selects the saved profile. A profile that
  // can't be saved shows "Cannot save profile. Some characters may not be
  // allowed in the profile name. " and leaves the list as it is.
  void SaveProfileBtnClick();

  // OutputFolderEdit changed to `text`: composes the output path.
  void OutputFolderEditChange(const std::string& text);
  // Recomposes the output path from OutputFolderEdit (see
  // ComposedOutputPath; an empty folder means the home folder) and stores it
  // as "LastOutput". A result longer than 511 bytes is refused: the output
  // path stays as it was.
  void ComposeOutputPath();
  // "Browse ...": the chosen folder becomes OutputFolderEdit's text; a
  // cancelled choice empties it.
  void BrowseBtnClick();
  // "Output folder": opens OutputFolderEdit's folder (the home folder when
  // the edit is empty) in the file manager.
  void ShowOutputFolderSpeedBtnClick();

  // Names the output after the source: the source's title becomes the
  // configuration's `title`, and the output path keeps its folder and takes
  // the title and the output extension, or for a PSP file the first free PSP
  // name from `file_number` on (the number used is stored back in
  // `file_number`). Traces "Output filename: %s". Nothing happens while the
  // source path or the output path holds no '/'.
  void DeriveOutputName();

  // Rewrites `profile->s` from the source's aspect (see DerivedFrameSize),
  // with the stored "vc_aspect" and, while the output is a PSP file, the PSP
  // sizes. Nothing while the source size is unknown.
  void DeriveOutputSize(CProfile* profile);

  // "About %.1f MB per minute" and "Estimated size: %d MB" of the current
  // profile's bit rates over the source's length; nothing without one.
  void UpdateSizeEstimate();

  // What the playback engine reports about the open source. Stored only;
  // the caller refreshes what depends on them.
  void SetSourcePath(const std::string& path) { source_path_ = path; }
  void SetSourceSize(int width, int height);  // 0, 0 = unknown
  void SetTitleSeconds(double seconds) { title_seconds_ = seconds; }

  // The current profile, or null. Valid until the next LoadProfileList.
  CProfile* current();
  int current_index() const { return current_; }
  bool psp() const { return psp_; }
  // Whether the output is an MP4 file for the PSP (named by number, with a
  // thumbnail beside it).
  bool OutputIsPspFile() const;
  std::vector<std::string> profile_names() const;
  bool filling() const { return filling_; }
  const std::string& video_codec_name() const { return video_codec_name_; }
  const std::string& last_audio_codec() const { return last_audio_codec_; }
  const std::string& last_audio_format() const { return last_audio_format_; }
  const std::string& output_folder_text() const { return output_folder_text_; }
  // The save window's name field as the panel last saw or set it.
  const std::string& profile_name_field() const { return profile_name_field_; }

 private:
  void ShowTimeRows();
  // Tells the user `typed` is not `what` (type `hint` instead) and shows
  // the values as they were.
  void RefuseValue(const std::string& typed, const char* what, const char* hint);
  void ChooseOutput(CProfile& profile);
  // ComposeOutputPath, storing the result as "LastOutput" when `store`.
  void ComposeOutputPathFromFolder(bool store);

  ProfilePanelView* view_;
  ProfilePanelHost* host_;
  OutputConfig* output_;
  std::string* output_path_;

  std::vector<CProfile> profiles_;  // in ProfileCombo order
  int current_ = -1;                // index into profiles_, -1 = none
  bool filling_ = false;            // the value lists are being filled
  bool psp_ = false;                // the current profile is a PSP profile
  bool size_fps_read_only_ = false; // Size and FPS rows: choose from the list only
  std::string video_codec_name_;    // at most 255 bytes
  std::string last_audio_codec_;
  std::string last_audio_format_;
  std::string profile_name_field_;
  std::string output_folder_text_;
  std::string chosen_name_;  // the output file name the user chose, or ""

  std::string source_path_;
  int source_width_ = 0;   // pixels, 0 = unknown
  int source_height_ = 0;
  double title_seconds_ = 0;  // the source's length

  bool range_held_ = false;
  int range_start_ = 0;     // seconds
  int range_duration_ = 0;  // seconds, 0 = to the end
  std::function<void(int, int)> range_listener_;
};

}  // namespace ovc
