#include "ui/dialogs/output_folder_presenter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

#include "settings/settings_store.h"
#include "support/temp_world.h"
#include "ui/dialogs/dialog_fakes.h"

namespace ovc {
namespace {

namespace fs = std::filesystem;

class FakeOutputFolderView : public OutputFolderView {
 public:
  void SetDesktopMovieFolderCaption(const std::string& caption) override {
    movie_caption = caption;
  }
  void SetHomeFolderCaption(const std::string& caption) override { home_caption = caption; }
  void SetBrowseButtonVisible(bool visible) override { browse_visible = visible; }
  void Close() override { closed = true; }

  std::string movie_caption;
  std::string home_caption;
  bool browse_visible = false;
  bool closed = false;
};

std::string StoredLastOutput() { return ReadSettingText("OutputConfig\\LastOutput", "<none>"); }

class OutputFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    world_.SetEnv("HOME", home_);
    world_.SetEnv("XDG_CONFIG_HOME", world_.Path("config"));
    fs::create_directories(home_);
  }

  test::TempWorld world_;
  std::string home_ = world_.Path("user");
  std::string desktop_ = home_ + "/Desktop";
  FakeOutputFolderView view_;
  test::FakeSaveFileDialog file_dialog_;
  OutputConfig output_;
  std::string output_path_;
  OutputFolderPresenter presenter_{&view_, &file_dialog_, &output_, &output_path_};
};

struct ChoiceCase {
  const char* name;
  bool psp;
  int format;
  const char* current_path;
  int button;            // 1 desktop movie folder, 2 desktop, 3 home
  const char* expected;  // "~" is the home folder, "@" the desktop
};
void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

class OutputFolderChoice : public OutputFolderTest,
                           public testing::WithParamInterface<ChoiceCase> {
 protected:
  std::string Expand(std::string text) {
    if (text.front() == '~') return home_ + text.substr(1);
    if (text.front() == '@') return desktop_ + text.substr(1);
    return text;
  }
};

TEST_P(OutputFolderChoice, RebuildsAndStoresThePath) {
  const ChoiceCase& c = GetParam();
  output_.format = c.format;
  output_path_ = c.current_path;
  presenter_.FormShow(c.psp);
  switch (c.button) {
    case 1: presenter_.RadioButton1Click(); break;
    case 2: presenter_.RadioButton2Click(); break;
    default: presenter_.RadioButton3Click(); break;
  }
  std::string expected = Expand(c.expected);
  EXPECT_EQ(output_path_, expected);
  EXPECT_EQ(StoredLastOutput(), expected);
  if (c.button == 1) {
    std::string folder = desktop_ + (c.psp ? "/PSP Movie" : "/Orvane Videos");
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, OutputFolderChoice,
    testing::Values(
        ChoiceCase{"MovieFolderKeepsFileName", false, 0, "C:/untitled.avi", 1,
                   "@/Orvane Videos/untitled.avi"},
        ChoiceCase{"PspMovieFolder", true, 2, "/media/x/clip.mp4", 1, "@/PSP Movie/clip.mp4"},
        ChoiceCase{"HomeKeepsFileName", false, 1, "D:/work/clip.wmv", 3, "~/clip.wmv"},
        ChoiceCase{"DesktopFallbackWmv", false, 1, "", 2, "@/untitled.wmv"},
        ChoiceCase{"DesktopFolderAloneForMpeg", false, 4, "", 2, "@"},
        ChoiceCase{"MovieFolderFallbackMpeg", false, 4, "", 1, "@/Orvane Videos/untitled.mpg"},
        ChoiceCase{"MovieFolderFallback3gp", false, 6, "", 1, "@/Orvane Videos/untitled.3gp"},
        ChoiceCase{"MovieFolderAloneForOtherCodes", false, 9, "", 1, "@/Orvane Videos"},
        ChoiceCase{"HomeFallbackForNameWithoutFolder", false, 3, "clip.avi", 3,
                   "~/untitled.avi"},
        ChoiceCase{"HomeAloneFor3gp", false, 6, "", 3, "~"}));

TEST_F(OutputFolderTest, CaptionsFollowTheProfile) {
  presenter_.FormShow(false);
  EXPECT_EQ(view_.movie_caption, "\"Orvane Videos\" folder on your Desktop");
  EXPECT_EQ(view_.home_caption, home_);
  presenter_.FormShow(true);
  EXPECT_EQ(view_.movie_caption, "\"PSP Movie\" folder on your Desktop");
}

TEST_F(OutputFolderTest, DesktopComesFromUserDirs) {
  test::WriteFile(world_.Path("config/user-dirs.dirs"), "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
  output_path_ = "/x/a.avi";
  presenter_.FormShow(false);
  presenter_.RadioButton2Click();
  EXPECT_EQ(output_path_, home_ + "/Bureau/a.avi");
  EXPECT_TRUE(fs::is_directory(home_ + "/Bureau"));
}

TEST_F(OutputFolderTest, OtherFoldersBrowsesFromTheCurrentPath) {
  output_.format = kFormatMp4;
  output_path_ = "/data/in/clip.mp4";
  presenter_.FormShow(false);
  presenter_.RadioButton4Click();
  EXPECT_TRUE(view_.browse_visible);

  // A folder is asked for, starting at the output's folder; the file keeps
  // its name there.
  file_dialog_.answers = {std::nullopt, "/data/out/"};
  presenter_.BrowseButtonClick();
  EXPECT_EQ(output_path_, "/data/in/clip.mp4");
  EXPECT_EQ(StoredLastOutput(), "<none>");

  presenter_.BrowseButtonClick();
  ASSERT_EQ(file_dialog_.requests.size(), 2u);
  EXPECT_TRUE(file_dialog_.requests[0].pick_folder);
  EXPECT_EQ(file_dialog_.requests[0].initial_path, "/data/in");
  EXPECT_EQ(output_path_, "/data/out/clip.mp4");
  EXPECT_EQ(StoredLastOutput(), "/data/out/clip.mp4");
}

TEST_F(OutputFolderTest, OkHandsOverTheFolderPart) {
  output_path_ = "/data/out/final.mp4";
  EXPECT_EQ(presenter_.TeButton2Click(), "/data/out");
  EXPECT_TRUE(view_.closed);
  output_path_ = "final.mp4";
  EXPECT_EQ(presenter_.TeButton2Click(), "final.mp4");
}

TEST_F(OutputFolderTest, ClosingWithoutChoiceChangesNothing) {
  output_path_ = "/data/in/clip.avi";
  presenter_.FormShow(false);
  EXPECT_EQ(presenter_.TeButton2Click(), "/data/in");
  EXPECT_EQ(output_path_, "/data/in/clip.avi");
  EXPECT_EQ(StoredLastOutput(), "<none>");
}

}  // namespace
}  // namespace ovc
