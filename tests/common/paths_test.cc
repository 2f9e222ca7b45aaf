#include "common/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "support/temp_world.h"

namespace ovc {
namespace {

TEST(Paths, FoldersFollowTheEnvironment) {
  test::TempWorld world;
  EXPECT_EQ(ProgramFolder(), world.home());
  EXPECT_EQ(TempFolder(), world.temp());

  world.SetEnv("OVC_HOME", "");
  world.SetEnv("HOME", "/home/someone/");
  world.SetEnv("XDG_DATA_HOME", "");
  EXPECT_EQ(ProgramFolder(), "/home/someone/.local/share/orvane-video-converter");
  world.SetEnv("XDG_DATA_HOME", "/data/");
  EXPECT_EQ(ProgramFolder(), "/data/orvane-video-converter");
}

// Without OVC_TEMP the temporary folder must be one only the user can reach.
struct TempCase {
  const char* label;
  void (*prepare)(test::TempWorld& world);  // sets the variables, plants traps
  std::string expected;                     // relative to the world's root
};

void PrintTo(const TempCase& c, std::ostream* out) { *out << c.label; }

void RuntimeFolder(test::TempWorld& world) {
  std::filesystem::create_directories(world.Path("run"));
  world.SetEnv("XDG_RUNTIME_DIR", world.Path("run"));
}
void NoRuntimeFolder(test::TempWorld& world) {
  world.SetEnv("XDG_RUNTIME_DIR", "");
  world.SetEnv("XDG_CACHE_HOME", world.Path("cache"));
}
void OnlyHome(test::TempWorld& world) {
  world.SetEnv("XDG_RUNTIME_DIR", "");
  world.SetEnv("XDG_CACHE_HOME", "");
  world.SetEnv("HOME", world.Path("user"));
}
void LinkPlantedInTheRuntimeFolder(test::TempWorld& world) {
  RuntimeFolder(world);
  world.SetEnv("XDG_CACHE_HOME", world.Path("cache"));
  std::filesystem::create_directories(world.Path("elsewhere"));
  std::filesystem::create_directory_symlink(world.Path("elsewhere"), world.Path("run/orvane"));
}
void OpenFolderOfOurs(test::TempWorld& world) {
  RuntimeFolder(world);
  std::filesystem::create_directories(world.Path("run/orvane"));
  chmod(world.Path("run/orvane").c_str(), 0777);
}
void EveryPrivatePlaceBlocked(test::TempWorld& world) {
  RuntimeFolder(world);
  test::WriteFile(world.Path("run/orvane"), "a file, not a folder");
  world.SetEnv("XDG_CACHE_HOME", world.Path("cache"));
  test::WriteFile(world.Path("cache"), "a file, not a folder");
}

class PrivateTempFolder : public testing::TestWithParam<TempCase> {};

TEST_P(PrivateTempFolder, IsARealFolderOfOursThatOthersCannotEnter) {
  test::TempWorld world;
  world.SetEnv("OVC_TEMP", "");
  std::filesystem::create_directories(world.Path("shared"));  // the system's /tmp
  world.SetEnv("TMPDIR", world.Path("shared"));
  GetParam().prepare(world);
  std::string folder = TempFolder();
  EXPECT_EQ(folder, world.Path(GetParam().expected));
  struct stat info {};
  ASSERT_EQ(lstat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(info.st_uid, geteuid());
}

INSTANTIATE_TEST_SUITE_P(
    Places, PrivateTempFolder,
    testing::Values(TempCase{"Runtime", RuntimeFolder, "run/orvane"},
                    TempCase{"Cache", NoRuntimeFolder, "cache/orvane"},
                    TempCase{"HomeCache", OnlyHome, "user/.cache/orvane"},
                    TempCase{"PlantedLink", LinkPlantedInTheRuntimeFolder, "cache/orvane"},
                    TempCase{"OpenFolder", OpenFolderOfOurs, "run/orvane"},
                    TempCase{"SharedFallback", EveryPrivatePlaceBlocked,
                             "shared/orvane-" + std::to_string(geteuid())}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Paths, AnotherUsersFolderIsNotUsed) {
  if (geteuid() != 0) GTEST_SKIP() << "making a folder of another user takes root";
  test::TempWorld world;
  world.SetEnv("OVC_TEMP", "");
  RuntimeFolder(world);
  world.SetEnv("XDG_CACHE_HOME", world.Path("cache"));
  std::filesystem::create_directories(world.Path("run/orvane"));
  ASSERT_EQ(chown(world.Path("run/orvane").c_str(), 65534, 65534), 0);
  EXPECT_EQ(TempFolder(), world.Path("cache/orvane"));
}

TEST(Paths, FolderOfCutsAtTheLastSlash) {
  EXPECT_EQ(FolderOf("/a/b.c/d.mp4"), "/a/b.c");
  EXPECT_EQ(FolderOf("name"), "");
  EXPECT_EQ(FolderOf("/x"), "");
}

TEST(Paths, ProgramFolderIsSeededWithoutOverwritingUserFiles) {
  test::TempWorld world;
  std::string shipped = ShippedDataFolder();
  ASSERT_FALSE(shipped.empty()) << "the build tree's data folder is missing";
  ASSERT_TRUE(std::filesystem::exists(shipped + "/lang_eng.txt"));

  world.SetEnv("OVC_HOME", world.Path("fresh/program"));
  test::WriteFile(world.Path("fresh/program/lang_eng.txt"), "mine");
  ASSERT_EQ(PrepareProgramFolder(), 0);
  EXPECT_EQ(test::ReadFile(world.Path("fresh/program/lang_eng.txt")), "mine");
  for (const auto& entry : std::filesystem::recursive_directory_iterator(shipped)) {
    auto relative = entry.path().lexically_relative(shipped);
    EXPECT_TRUE(std::filesystem::exists(world.Path("fresh/program") / relative)) << relative;
  }

  world.SetEnv("OVC_HOME", "/proc/cannot/create");
  EXPECT_EQ(PrepareProgramFolder(), -1);
}

}  // namespace
}  // namespace ovc
