#include "ui/dialogs/output_settings_presenter.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>

#include "settings/settings_store.h"
#include "support/temp_world.h"
#include "ui/dialogs/dialog_fakes.h"

namespace ovc {
namespace {

// Holds what each control shows; the test plays the user by changing it.
class FakeOutputSettingsView : public OutputSettingsView {
 public:
  WindowRect MainWindowRect() const override { return main_rect; }
  WindowRect OwnRect() const override { return own_rect; }
  void MoveTo(int left, int top) override {
    own_rect.left = left;
    own_rect.top = top;
  }
  void Hide() override { hidden = true; }
  void SetPspNumberVisible(bool visible) override { psp_number_visible = visible; }
  void SetPspNumber(int number) override { psp_number = number; }
  int PspNumber() const override { return psp_number; }
  void SetSplitSizeText(const std::string& text) override { split_text = text; }
  std::string SplitSizeText() const override { return split_text; }
  void SetFileName(const std::string& path) override { file_name = path; }
  std::string FileName() const override { return file_name; }
  void SetAudioVolumeLevel(int level) override { volume = level; }
  int AudioVolumeLevel() const override { return volume; }
  void SetBrightnessLevel(int level) override { brightness = level; }
  int BrightnessLevel() const override { return brightness; }
  void SetBrightnessComment(const std::string& text) override { brightness_comment = text; }
  void SetAspectIndex(int index) override { aspect = index; }
  int AspectIndex() const override { return aspect; }
  void SetShutdownChecked(bool checked) override { shutdown = checked; }
  bool ShutdownChecked() const override { return shutdown; }
  void SetScreenSaverChecked(bool checked) override { screen_saver = checked; }
  bool ScreenSaverChecked() const override { return screen_saver; }

  WindowRect main_rect{100, 50, 801, 601};
  WindowRect own_rect{0, 0, 300, 201};
  bool hidden = false;
  bool psp_number_visible = false;
  int psp_number = 10000;
  std::string split_text = "10000";
  std::string file_name = "untouched";
  int volume = 6;
  int brightness = 1;
  std::string brightness_comment;
  int aspect = 0;
  bool shutdown = false;
  bool screen_saver = false;
};

int StoredInt(const char* name, int missing = -1) {
  return ReadSettingInt(std::string("OutputConfig\\") + name, missing);
}
double StoredReal(const char* name) {
  return ReadSettingReal(std::string("OutputConfig\\") + name, -1);
}

class OutputSettingsTest : public testing::Test {
 protected:
  test::TempWorld world_;
  FakeOutputSettingsView view_;
  test::FakeSaveFileDialog file_dialog_;
  OutputConfig output_;
  std::string output_path_ = "/home/me/videos/clip.avi";
  OutputSettingsPresenter presenter_{&view_, &file_dialog_, &output_, &output_path_};
};

TEST_F(OutputSettingsTest, OpeningShowsTheConfigurationAndStoredChoices) {
  output_.file_number = 17;
  output_.shutdown_when_done = true;
  output_.disable_screensaver = 1;
  output_.audio_volume = 7;
  output_.brightness_a = 23;
  output_.split_size = 700;
  WriteSettingInt("OutputConfig", "vc_aspect", 1);

  presenter_.FormShow();

  EXPECT_EQ(view_.own_rect.left, 350);  // 100 + 801/2 - 300/2
  EXPECT_EQ(view_.own_rect.top, 250);   // 50 + 601/2 - 201/2
  EXPECT_TRUE(view_.psp_number_visible);
  EXPECT_EQ(view_.psp_number, 17);
  EXPECT_EQ(view_.file_name, output_path_);
  EXPECT_TRUE(view_.shutdown);
  EXPECT_TRUE(view_.screen_saver);
  EXPECT_EQ(view_.volume, 7);
  EXPECT_EQ(view_.brightness, 2);
  EXPECT_EQ(view_.brightness_comment, "(+2 level)");
  EXPECT_EQ(view_.split_text, "700");
  EXPECT_EQ(view_.aspect, 1);
  // Opening stores the brightness again although nothing changed.
  EXPECT_EQ(StoredInt("brightness_a"), 23);
  EXPECT_NEAR(StoredReal("brightness_b"), 1.24, 1e-6);
}

TEST_F(OutputSettingsTest, OkWithoutChangesPutsBackWhatIsStored) {
  output_.split_size = 650;
  WriteSettingInt("OutputConfig", "vc_aspect", 1);
  presenter_.FormShow();
  presenter_.OKBtnClick();
  EXPECT_EQ(StoredInt("Volume"), 650);
  EXPECT_EQ(StoredInt("vc_aspect"), 1);
  EXPECT_EQ(output_.split_size, 650);
}

struct BrightnessCase {
  int level;
  int a;
  double b;
  const char* comment;
};
void PrintTo(const BrightnessCase& c, std::ostream* os) { *os << "level" << c.level; }

class OutputSettingsBrightness : public OutputSettingsTest,
                                 public testing::WithParamInterface<BrightnessCase> {};

TEST_P(OutputSettingsBrightness, SliderStoresAtOnceEvenWhenCancelled) {
  const BrightnessCase& c = GetParam();
  presenter_.FormShow();
  view_.brightness = c.level;
  presenter_.BrightnessTrackbarChange();
  presenter_.CancelBtnClick();

  EXPECT_TRUE(view_.hidden);
  EXPECT_EQ(view_.brightness_comment, c.comment);
  EXPECT_EQ(output_.brightness_a, c.a);
  EXPECT_NEAR(output_.brightness_b, c.b, 1e-6);
  EXPECT_EQ(StoredInt("brightness_a"), c.a);
  EXPECT_NEAR(StoredReal("brightness_b"), c.b, 1e-6);
  // The next opening places the slider back on the same level.
  view_.brightness = -1;
  presenter_.FormShow();
  EXPECT_EQ(view_.brightness, c.level);
}

INSTANTIATE_TEST_SUITE_P(Levels, OutputSettingsBrightness,
                         testing::Values(BrightnessCase{0, 0, 1.0, "(original)"},
                                         BrightnessCase{1, 12, 1.12, "(+1 level)"},
                                         BrightnessCase{2, 23, 1.24, "(+2 level)"},
                                         BrightnessCase{3, 35, 1.36, "(+3 level)"}));

TEST(BrightnessLevelForTerm, RoundsAndStaysOnTheSlider) {
  EXPECT_EQ(BrightnessLevelForTerm(0), 0);
  EXPECT_EQ(BrightnessLevelForTerm(5), 0);   // 0.43 + 0.5
  EXPECT_EQ(BrightnessLevelForTerm(6), 1);   // 0.51 + 0.5
  EXPECT_EQ(BrightnessLevelForTerm(12), 1);
  EXPECT_EQ(BrightnessLevelForTerm(23), 2);
  EXPECT_EQ(BrightnessLevelForTerm(35), 3);
  EXPECT_EQ(BrightnessLevelForTerm(100), 3);  // a hand-edited store
  EXPECT_EQ(BrightnessLevelForTerm(-40), 0);
}

TEST_F(OutputSettingsTest, VolumeSliderAppliesAtOnceButIsStoredOnlyByOk) {
  presenter_.FormShow();
  view_.volume = 8;
  presenter_.AudioVolumeTrackBarChange();
  presenter_.CancelBtnClick();
  EXPECT_EQ(output_.audio_volume, 8);
  EXPECT_EQ(StoredInt("AudioVolume"), -1);
}

TEST_F(OutputSettingsTest, OkTakesEveryControlAndStoresIt) {
  presenter_.FormShow();
  view_.aspect = 1;
  view_.volume = 3;
  view_.shutdown = true;
  view_.screen_saver = false;
  view_.split_text = "  700MB";
  view_.file_name = "/data/out/movie.avi";
  presenter_.OKBtnClick();

  EXPECT_TRUE(view_.hidden);
  EXPECT_EQ(output_.audio_volume, 3);
  EXPECT_TRUE(output_.shutdown_when_done);
  EXPECT_EQ(output_.disable_screensaver, 0);
  EXPECT_EQ(output_.split_size, 700);
  EXPECT_EQ(output_path_, "/data/out/movie.avi");
  EXPECT_EQ(StoredInt("vc_aspect"), 1);
  EXPECT_EQ(StoredInt("AudioVolume"), 3);
  EXPECT_EQ(StoredInt("Volume"), 700);
  EXPECT_EQ(StoredInt("disable_screensaver"), 0);
  EXPECT_EQ(ReadSettingText("OutputConfig\\LastOutput", "?"), "/data/out/movie.avi");
  // The shutdown choice lives for this run only.
  EXPECT_EQ(StoredInt("shutdown_when_done"), -1);
}

TEST_F(OutputSettingsTest, OkKeepsAtMost511BytesOfThePathWithoutSplittingCharacters) {
  presenter_.FormShow();
  view_.file_name = "/" + std::string(509, 'a') + "\xC3\xA9" + "tail.avi";  // é at 510..511
  presenter_.OKBtnClick();
  EXPECT_EQ(output_path_, "/" + std::string(509, 'a'));
}

TEST_F(OutputSettingsTest, ChangedPspNumberBecomesTheCounter) {
  output_.file_number = 4;
  presenter_.FormShow();
  view_.psp_number = 120;
  presenter_.OKBtnClick();
  EXPECT_EQ(output_.file_number, 120);
  EXPECT_EQ(StoredInt("file_number"), 120);
}

TEST_F(OutputSettingsTest, UntouchedPspNumberDoesNotWindTheCounterBack) {
  output_.file_number = 4;
  presenter_.FormShow();
  output_.file_number = 5;  // a conversion finished while the dialog stayed open
  presenter_.OKBtnClick();
  EXPECT_EQ(output_.file_number, 5);
  EXPECT_EQ(StoredInt("file_number"), -1);
}

struct SplitCase {
  const char* text;
  int expected;
};
void PrintTo(const SplitCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class SplitSizeText : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitSizeText, ReadsLeadingNumber) {
  EXPECT_EQ(ParseSplitSize(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, SplitSizeText,
                         testing::Values(SplitCase{"  700MB", 700}, SplitCase{"MB", 0},
                                         SplitCase{"", 0}, SplitCase{"\t+42", 42},
                                         SplitCase{"-5", -5}, SplitCase{"12 34", 12},
                                         SplitCase{"- 3", 0}, SplitCase{"007", 7},
                                         SplitCase{"99999999999", INT_MAX},
                                         SplitCase{"-99999999999", INT_MIN}));

struct FilterCase {
  int format;
  const char* filter;
};
void PrintTo(const FilterCase& c, std::ostream* os) { *os << "format" << c.format; }

class OutputSettingsFilter : public OutputSettingsTest,
                             public testing::WithParamInterface<FilterCase> {};

// Each case runs after a WMV browse, so a format without a filter of its
// own visibly keeps the previous one.
TEST_P(OutputSettingsFilter, FollowsTheFormat) {
  presenter_.FormShow();
  output_.format = kFormatWmv;
  presenter_.SpeedButton1Click();
  output_.format = GetParam().format;
  presenter_.SpeedButton1Click();
  ASSERT_EQ(file_dialog_.requests.size(), 2u);
  EXPECT_EQ(file_dialog_.requests[1].filter, GetParam().filter);
  EXPECT_EQ(file_dialog_.requests[1].default_extension, "avi");
}

INSTANTIATE_TEST_SUITE_P(Formats, OutputSettingsFilter,
                         testing::Values(FilterCase{0, "AVI|*.avi"}, FilterCase{1, "WMV|*.wmv"},
                                         FilterCase{2, "MP4|*.mp4"}, FilterCase{3, "AVI|*.avi"},
                                         FilterCase{4, "WMV|*.wmv"}, FilterCase{5, "WMV|*.wmv"},
                                         FilterCase{6, "3gp|*.3gp"}, FilterCase{7, "WMV|*.wmv"}));

TEST_F(OutputSettingsTest, BrowseFillsTheEditOnlyAndStoresNothing) {
  presenter_.FormShow();
  file_dialog_.answers = {std::nullopt, "/data/new.avi"};
  presenter_.SpeedButton1Click();
  EXPECT_EQ(view_.file_name, output_path_);
  presenter_.SpeedButton1Click();
  EXPECT_EQ(view_.file_name, "/data/new.avi");
  EXPECT_EQ(output_path_, "/home/me/videos/clip.avi");
  EXPECT_EQ(ReadSettingText("OutputConfig\\LastOutput", "?"), "?");
}

}  // namespace
}  // namespace ovc
