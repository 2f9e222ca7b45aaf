#include "platform/shell/desktop_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

#include "support/temp_world.h"

namespace ovc {
namespace {

namespace fs = std::filesystem;

struct UserDirsCase {
  const char* name;
  const char* text;
  const char* expected;  // "" = no usable entry
};
void PrintTo(const UserDirsCase& c, std::ostream* os) { *os << c.name; }

class UserDirsParsing : public testing::TestWithParam<UserDirsCase> {};

TEST_P(UserDirsParsing, NamesTheDesktop) {
  EXPECT_EQ(DesktopFolderFromUserDirs(GetParam().text, "/home/me"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, UserDirsParsing,
    testing::Values(
        UserDirsCase{"BelowHome",
                     "# written by xdg-user-dirs-update\n"
                     "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                     "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n",
                     "/home/me/Schreibtisch"},
        UserDirsCase{"Absolute", "XDG_DESKTOP_DIR=\"/data/desk/\"\n", "/data/desk"},
        UserDirsCase{"HomeItself", "XDG_DESKTOP_DIR=\"$HOME/\"\n", "/home/me"},
        UserDirsCase{"EscapedQuoteAndSpaces",
                     "  XDG_DESKTOP_DIR=\"$HOME/My \\\"Desk\\\" top\"  # mine\n",
                     "/home/me/My \"Desk\" top"},
        UserDirsCase{"CommentedOut", "#XDG_DESKTOP_DIR=\"$HOME/Old\"\n", ""},
        UserDirsCase{"RelativeIgnored", "XDG_DESKTOP_DIR=\"Desktop\"\n", ""},
        UserDirsCase{"OtherVariableIgnored", "XDG_DESKTOP_DIR=\"$HOMEPAGE/x\"\n", ""},
        UserDirsCase{"OpenQuoteIgnored", "XDG_DESKTOP_DIR=\"$HOME/Desk\n", ""},
        UserDirsCase{"LastUsableWins",
                     "XDG_DESKTOP_DIR=\"$HOME/First\"\nXDG_DESKTOP_DIR=\"Bad\"\n"
                     "XDG_DESKTOP_DIR=\"$HOME/Second\"\r\n",
                     "/home/me/Second"},
        UserDirsCase{"SimilarKeyIgnored", "XDG_DESKTOP_DIRS=\"$HOME/x\"\n", ""}));

class DesktopFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    world_.SetEnv("HOME", home_);
    world_.SetEnv("XDG_CONFIG_HOME", "");
    fs::create_directories(home_);
  }
  test::TempWorld world_;
  std::string home_ = world_.Path("user");
};

TEST_F(DesktopFolderTest, WithoutUserDirsIsDesktopInHomeAndIsCreated) {
  EXPECT_EQ(DesktopFolder(), home_ + "/Desktop");
  EXPECT_TRUE(fs::is_directory(home_ + "/Desktop"));
}

TEST_F(DesktopFolderTest, ReadsUserDirsOfTheConfigFolder) {
  test::WriteFile(home_ + "/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
  EXPECT_EQ(DesktopFolder(), home_ + "/Bureau");
  EXPECT_TRUE(fs::is_directory(home_ + "/Bureau"));
}

TEST_F(DesktopFolderTest, HonoursXdgConfigHome) {
  test::WriteFile(home_ + "/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Wrong\"\n");
  test::WriteFile(world_.Path("cfg/user-dirs.dirs"), "XDG_DESKTOP_DIR=\"$HOME/Right\"\n");
  world_.SetEnv("XDG_CONFIG_HOME", world_.Path("cfg"));
  EXPECT_EQ(DesktopFolder(), home_ + "/Right");
}

TEST_F(DesktopFolderTest, UnusableEntryFallsBackToDesktop) {
  test::WriteFile(home_ + "/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"relative\"\n");
  EXPECT_EQ(DesktopFolder(), home_ + "/Desktop");
}

}  // namespace
}  // namespace ovc
