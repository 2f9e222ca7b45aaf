#include "ui/main/profile_panel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "common/scripted_message_box.h"
#include "platform/wmf/wm_codecs.h"
#include "settings/settings_store.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

namespace fs = std::filesystem;
using test::TempWorld;
using test::WriteFile;

// Remembers what the panel last showed; `on_rows` lets a test act like a
// toolkit that reports edits while rows are being set.
class RecordingView : public ProfilePanelView {
 public:
  void SetProfileItems(const std::vector<std::string>& names) override {
    items = names;
    selection = -1;
  }
  void SetProfileSelection(int index) override { selection = index; }
  void SetTimeRows(const std::vector<ValueRow>& rows) override {
    time = rows;
    if (on_rows) on_rows();
  }
  void SetVideoRows(const std::vector<ValueRow>& rows) override {
    video = rows;
    if (on_rows) on_rows();
  }
  void SetAudioRows(const std::vector<ValueRow>& rows) override {
    audio = rows;
    if (on_rows) on_rows();
  }
  void SetMbPerMinuteText(const std::string& text) override { mb_per_minute = text; }
  void SetEstimatedSizeText(const std::string& text) override { estimated_size = text; }
  void SetSaveThumbnailVisible(bool visible) override { thumbnail_visible = visible; }
  void SetOutputFolderText(const std::string& text) override { folder = text; }

  std::vector<std::string> items;
  int selection = -1;
  std::vector<ValueRow> time, video, audio;
  std::string mb_per_minute, estimated_size, folder;
  bool thumbnail_visible = false;
  std::function<void()> on_rows;
};

class FakeHost : public ProfilePanelHost {
 public:
  bool AskProfileName(std::string* name) override {
    offered_names.push_back(*name);
    *name = typed_name;
    return name_ok;
  }
  bool BrowseForFolder(const std::string& title, std::string* folder) override {
    browse_title = title;
    if (browse_ok) *folder = browse_result;
    return browse_ok;
  }
  void OpenFolder(const std::string& folder) override { opened.push_back(folder); }

  std::string typed_name;
  bool name_ok = true;
  std::vector<std::string> offered_names;
  bool browse_ok = true;
  std::string browse_result;
  std::string browse_title;
  std::vector<std::string> opened;
};

std::vector<std::string> Values(const std::vector<ValueRow>& rows) {
  std::vector<std::string> values;
  for (const ValueRow& row : rows) values.push_back(row.value);
  return values;
}

std::vector<std::string> ShippedProfileNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(OVC_DATA_SOURCE_DIR "/profile"))
    names.push_back(ProfileNameOfFile(entry.path().filename().string()));
  return names;
}

class ProfilePanelTest : public testing::Test {
 protected:
  ProfilePanelTest() {
    world_.SetEnv("HOME", world_.Path("user"));
    fs::create_directories(world_.Path("user"));
    output_path_ = out_folder() + "/untitled.avi";
    panel_.SetSourcePath("/videos/My clip.avi");
  }

  void CopyShippedProfiles() {
    fs::create_directories(world_.home() + "/profile");
    for (const auto& entry : fs::directory_iterator(OVC_DATA_SOURCE_DIR "/profile"))
      fs::copy_file(entry.path(), world_.home() + "/profile/" + entry.path().filename().string());
  }
  void WriteProfile(const std::string& name, const std::string& text) {
    WriteFile(world_.home() + "/profile/" + name + ".pr", text);
  }
  int IndexOf(const std::string& name) {
    std::vector<std::string> names = panel_.profile_names();
    auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
  }
  void Select(const std::string& name) {
    const int index = IndexOf(name);
    ASSERT_GE(index, 0) << name;
    panel_.ApplyProfile(index);
  }
  std::string out_folder() const { return world_.Path("out"); }
  std::string FileName() const { return output_path_.substr(output_path_.rfind('/') + 1); }

  TempWorld world_;
  ScriptedMessageBox box_;
  ScopedMessageBox scoped_box_{&box_};
  RecordingView view_;
  FakeHost host_;
  OutputConfig output_;
  std::string output_path_;
  ProfilePanel panel_{&view_, &host_, &output_, &output_path_};
};

struct ShippedCase {
  const char* profile;
  int format;
  int h264;        // -1: not checked
  int mpeg4_tag;   // -1: not checked
  int format_3gp;  // -1: not checked
  const char* file_name;
  bool psp;
  int device_kind = -1;  // -1: not checked
};
void PrintTo(const ShippedCase& c, std::ostream* os) { *os << c.profile; }

const ShippedCase kShippedCases[] = {
    {"AVI", 3, -1, 0, -1, "My clip.avi", false},
    {"PSP", 2, 0, -1, -1, "M4V00000.MP4", true},
    {"PSP AVC", 2, 1, -1, -1, "MAQ00000.MP4", true},
    {"iPod", 2, 1, -1, -1, "My clip.mp4", false},
    {"iPod MPEG-4", 2, 0, -1, -1, "My clip.mp4", false},
    {"3GP phone", 6, -1, -1, 0, "My clip.3gp", false},
    {"3GP MPEG-4", 6, -1, -1, 3, "My clip.3gp", false},
    {"MPEG-2", 4, -1, -1, -1, "My clip.mpg", false},
    {"WMV", 1, -1, -1, -1, "My clip.wmv", false},
    {"QuickTime", 7, -1, -1, -1, "My clip.mov", false},
    {"Phone (H.264 720p)", 2, 1, -1, -1, "My clip.mp4", false, kDevicePhone},
    {"Phone (H.264 1080p)", 2, 1, -1, -1, "My clip.mp4", false, kDevicePhone},
    {"iPhone/iPad (HEVC)", 2, -1, -1, -1, "My clip.mp4", false, kDeviceHevc},
    {"Web (WebM VP9)", 2, -1, -1, -1, "My clip.webm", false, kDeviceWebm},
    {"AV1 (small files)", 2, -1, -1, -1, "My clip.mp4", false, kDeviceAv1},
};

TEST(ShippedProfileTableTest, CoversEveryShippedProfile) {
  std::set<std::string> covered;
  for (const ShippedCase& c : kShippedCases) covered.insert(c.profile);
  for (const std::string& name : ShippedProfileNames())
    EXPECT_TRUE(covered.count(name)) << name << " has no expected container";
}

class ShippedProfileTest : public ProfilePanelTest,
                           public testing::WithParamInterface<ShippedCase> {};

TEST_P(ShippedProfileTest, ChoosesContainerAndNamesOutput) {
  const ShippedCase& c = GetParam();
  CopyShippedProfiles();
  WriteSettingText("OutputConfig", "last_profile", c.profile);
  output_.mpg_ac3 = true;
  panel_.LoadProfileList();

  ASSERT_NE(panel_.current(), nullptr);
  EXPECT_EQ(panel_.current()->name, c.profile);
  EXPECT_EQ(view_.selection, IndexOf(c.profile));
  EXPECT_EQ(output_.format, c.format);
  if (c.h264 >= 0) {
    EXPECT_EQ(output_.use_h264, c.h264 == 1);
  }
  if (c.mpeg4_tag >= 0) {
    EXPECT_EQ(output_.use_mpeg4_tag, c.mpeg4_tag == 1);
  }
  if (c.format_3gp >= 0) {
    EXPECT_EQ(output_.format_3gp, c.format_3gp);
  }
  if (c.format == 4) {
    EXPECT_FALSE(output_.mpg_ac3);
  }
  if (c.device_kind >= 0) {
    EXPECT_EQ(output_.device_kind, c.device_kind);
  }
  EXPECT_EQ(output_path_, out_folder() + "/" + c.file_name);
  EXPECT_EQ(output_.title, "My clip");
  EXPECT_EQ(panel_.psp(), c.psp);
  EXPECT_EQ(view_.thumbnail_visible, c.psp);
  EXPECT_EQ(ReadSettingText("OutputConfig\\last_profile", ""), c.profile);
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedProfileTest, testing::ValuesIn(kShippedCases));

TEST_F(ProfilePanelTest, VobExtensionSelectsProgramStream) {
  WriteProfile("DVD", "device = \"\"\nfileext = \"VOB\"\nvcodec = \"mpeg2video\"\n"
                      "s = \"720x480\"\nb = 4000\nr = 29.97\n"
                      "acodec = \"mp2\"\nab = 224\nar = 48000\nac = \"2\"\n");
  panel_.LoadProfileList();
  EXPECT_EQ(output_.format, 5);
  EXPECT_EQ(FileName(), "My clip.VOB");
}

TEST_F(ProfilePanelTest, AProfileWithUnusableValuesIsLeftOutAndTheUserTold) {
  CopyShippedProfiles();
  WriteProfile("Still", "vcodec = \"mpeg4\"\ns = \"320x240\"\nb = 768\nr = 0\n"
                        "acodec = \"aac\"\nab = 128\nar = 48000\nac = \"2\"\n");
  WriteProfile("Empty", "");
  WriteSettingText("OutputConfig", "last_profile", "Still");
  panel_.LoadProfileList();
  EXPECT_EQ(IndexOf("Still"), -1);
  EXPECT_EQ(IndexOf("Empty"), -1);
  EXPECT_GE(IndexOf("AVI"), 0);
  ASSERT_NE(panel_.current(), nullptr);
  EXPECT_NE(panel_.current()->name, "Still");
  std::vector<std::string> texts = box_.Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      "Profile \"Still\": frame rate \"r\" must be between 1 and 120 frames per "
                      "second (it is \"0\")"),
            texts.end());
}

TEST_F(ProfilePanelTest, PspNamesSkipExistingFilesAndFollowTheCounter) {
  CopyShippedProfiles();
  WriteFile(out_folder() + "/M4V00000.MP4", "x");
  WriteFile(out_folder() + "/M4V00001.MP4", "x");
  WriteSettingText("OutputConfig", "last_profile", "PSP");
  panel_.LoadProfileList();
  EXPECT_EQ(FileName(), "M4V00002.MP4");
  EXPECT_EQ(output_.file_number, 2);

  // After a conversion the counter moves on and the next name follows it.
  ++output_.file_number;
  panel_.DeriveOutputName();
  EXPECT_EQ(FileName(), "M4V00003.MP4");

  // H.264 chosen in the list: an MP4 of H.264 video, under the PSP's name
  // for those.
  std::vector<std::string> cells = Values(view_.video);
  cells[0] = "h264";
  panel_.VideoValueListStringsChange(cells);
  EXPECT_TRUE(output_.use_h264);
  EXPECT_EQ(FileName(), "MAQ00003.MP4");
  EXPECT_EQ(panel_.video_codec_name(), "h264");
}

TEST_F(ProfilePanelTest, PspFlagOutlivesDevicelessProfilesButNotTheirOutput) {
  CopyShippedProfiles();
  panel_.SetSourceSize(720, 405);
  panel_.LoadProfileList();
  Select("PSP");
  EXPECT_EQ(panel_.current()->s, "368x208");
  Select("AVI");
  EXPECT_TRUE(panel_.psp());
  EXPECT_TRUE(view_.thumbnail_visible);
  // An AVI file is neither sized nor named for the PSP.
  EXPECT_EQ(panel_.current()->s, "640x368");
  EXPECT_EQ(FileName(), "My clip.avi");
  Select("iPod");
  EXPECT_FALSE(panel_.psp());
  EXPECT_EQ(output_.device_kind, kDeviceIpod);
}

TEST_F(ProfilePanelTest, FrameSizeFollowsSourceAndStoredAspectMode) {
  CopyShippedProfiles();
  WriteSettingText("OutputConfig", "last_profile", "iPod");
  panel_.SetSourceSize(720, 405);
  panel_.LoadProfileList();
  EXPECT_EQ(panel_.current()->s, "320x192");
  EXPECT_EQ(view_.video[1].value, "320x192");

  WriteSettingInt("OutputConfig", "vc_aspect", 1);
  panel_.current()->s = "320x240";
  panel_.DeriveOutputSize(panel_.current());
  EXPECT_EQ(panel_.current()->s, "320x240");

  panel_.SetSourceSize(940, 400);
  Select("PSP");
  EXPECT_EQ(panel_.current()->s, "400x192");
}

TEST_F(ProfilePanelTest, DurationCellParsesAndShowsNormalForm) {
  CopyShippedProfiles();
  panel_.LoadProfileList();
  CProfile* profile = panel_.current();
  ASSERT_NE(profile, nullptr);
  EXPECT_EQ(Values(view_.time), (std::vector<std::string>{"Full", "0:00:00"}));

  panel_.TimeValueListStringsChange({"1:30", "75"});
  EXPECT_EQ(profile->t, 90);
  EXPECT_EQ(profile->ss, 75);
  EXPECT_EQ(Values(view_.time), (std::vector<std::string>{"0:01:30", "0:01:15"}));

  panel_.TimeValueListStringsChange({"whole film", "-2:00"});
  EXPECT_EQ(profile->t, 0);
  EXPECT_EQ(profile->ss, 0);
  EXPECT_EQ(Values(view_.time), (std::vector<std::string>{"Full", "0:00:00"}));
}

TEST_F(ProfilePanelTest, EditsWhileFillingAreIgnored) {
  CopyShippedProfiles();
  panel_.LoadProfileList();
  CProfile* profile = panel_.current();
  view_.on_rows = [&] {
    panel_.TimeValueListStringsChange({"9:00:00", "1:00"});
    panel_.VideoValueListStringsChange({"h264", "1x1", "1 kbps", "1 fps"});
    panel_.AudioValueListStringsChange({"aac", "1", "1", "1"});
  };
  panel_.ShowProfileValues();
  EXPECT_EQ(profile->t, 0);
  EXPECT_EQ(profile->vcodec, "xvid");
  EXPECT_EQ(profile->b, 1200);
  EXPECT_EQ(profile->ab, 128);
  EXPECT_EQ(profile->ac, "2");
}

TEST_F(ProfilePanelTest, VideoAndAudioCellsReadTheirLeadingNumbers) {
  CopyShippedProfiles();
  panel_.LoadProfileList();
  panel_.SetTitleSeconds(90 * 60);
  panel_.VideoValueListStringsChange({"xvid", "480x360", "384 kbps", "23.976 fps"});
  panel_.AudioValueListStringsChange({"mp3", "128", "48000", "1"});
  const CProfile& profile = *panel_.current();
  EXPECT_EQ(profile.s, "480x360");
  EXPECT_EQ(profile.b, 384);
  EXPECT_DOUBLE_EQ(profile.r, 23.976);
  EXPECT_EQ(profile.ab, 128);
  EXPECT_EQ(profile.ar, 48000);
  EXPECT_EQ(profile.ac, "1");
  EXPECT_EQ(view_.mb_per_minute, "About 3.8 MB per minute");
  EXPECT_EQ(view_.estimated_size, "Estimated size: 338 MB");
}

TEST_F(ProfilePanelTest, NewWindowsMediaAudioCodecEmptiesFormatAndListsItsFormats) {
  CopyShippedProfiles();
  WriteSettingText("OutputConfig", "last_profile", "WMV");
  panel_.LoadProfileList();
  ASSERT_EQ(view_.audio.size(), 2u);
  EXPECT_EQ(view_.audio[1].key, "Format=");
  EXPECT_EQ(view_.audio[1].value, "64 kbps, 44 kHz, stereo CBR");
  EXPECT_EQ(panel_.current()->ab, 64);

  // Another machine's codec, with formats of its own.
  wmf::ScopedCodecTable machine({wmf::Codec{
      "Windows Media Audio 9.2 Voice", wmf::MajorType::kAudio, wmf::kSubtypeWmAudioV8, "wmav2",
      {wmf::AudioCodecFormat{"20 kbps, 22 kHz, mono CBR", 20000, 22050, 1, 16, false},
       wmf::AudioCodecFormat{"32 kbps, 32 kHz, stereo CBR", 32000, 32000, 2, 16, false}}}});
  panel_.AudioValueListStringsChange({"Windows Media Audio 9.2 Voice", view_.audio[1].value});
  EXPECT_EQ(view_.audio[1].value, "");
  EXPECT_EQ(view_.audio[1].choices,
            (std::vector<std::string>{"20 kbps, 22 kHz, mono CBR", "32 kbps, 32 kHz, stereo CBR"}));
  EXPECT_EQ(panel_.current()->aformat, "");
  EXPECT_EQ(panel_.current()->ab, 0);
  EXPECT_EQ(panel_.last_audio_codec(), "Windows Media Audio 9.2 Voice");

  // The same codec with a format chosen keeps it and takes its bit rate.
  panel_.AudioValueListStringsChange({"Windows Media Audio 9.2 Voice", "32 kbps, 32 kHz, stereo CBR"});
  EXPECT_EQ(panel_.current()->aformat, "32 kbps, 32 kHz, stereo CBR");
  EXPECT_EQ(panel_.current()->ab, 32);
  EXPECT_EQ(view_.mb_per_minute, "About 3.9 MB per minute");  // (500 + 32) × 7.5 / 1024
}

TEST_F(ProfilePanelTest, SavingUnderABadNameKeepsTheList) {
  CopyShippedProfiles();
  panel_.LoadProfileList();
  const std::vector<std::string> before = panel_.profile_names();
  host_.typed_name = "clips\tphone";
  panel_.SaveProfileBtnClick();
  EXPECT_EQ(box_.Texts(), (std::vector<std::string>{
                              "Cannot save profile. Some characters may not be allowed in the "
                              "profile name. "}));
  EXPECT_EQ(panel_.profile_names(), before);
  EXPECT_EQ(host_.offered_names, (std::vector<std::string>{"AVI"}));
  // A slash is a character like any other in a name.
  host_.typed_name = "clips/phone";
  panel_.SaveProfileBtnClick();
  EXPECT_EQ(box_.Texts().size(), 1u);
  ASSERT_NE(panel_.current(), nullptr);
  EXPECT_EQ(panel_.current()->name, "clips/phone");
  EXPECT_TRUE(fs::is_regular_file(world_.home() + "/profile/clips%2Fphone.pr"));
}

TEST_F(ProfilePanelTest, SavedProfileBecomesCurrentAndItsNameIsOfferedAgain) {
  CopyShippedProfiles();
  panel_.LoadProfileList();
  panel_.VideoValueListStringsChange({"mpeg4", "512x384", "900 kbps", "25 fps"});
  host_.typed_name = "My AVI";
  panel_.SaveProfileBtnClick();
  EXPECT_TRUE(box_.Texts().empty());
  ASSERT_NE(panel_.current(), nullptr);
  EXPECT_EQ(panel_.current()->name, "My AVI");
  EXPECT_EQ(panel_.current()->b, 900);
  EXPECT_EQ(view_.selection, IndexOf("My AVI"));
  EXPECT_EQ(view_.items, panel_.profile_names());
  EXPECT_EQ(ReadSettingText("OutputConfig\\last_profile", ""), "My AVI");
  EXPECT_EQ(output_.format, 3);
  EXPECT_TRUE(output_.use_mpeg4_tag);

  // Cancelled: nothing is written, and the next offer is what was typed.
  host_.typed_name = "Draft";
  host_.name_ok = false;
  panel_.SaveProfileBtnClick();
  EXPECT_FALSE(fs::exists(world_.home() + "/profile/Draft.pr"));
  panel_.SaveProfileBtnClick();
  EXPECT_EQ(host_.offered_names, (std::vector<std::string>{"AVI", "My AVI", "Draft"}));

  // A name in the list is replaced only when the user agrees.
  const std::string shipped = test::ReadFile(world_.home() + "/profile/PSP.pr");
  host_.typed_name = "PSP";
  host_.name_ok = true;
  box_.Answer(kButtonNo);
  panel_.SaveProfileBtnClick();
  EXPECT_EQ(box_.Texts().back(), "A profile named \"PSP\" exists already. Replace it?");
  EXPECT_EQ(test::ReadFile(world_.home() + "/profile/PSP.pr"), shipped);
  box_.Answer(kButtonYes);
  panel_.SaveProfileBtnClick();
  EXPECT_NE(test::ReadFile(world_.home() + "/profile/PSP.pr"), shipped);
}

TEST_F(ProfilePanelTest, ListIsSortedAndFallsBackToTheFirstProfile) {
  CopyShippedProfiles();
  WriteFile(world_.home() + "/profile/notes.txt", "not a profile");
  WriteSettingText("OutputConfig", "last_profile", "psp");  // names match exactly
  panel_.LoadProfileList();
  const std::vector<std::string> expected = {
      "3GP MPEG-4",          "3GP phone",           "AV1 (small files)", "AVI",
      "iPhone/iPad (HEVC)",  "iPod",                "iPod MPEG-4",       "MPEG-2",
      "Phone (H.264 1080p)", "Phone (H.264 720p)",  "PSP",               "PSP AVC",
      "QuickTime",           "Web (WebM VP9)",      "WMV"};
  EXPECT_EQ(panel_.profile_names(), expected);
  EXPECT_EQ(view_.items, expected);
  EXPECT_EQ(view_.selection, 0);
  EXPECT_EQ(panel_.current_index(), 0);
}

TEST_F(ProfilePanelTest, NoProfilesMeansNoCurrentProfile) {
  panel_.LoadProfileList();
  EXPECT_TRUE(view_.items.empty());
  EXPECT_EQ(panel_.current(), nullptr);
  panel_.ApplyProfile(0);
  EXPECT_EQ(panel_.current(), nullptr);
  panel_.SaveProfileBtnClick();
  panel_.TimeValueListStringsChange({"1:00", "0"});
  EXPECT_TRUE(host_.offered_names.empty());
  EXPECT_TRUE(view_.time.empty());
  EXPECT_EQ(view_.mb_per_minute, "");

  // Start-up still gives the lists their rows.
  panel_.PrepareValueLists();
  EXPECT_EQ(view_.time.size(), 2u);
  EXPECT_EQ(view_.audio.size(), 4u);
}

TEST_F(ProfilePanelTest, PrepareValueListsLocksPspRows) {
  CopyShippedProfiles();
  WriteSettingText("OutputConfig", "last_profile", "PSP");
  panel_.LoadProfileList();
  panel_.PrepareValueLists();
  ASSERT_EQ(view_.video.size(), 4u);
  EXPECT_TRUE(view_.video[0].read_only);
  EXPECT_TRUE(view_.video[1].read_only);
  EXPECT_FALSE(view_.video[2].read_only);
  EXPECT_TRUE(view_.video[3].read_only);
  for (const ValueRow& row : view_.audio) EXPECT_TRUE(row.read_only) << row.key;
  EXPECT_FALSE(view_.time[0].pick_list);

  // Showing a profile again lets Sampling and Channels be typed.
  Select("AVI");
  EXPECT_TRUE(view_.video[1].read_only);
  EXPECT_TRUE(view_.audio[1].read_only);
  EXPECT_FALSE(view_.audio[2].read_only);
  EXPECT_FALSE(view_.audio[3].read_only);
  EXPECT_EQ(view_.audio[1].value, "128 kbps");
  EXPECT_EQ(view_.video[3].value, "29.97 fps");
}

TEST_F(ProfilePanelTest, OutputFolderComposesTheOutputPath) {
  output_path_ = out_folder() + "/clip.mp4";
  panel_.InitOutputFolder();
  EXPECT_EQ(view_.folder, out_folder() + "/");
  EXPECT_EQ(output_path_, out_folder() + "/clip.mp4");
  // Start-up stores nothing: the first conversion asks where files go.
  EXPECT_EQ(ReadSettingText("OutputConfig\\LastOutput", "<none>"), "<none>");

  host_.browse_result = world_.Path("chosen");
  panel_.BrowseBtnClick();
  EXPECT_EQ(host_.browse_title, "Select your a folder to store converted videos");
  EXPECT_EQ(view_.folder, world_.Path("chosen"));
  EXPECT_EQ(output_path_, world_.Path("chosen") + "/clip.mp4");

  // Cancelled: the edit empties, and the output goes to the home folder, not
  // to the root.
  host_.browse_ok = false;
  panel_.BrowseBtnClick();
  EXPECT_EQ(view_.folder, "");
  EXPECT_EQ(output_path_, world_.Path("user") + "/clip.mp4");
  EXPECT_EQ(ReadSettingText("OutputConfig\\LastOutput", ""), output_path_);
  panel_.ShowOutputFolderSpeedBtnClick();
  EXPECT_EQ(host_.opened, (std::vector<std::string>{world_.Path("user")}));

  // A path past 511 bytes is refused.
  panel_.OutputFolderEditChange("/" + std::string(600, 'f'));
  EXPECT_EQ(output_path_, world_.Path("user") + "/clip.mp4");
}

// Typed values are numbers with their unit or none; anything else is
// refused with a word, and the value stays as it was.
TEST_F(ProfilePanelTest, TypedVideoValuesAreCheckedAndShownWithTheirUnit) {
  CopyShippedProfiles();
  WriteSettingText("OutputConfig", "last_profile", "AVI");
  panel_.LoadProfileList();
  struct Case {
    const char* bitrate;
    const char* fps;
    bool taken;
    const char* shown_bitrate;
    const char* shown_fps;
  };
  const Case cases[] = {
      {"1000", "25", true, "1000 kbps", "25 fps"},
      {" 1500 KBPS ", "23.976fps", true, "1500 kbps", "23.976 fps"},
      {"abc", "25", false, "1500 kbps", "23.976 fps"},
      {"1000 kbps700", "25", false, "1500 kbps", "23.976 fps"},
      {"0", "25", false, "1500 kbps", "23.976 fps"},
      {"800.5", "25", false, "1500 kbps", "23.976 fps"},
      {"800", "fast", false, "1500 kbps", "23.976 fps"},
      {"800", "1.2.3", false, "1500 kbps", "23.976 fps"},
  };
  for (const Case& c : cases) {
    const size_t messages = box_.Texts().size();
    std::vector<std::string> cells = Values(view_.video);
    cells[2] = c.bitrate;
    cells[3] = c.fps;
    panel_.VideoValueListStringsChange(cells);
    EXPECT_EQ(box_.Texts().size(), messages + (c.taken ? 0 : 1)) << c.bitrate << " " << c.fps;
    EXPECT_EQ(view_.video[2].value, c.shown_bitrate) << c.bitrate;
    EXPECT_EQ(view_.video[3].value, c.shown_fps) << c.fps;
  }
  EXPECT_EQ(box_.Texts()[0],
            "\"abc\" is not a video bit rate. Type a whole number of kbit/s, such as 1200.");
  EXPECT_EQ(panel_.current()->b, 1500);
}

// A profile that offers constant quality shows it beside the bit rate; a
// chosen or typed quality is taken, anything else refused.
TEST_F(ProfilePanelTest, TheQualityRowSetsConstantQualityOrTheBitRate) {
  CopyShippedProfiles();
  WriteSettingText("OutputConfig", "last_profile", "Phone (H.264 720p)");
  panel_.LoadProfileList();
  ASSERT_EQ(view_.video.size(), 5u);
  EXPECT_EQ(view_.video[4].key, "Quality=");
  EXPECT_EQ(view_.video[4].value, "CRF 23");
  EXPECT_EQ(view_.video[4].choices.front(), "bit rate");
  const struct {
    const char* typed;
    bool taken;
    int crf;
    const char* shown;
  } kTyped[] = {
      {"CRF 20", true, 20, "CRF 20"}, {" crf 28 ", true, 28, "CRF 28"}, {"18", true, 18, "CRF 18"},
      {"Bit Rate", true, 0, "bit rate"}, {"CRF 52", false, 0, "bit rate"},
      {"good", false, 0, "bit rate"},   {"CRF 2.5", false, 0, "bit rate"},
  };
  for (const auto& c : kTyped) {
    const size_t messages = box_.Texts().size();
    std::vector<std::string> cells = Values(view_.video);
    cells[4] = c.typed;
    panel_.VideoValueListStringsChange(cells);
    EXPECT_EQ(box_.Texts().size(), messages + (c.taken ? 0 : 1)) << c.typed;
    EXPECT_EQ(panel_.current()->crf, c.crf) << c.typed;
    EXPECT_EQ(view_.video[4].value, c.shown) << c.typed;
  }
  // Profiles without it show the four rows they always had.
  Select("AVI");
  EXPECT_EQ(view_.video.size(), 4u);
}

// A name the user chose names the output in the folder shown, with the
// container's extension, through profile changes; the PSP keeps its numbers.
TEST_F(ProfilePanelTest, AChosenNameNamesTheOutputWithTheContainersExtension) {
  CopyShippedProfiles();
  WriteSettingText("OutputConfig", "last_profile", "AVI");
  panel_.LoadProfileList();
  panel_.InitOutputFolder();

  struct Case {
    const char* profile;
    const char* typed;
    const char* file_name;
  };
  const Case cases[] = {
      {"AVI", "2048", "2048.avi"},
      {"AVI", "holiday.AVI", "holiday.AVI"},
      {"AVI", "take.2", "take.2.avi"},
      {"iPod", "take.2", "take.2.mp4"},
      {"PSP", "take.2", "M4V00000.MP4"},
      {"WMV", "take.2", "take.2.wmv"},
  };
  for (const Case& c : cases) {
    Select(c.profile);
    panel_.NameOutput("", c.typed);
    EXPECT_EQ(output_path_, out_folder() + "/" + c.file_name) << c.profile << " " << c.typed;
    EXPECT_EQ(ReadSettingText("OutputConfig\\LastOutput", ""), output_path_);
  }
  // Another folder moves the named file there and shows it.
  panel_.NameOutput(world_.Path("elsewhere"), "");
  EXPECT_EQ(view_.folder, world_.Path("elsewhere") + "/");
  EXPECT_EQ(output_path_, world_.Path("elsewhere") + "/take.2.wmv");
  // A new source takes its own name again.
  panel_.ForgetChosenName();
  panel_.DeriveOutputName();
  EXPECT_EQ(FileName(), "My clip.wmv");
}

// The range the bar holds is every chosen profile's Start and Duration; the
// user's edits of the Time rows are handed on.
TEST_F(ProfilePanelTest, AHeldRangeSurvivesProfileChanges) {
  CopyShippedProfiles();
  panel_.LoadProfileList();
  std::vector<std::pair<int, int>> edited;
  panel_.set_range_listener([&](int start, int duration) { edited.push_back({start, duration}); });

  panel_.ShowRange(10, 20);
  EXPECT_EQ(Values(view_.time), (std::vector<std::string>{"0:00:20", "0:00:10"}));
  Select("iPod");
  EXPECT_EQ(panel_.current()->ss, 10);
  EXPECT_EQ(panel_.current()->t, 20);
  EXPECT_EQ(Values(view_.time), (std::vector<std::string>{"0:00:20", "0:00:10"}));

  panel_.TimeValueListStringsChange({"0:00:30", "0:01:00"});
  EXPECT_EQ(edited, (std::vector<std::pair<int, int>>{{60, 30}}));

  // Released (the file closed): profiles keep their own range again.
  panel_.ReleaseRange();
  Select("PSP");
  EXPECT_EQ(panel_.current()->ss, 0);
}

}  // namespace
}  // namespace ovc
